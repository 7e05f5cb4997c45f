// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

// The first removal page; Next looks up the suite folder.
class CWizardUninstallPage1 : public CSetupPage {
    Q_OBJECT
public:
    explicit CWizardUninstallPage1(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    bool validatePage() override;
    int nextId() const override { return m_checked ? kSecondPage : kErrorPage; }

private:
    bool m_checked = true;
};
