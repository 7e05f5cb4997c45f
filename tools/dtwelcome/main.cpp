// SPDX-License-Identifier: GPL-3.0-or-later
// dtwelcome: the suite's set-up window, started by the desktop's "Dovetail" entries.
#include "common/ProfileRegistry.h"
#include "tools/dtwelcome/SuiteSetUp.h"
#include "tools/dtwelcome/WelcomeWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"dtwelcome"_s);
    const QStringList arguments = QApplication::arguments().mid(1);
    const bool handheldForm = arguments.contains(u"--handheld"_s);
    for (const QString& argument : arguments) {
        if (argument != u"--handheld"_s) {
            std::fprintf(stderr, "usage: dtwelcome [--handheld]\n");
            return 2;
        }
    }

    QString problem;
    if (!RegStoreUsable(problem)) {
        QMessageBox::critical(nullptr, u"Set up Dovetail"_s, problem);
        return 1;
    }
    const SuiteState state = ReadSuiteState();
    if (!handheldForm && state.IsSetUp())
        return CWelcomeWindow::OpenManager(nullptr, state) ? 0 : 1;

    const QString here = QApplication::applicationDirPath();
    CWelcomeWindow::Programs programs;
    programs.suiteFiles = here;
    programs.dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/dovetail"_s;
    programs.setupProgram = SetupProgramNear(here);
    CWelcomeWindow window(programs, handheldForm);
    window.show();
    return app.exec();
}
