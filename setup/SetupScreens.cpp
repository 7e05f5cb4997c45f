// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupScreens.h"

#include "setup/SetupContext.h"
#include "setup/SetupPage.h"
#include "setup/SetupWizard.h"
#include "setup/Strings.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>

using namespace Qt::StringLiterals;

namespace {

struct CScreen {
    const char* name;
    SetupMode mode;
    int page;
    std::function<void(CSetupPage&)> prepare;
};

void RightClick(QWidget& page) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), page.mapToGlobal(QPointF(2, 2)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&page, &press);
}

}  // namespace

void RenderSetupScreens(const std::function<void(const QString& name, const QImage& image)>& sink) {
    InstallSetupStrings();
    const CScreen screens[] = {
        {"setup-install-1-language", SetupMode::Install, kFirstPage, {}},
        {"setup-install-2-confirm", SetupMode::Install, kSecondPage, {}},
        {"setup-install-2-diagnostics", SetupMode::Install, kSecondPage, RightClick},
        {"setup-install-2-progress", SetupMode::Install, kSecondPage,
         [](CSetupPage& page) {
             page.findChild<QProgressBar*>(u"progress"_s)->show();
             page.SetStepCount(16);
             for (int i = 0; i < 9; ++i)
                 page.Step();
         }},
        {"setup-install-3-done", SetupMode::Install, kThirdPage, {}},
        {"setup-install-error", SetupMode::Install, kErrorPage, {}},
        {"setup-uninstall-1-start", SetupMode::Uninstall, kFirstPage, {}},
        {"setup-uninstall-2-confirm", SetupMode::Uninstall, kSecondPage, {}},
        {"setup-uninstall-3-done", SetupMode::Uninstall, kThirdPage, {}},
        {"setup-uninstall-error", SetupMode::Uninstall, kErrorPage, {}},
    };
    for (const CScreen& screen : screens) {
        CSetupContext context;
        context.m_osDescription = BuildOsDescription();
        context.m_epocConnectFolder = u"/home/user/.local/share/EPOC Connect/"_s;
        context.m_errorText = context.LoadLocalString(IDS_COPY_FAILED) + u"bindcopy"_s;
        CSetupWizard wizard(context, screen.mode);
        wizard.setStartId(screen.page);
        wizard.show();
        if (screen.prepare)
            screen.prepare(*wizard.CurrentSetupPage());
        QApplication::processEvents();
        sink(QString::fromLatin1(screen.name), wizard.grab().toImage());
    }
}
