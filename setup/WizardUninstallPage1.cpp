// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardUninstallPage1.h"

#include "setup/SetupContext.h"
#include "setup/Strings.h"
#include "setup/Uninstaller.h"

#include <QLabel>

using namespace Qt::StringLiterals;

CWizardUninstallPage1::CWizardUninstallPage1(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Uninstall - Step 1"_s, parent) {}

QList<QWizard::WizardButton> CWizardUninstallPage1::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton};
}

void CWizardUninstallPage1::Activate() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_UNPAGE1_HEADING));
    m_detail->setText(m_ctx.LoadLocalString(IDS_UNPAGE1_TEXT));
}

bool CWizardUninstallPage1::validatePage() {
    m_checked = CUninstaller(m_ctx).CheckUninstall();
    return true;
}
