// SPDX-License-Identifier: GPL-3.0-or-later
// dtwelcome: the suite's set-up window, started by the desktop's "Dovetail" entries, and the
// package's launcher that every per-user entry point starts the installed programs through.
#include "common/Launcher.h"
#include "common/ProfileRegistry.h"
#include "common/ProgramPath.h"
#include "common/SingleInstanceApp.h"
#include "tools/dtwelcome/SuiteSetUp.h"
#include "tools/dtwelcome/WelcomeWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Dovetail"_s;

int Usage() {
    std::fprintf(stderr, "usage: dtwelcome [--handheld | --uninstall | --start PROGRAM]\n");
    return 2;
}

QString OwnFolder() {
    QString folder;
    GetProgramFolder(folder);
    return folder;
}

// Brings the user's installed copies up to this package's; a detached copy of this program
// says what changed, so the program started meanwhile is not held up.
void UpdateCopies() {
    QString suite;
    uint32_t language = 0;
    if (!GetEpocConnectDirectory(suite) || suite.isEmpty())
        return;
    RegReadNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"language"_s, language);
    const QString medium = QFileInfo(SetupProgramNear(OwnFolder())).absolutePath();
    const QString text = DescribeUpdate(UpdateInstalledCopies(medium, suite, language));
    QString self;
    if (!text.isEmpty() && GetProgramPath(self))
        QProcess::startDetached(self, {u"--updated"_s, text});
}

// Runs program in this process, so whoever started the launcher follows the program itself.
// Returns only when it cannot be run.
int Exec(const QString& program, const QStringList& arguments, int argc, char** argv) {
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> pointers;
    for (QByteArray& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    ::execv(pointers[0], pointers.data());
    // Only the manager is started by a person's click: only its failure is worth a window.
    if (QFileInfo(program).fileName() == u"bindmgr"_s) {
        QApplication app(argc, argv);
        QMessageBox::warning(nullptr, kTitle,
                             u"Dovetail's manager "_s + program +
                                 u" could not be started. Choosing \"Dovetail\" in the menu sets Dovetail up again."_s);
    }
    return 1;
}

int Uninstall(int argc, char** argv) {
    const QString setup = SetupProgramNear(OwnFolder());
    if (ReadSuiteState().ProgramsInstalled() && QFileInfo(setup).isExecutable())
        return Exec(setup, {u"/U"_s}, argc, argv);
    QApplication app(argc, argv);
    QMessageBox::information(nullptr, u"Uninstall Dovetail"_s, u"Dovetail is not installed for you."_s);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    // The launcher's forms: quick, without a window unless there is something to say.
    if (arguments.value(0) == u"--start"_s && arguments.size() >= 2) {
        UpdateCopies();
        return Exec(arguments[1], arguments.mid(2), argc, argv);
    }
    if (arguments == QStringList{u"--uninstall"_s})
        return Uninstall(argc, argv);
    if (arguments.value(0) == u"--updated"_s && arguments.size() == 2) {
        QApplication app(argc, argv);
        QMessageBox::information(nullptr, kTitle, arguments[1]);
        return 0;
    }
    const bool handheldForm = arguments == QStringList{u"--handheld"_s};
    if (!arguments.isEmpty() && !handheldForm)
        return Usage();

    CSingleInstanceApp app(argc, argv);
    QApplication::setApplicationName(u"dtwelcome"_s);
    QString problem;
    if (!RegStoreUsable(problem)) {
        QMessageBox::critical(nullptr, u"Set up Dovetail"_s, problem);
        return 1;
    }
    UpdateCopies();
    const SuiteState state = ReadSuiteState();
    if (!handheldForm && state.IsSetUp())
        return CWelcomeWindow::OpenManager(nullptr, state) ? 0 : 1;

    // One set-up window at a time: a second start brings the first forward.
    if (!app.RegisterInstance(128, QString(), true))
        return 0;
    const QString here = QApplication::applicationDirPath();
    CWelcomeWindow::Programs programs;
    programs.suiteFiles = here;
    programs.dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/dovetail"_s;
    programs.setupProgram = SetupProgramNear(here);
    CWelcomeWindow window(programs, handheldForm);
    window.setObjectName(app.InstanceName());
    window.show();
    return app.exec();
}
