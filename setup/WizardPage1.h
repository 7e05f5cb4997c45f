// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

#include <array>

class QGroupBox;
class QRadioButton;

// The language page. Only English can be chosen; a language stored by an earlier
// installation is still shown checked. Next runs the prerequisite checks.
class WizardPage1 : public CSetupPage {
    Q_OBJECT
public:
    explicit WizardPage1(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    bool validatePage() override;
    int nextId() const override;

private:
    void LoadTexts();
    void ChooseLanguage(int language);

    QGroupBox* m_group;
    std::array<QRadioButton*, 5> m_radios{};
    bool m_checksPassed = false;
};
