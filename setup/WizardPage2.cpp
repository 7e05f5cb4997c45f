// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardPage2.h"

#include "setup/Installer.h"
#include "setup/SetupContext.h"
#include "setup/Strings.h"

#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>

using namespace Qt::StringLiterals;

WizardPage2::WizardPage2(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Setup - Step 2"_s, parent) {
    CreateProgressBar();
    m_osLine = new QLabel(this);
    m_osLine->setObjectName(u"osLine"_s);
    m_osLine->setGeometry(Dlu(121, 121, 154, 9));
    m_folderLine = new QLabel(this);
    m_folderLine->setObjectName(u"folderLine"_s);
    m_folderLine->setGeometry(Dlu(121, 134, 154, 9));
}

QList<QWizard::WizardButton> WizardPage2::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton};
}

void WizardPage2::Activate() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_PAGE2_HEADING));
    m_detail->setText(m_ctx.LoadLocalString(IDS_PAGE2_TEXT));
    m_progress->hide();
    m_osLine->setText(u"OS : "_s + m_ctx.m_osDescription);
    m_folderLine->setText(u"EC Folder : "_s + m_ctx.m_epocConnectFolder);
    // A long folder is cut at the line's end; the whole text stays reachable.
    m_folderLine->setToolTip(m_ctx.m_epocConnectFolder);
    m_osLine->hide();
    m_folderLine->hide();
}

void WizardPage2::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        m_osLine->show();
        m_folderLine->show();
    }
    CSetupPage::mousePressEvent(event);
}

bool WizardPage2::validatePage() {
    m_progress->show();
    m_installed = CInstaller(m_ctx).Install(this);
    return true;
}

int WizardPage2::nextId() const {
    return m_installed ? kThirdPage : kErrorPage;
}
