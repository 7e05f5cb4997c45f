// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardErrorPage.h"

#include "setup/SetupContext.h"
#include "setup/Strings.h"

#include <QLabel>

using namespace Qt::StringLiterals;

CWizardErrorPage::CWizardErrorPage(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Setup - Error"_s, parent) {
    SetHeadingGeometry(13);
    SetDetailGeometry(154, 96);
}

QList<QWizard::WizardButton> CWizardErrorPage::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::FinishButton};
}

void CWizardErrorPage::Activate() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_ERROR_TITLE));
    m_detail->setText(m_ctx.m_errorText);
}
