// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardUninstallPage2.h"

#include "setup/SetupContext.h"
#include "setup/Strings.h"
#include "setup/Uninstaller.h"

#include <QLabel>
#include <QProgressBar>

using namespace Qt::StringLiterals;

CWizardUninstallPage2::CWizardUninstallPage2(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Uninstall - Step 2"_s, parent) {
    CreateProgressBar();
}

QList<QWizard::WizardButton> CWizardUninstallPage2::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton};
}

void CWizardUninstallPage2::Activate() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_UNPAGE2_HEADING));
    m_detail->setText(m_ctx.LoadLocalString(IDS_UNPAGE2_TEXT));
    m_progress->hide();
}

bool CWizardUninstallPage2::validatePage() {
    m_progress->show();
    m_removed = CUninstaller(m_ctx).Uninstall(this);
    return true;
}
