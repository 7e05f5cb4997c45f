// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

// The confirmation page of the removal: Next removes the system with the bar advancing.
class CWizardUninstallPage2 : public CSetupPage {
    Q_OBJECT
public:
    explicit CWizardUninstallPage2(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    bool validatePage() override;
    int nextId() const override { return m_removed ? kThirdPage : kErrorPage; }

private:
    bool m_removed = true;
};
