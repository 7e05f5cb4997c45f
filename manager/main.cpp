// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerApp.h"

int main(int argc, char** argv) {
    CDovetailManagerApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance(0);
    return app.ExitInstance(app.exec());
}
