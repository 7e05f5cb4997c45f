// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardPage3.h"

#include "setup/SetupContext.h"
#include "setup/Strings.h"

#include <QLabel>

using namespace Qt::StringLiterals;

WizardPage3::WizardPage3(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Setup - Step 3"_s, parent) {
    m_detail->hide();
}

QList<QWizard::WizardButton> WizardPage3::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::FinishButton};
}

void WizardPage3::Activate() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_PAGE3_HEADING));
}
