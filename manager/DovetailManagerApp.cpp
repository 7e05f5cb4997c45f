// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerApp.h"

#include "manager/CommandIds.h"
#include "manager/Icons.h"
#include "manager/Strings.h"

CDovetailManagerApp::CDovetailManagerApp(int& argc, char** argv) : CSingleInstanceApp(argc, argv) {
    InstallManagerStrings();
    setWindowIcon(ManagerIcon(kIdrMainIcon));
}

bool CDovetailManagerApp::InitInstance(const CManagerSession::FlowInstaller& installFlows) {
    // The guard's answer is kept; the steps that do not depend on it run in a second
    // instance too (it still reports a missing connectivity suite).
    const bool onlyInstance = RegisterInstance(kIdrMainIcon, QString(), true);
    return m_session.InitInstance(onlyInstance, InstanceName(), installFlows);
}

int CDovetailManagerApp::ExitInstance(int exitCode) {
    return m_session.ExitInstance(exitCode);
}
