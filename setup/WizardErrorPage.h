// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

// Where every failure ends: "Error" and the context's error text, Finish only.
class CWizardErrorPage : public CSetupPage {
    Q_OBJECT
public:
    explicit CWizardErrorPage(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    int nextId() const override { return -1; }
};
