// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

class QPushButton;

// The removal's success page. When something is left for the next log-on it advises a
// restart and offers Restart Now, which ends the wizard like Cancel and asks the program to
// log the user off afterwards.
class CWizardUninstallPage3 : public CSetupPage {
    Q_OBJECT
public:
    explicit CWizardUninstallPage3(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    int nextId() const override { return -1; }

private:
    void RestartNow();

    QPushButton* m_restart;
};
