// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupPage.h"

// The confirmation page: Next installs, advancing the bar as the steps finish. A right
// click on the page reveals the OS and suite-folder lines for support calls.
class WizardPage2 : public CSetupPage {
    Q_OBJECT
public:
    explicit WizardPage2(CSetupContext& context, QWidget* parent = nullptr);

    QList<QWizard::WizardButton> Buttons() const override;
    void Activate() override;
    bool validatePage() override;
    int nextId() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* m_osLine;
    QLabel* m_folderLine;
    bool m_installed = false;
};
