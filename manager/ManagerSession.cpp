// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ManagerSession.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "common/ProgramPath.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/ShellFolder.h"
#include "manager/Strings.h"

#include <QMenu>

CManagerSession::CManagerSession() = default;

CManagerSession::~CManagerSession() {
    // The frame goes first: its views and menus refer to the document.
    delete m_contextMenu;
    m_frame.reset();
    m_doc.reset();
}

bool CManagerSession::InitInstance(bool onlyInstance, const QString& windowName, const FlowInstaller& installFlows) {
    // The registry file itself must be usable before anything is read from it.
    if (QString message; !RegStoreUsable(message)) {
        CMessageBox::Stop(nullptr, message);
        return false;
    }

    const QString title = LoadManagerString(kIdsAppTitle);
    QString programPath;
    if (!GetProgramPath(programPath))
        programPath.clear();
    RegisterShellFolder(title, programPath);

    if (!IsEpocConnectInstalled()) {
        CMessageBox::Stop(nullptr, WithSetUpHint(LoadManagerString(kIdsNoEpocConnect)));
        return false;
    }

    if (!onlyInstance)
        return false;

    // The document, the frame with its view, and the view's first update (loads the rows).
    m_doc = std::make_unique<CDovetailManagerDoc>();
    if (!m_doc->OnNewDocument())
        return false;
    m_frame = std::make_unique<CMainFrame>(*m_doc, windowName);
    if (installFlows)
        installFlows(*this);
    m_frame->View()->OnInitialUpdate();

    m_contextMenu = m_frame->CreateContextMenu(nullptr);
    m_frame->View()->SetContextMenu(m_contextMenu);

    const CAppProfile profile;
    SetDefaultRules(profile.ReadDefaultRules());

    if (profile.GetProfileInt(QStringLiteral("MainWindowSizeAndPos"), QStringLiteral("MaxState"), 0) != 0)
        m_frame->showMaximized();
    else
        m_frame->show();
    m_frame->View()->setFocus();
    m_frame->repaint();
    return true;
}

int CManagerSession::ExitInstance(int exitCode) {
    return exitCode;
}

void CManagerSession::SetDefaultRules(const CRuleSet& rules) {
    m_defaultRules = rules;
    if (m_doc)
        m_doc->SetDefaultRules(rules);
}
