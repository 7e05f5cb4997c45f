// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupScreens.h"

#include "setup/SetupContext.h"
#include "setup/SetupPage.h"
#include "setup/SetupWizard.h"
#include "setup/Strings.h"

#include <QApplication>
#include <QMouseEvent>
#include <QProgressBar>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

struct CScreen {
    const char* name;
    SetupMode mode;
    int page;
    std::function<void(CSetupPage&)> prepare;
};

void RightClick(CSetupPage& page) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&page, &press);
}

void HalfwayThrough(CSetupPage& page) {
    page.findChild<QProgressBar*>(u"progress"_s)->show();
    page.SetStepCount(16);
    for (int i = 0; i < 9; ++i)
        page.Step();
}

const CScreen kScreens[] = {
    {"setup-install-1-language", SetupMode::Install, kFirstPage, {}},
    {"setup-install-2-confirm", SetupMode::Install, kSecondPage, {}},
    {"setup-install-2-diagnostics", SetupMode::Install, kSecondPage, RightClick},
    {"setup-install-2-progress", SetupMode::Install, kSecondPage, HalfwayThrough},
    {"setup-install-3-done", SetupMode::Install, kThirdPage, {}},
    {"setup-install-error", SetupMode::Install, kErrorPage, {}},
    {"setup-uninstall-1-start", SetupMode::Uninstall, kFirstPage, {}},
    {"setup-uninstall-2-confirm", SetupMode::Uninstall, kSecondPage, {}},
    {"setup-uninstall-3-done", SetupMode::Uninstall, kThirdPage, {}},
    {"setup-uninstall-error", SetupMode::Uninstall, kErrorPage, {}},
};

// The context is a base so that it is built before the wizard and outlives it.
struct CContextHolder {
    std::unique_ptr<CSetupContext> m_context = std::make_unique<CSetupContext>();
};

class CScreenWizard : private CContextHolder, public CSetupWizard {
public:
    explicit CScreenWizard(SetupMode mode) : CSetupWizard(*m_context, mode) {}
    CSetupContext& Context() { return *m_context; }
};

}  // namespace

QStringList SetupScreenNames() {
    QStringList names;
    for (const CScreen& screen : kScreens)
        names << QString::fromLatin1(screen.name);
    return names;
}

std::unique_ptr<QWidget> CreateSetupScreen(const QString& name) {
    for (const CScreen& screen : kScreens) {
        if (name != QLatin1String(screen.name))
            continue;
        InstallSetupStrings();
        auto wizard = std::make_unique<CScreenWizard>(screen.mode);
        CSetupContext& context = wizard->Context();
        context.m_osDescription = BuildOsDescription();
        context.m_epocConnectFolder = u"/home/user/EPOC Connect/"_s;
        context.m_errorText = context.LoadLocalString(IDS_COPY_FAILED) + u"bindcopy"_s;
        wizard->setStartId(screen.page);
        wizard->restart();
        if (screen.prepare)
            screen.prepare(*wizard->CurrentSetupPage());
        return wizard;
    }
    return nullptr;
}
