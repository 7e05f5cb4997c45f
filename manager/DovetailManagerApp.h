// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/SingleInstanceApp.h"
#include "manager/ManagerSession.h"

// The manager's application object: the single-instance guard first, then the session's
// start-up steps.
class CDovetailManagerApp : public CSingleInstanceApp {
    Q_OBJECT
public:
    CDovetailManagerApp(int& argc, char** argv);

    // True when the main window is up; false ends the process quietly.
    bool InitInstance(const CManagerSession::FlowInstaller& installFlows = {});
    int ExitInstance(int exitCode);

    CManagerSession& Session() { return m_session; }

private:
    CManagerSession m_session;
};
