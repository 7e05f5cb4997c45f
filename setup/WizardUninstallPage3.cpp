// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardUninstallPage3.h"

#include "setup/SetupContext.h"
#include "setup/Strings.h"

#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

CWizardUninstallPage3::CWizardUninstallPage3(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Uninstall - Step 3"_s, parent) {
    m_restart = new QPushButton(this);
    m_restart->setObjectName(u"restartNow"_s);
    m_restart->setGeometry(Dlu(223, 104, 50, 14));
    m_restart->setAutoDefault(false);
    connect(m_restart, &QPushButton::clicked, this, &CWizardUninstallPage3::RestartNow);
}

QList<QWizard::WizardButton> CWizardUninstallPage3::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::FinishButton};
}

void CWizardUninstallPage3::Activate() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_UNPAGE3_HEADING));
    // Advice to restart, and a button that ends the whole desktop session, only when a
    // later log-on has something left to remove.
    const bool deferred = m_ctx.m_removalDeferred;
    m_detail->setText(deferred ? m_ctx.LoadLocalString(IDS_UNPAGE3_TEXT) : QString());
    m_restart->setText(m_ctx.LoadLocalString(IDS_RESTART_NOW));
    m_restart->setVisible(deferred);
}

void CWizardUninstallPage3::RestartNow() {
    m_ctx.m_logOffRequested = true;
    if (Wizard())
        Wizard()->reject();
}
