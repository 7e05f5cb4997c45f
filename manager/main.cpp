// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerApp.h"
#include "manager/ManagerSession.h"
#include "manager/connection/ConnectedView.h"
#include "manager/properties/PropertyCommands.h"

int main(int argc, char** argv) {
    CDovetailManagerApp app(argc, argv);
    CManagerSession::SetViewFactory(
        [](CDovetailManagerDoc& doc, QWidget* parent) { return new CConnectedView(doc, parent); });
    if (!app.InitInstance())
        return app.ExitInstance(0);
    InstallPropertyCommands(app.Session());
    return app.ExitInstance(app.exec());
}
