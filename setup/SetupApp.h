// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <memory>

class CSetupContext;
class CSetupWizard;

// The setup program: picks the wizard from the command line, runs it, and logs the user
// off afterwards when the removal's Restart Now asked for it.
class CSetupApp {
public:
    CSetupApp();
    ~CSetupApp();
    CSetupApp(const CSetupApp&) = delete;
    CSetupApp& operator=(const CSetupApp&) = delete;

    // Builds the context and the wizard for the arguments (without the program name).
    void Create(const QStringList& arguments);
    // Runs the wizard modally and then the log-off if requested; the exit code.
    int Run();

    CSetupContext* Context() const { return m_context.get(); }
    CSetupWizard* Wizard() const { return m_wizard.get(); }

private:
    std::unique_ptr<CSetupContext> m_context;
    std::unique_ptr<CSetupWizard> m_wizard;
};
