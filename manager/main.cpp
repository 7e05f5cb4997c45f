// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerApp.h"
#include "manager/MainFrame.h"
#include "manager/ManagerSession.h"
#include "manager/adding/AddingFlow.h"
#include "manager/connection/ConnectionFlow.h"
#include "manager/properties/PropertyCommands.h"

int main(int argc, char** argv) {
    CDovetailManagerApp app(argc, argv);
    // Every command beyond the window's and the list's own joins the table here.
    const auto installFlows = [](CManagerSession& session) {
        CMainFrame& frame = *session.MainFrame();
        const CConnectionFlow& connection = InstallConnectionFlow(frame);
        InstallAddingFlow(frame, &connection);
        InstallPropertyCommands(session);
    };
    if (!app.InitInstance(installFlows))
        return app.ExitInstance(0);
    return app.ExitInstance(app.exec());
}
