// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CSetupApp setup;
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    setup.Create(arguments);
    return setup.Run();
}
