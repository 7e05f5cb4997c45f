// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupApp.h"

#include "setup/SessionLogOff.h"
#include "setup/SetupContext.h"
#include "setup/SetupWizard.h"
#include "setup/Strings.h"

#include <QMessageBox>

CSetupApp::CSetupApp() = default;

CSetupApp::~CSetupApp() {
    // The pages refer to the context; they go first.
    m_wizard.reset();
    m_context.reset();
}

void CSetupApp::Create(const QStringList& arguments) {
    InstallSetupStrings();
    m_wizard.reset();
    m_context = std::make_unique<CSetupContext>();
    m_context->m_hooks.askYesNo = [this](const QString& title, const QString& text) {
        return QMessageBox::question(m_wizard.get(), title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    const SetupMode mode = IsUninstallCommandLine(arguments) ? SetupMode::Uninstall : SetupMode::Install;
    m_wizard = std::make_unique<CSetupWizard>(*m_context, mode);
}

int CSetupApp::Run() {
    if (!m_wizard)
        return 1;
    m_wizard->exec();
    if (m_context->m_logOffRequested)
        LogOffSession();
    return 0;
}
