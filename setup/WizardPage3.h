// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

// The success page of the installation.
class WizardPage3 : public CSetupPage {
    Q_OBJECT
public:
    explicit WizardPage3(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    int nextId() const override { return -1; }
};
