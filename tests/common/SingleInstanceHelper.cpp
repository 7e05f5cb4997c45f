// SPDX-License-Identifier: GPL-3.0-or-later
// A tiny program that guards itself like the real ones, for the second-start tests.
// Usage: SingleInstanceHelper [title], or SingleInstanceHelper --channel [title] to print where
// the guard of that title keeps its lock and socket. Prints "ready <instance name>" once its window shows,
// "raised <restored|minimized>" each time a second start asks it forward, and "message <text>"
// for the failure message it would show.
#include "common/SingleInstanceApp.h"
#include "common/StringTable.h"

#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <string>

namespace {

// Reports the failure message on stdout instead of a blocking message box.
class CHelperApp : public CSingleInstanceApp {
public:
    using CSingleInstanceApp::CSingleInstanceApp;

protected:
    void ShowRegisterFailure(const QString& text) override {
        std::printf("message %s\n", qUtf8Printable(text));
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const bool channelOnly = argc > 1 && std::string(argv[1]) == "--channel";
    const int titleArg = channelOnly ? 2 : 1;
    static std::string title = argc > titleArg ? argv[titleArg] : "Dovetail Guard Test";
    if (channelOnly) {
        std::printf("%s\n", qUtf8Printable(CSingleInstanceApp::ChannelBase(QString::fromStdString(title))));
        return 0;
    }
    CStringTable::Install({{kIdsAppTitle, title.c_str()}});
    CHelperApp app(argc, argv);
    if (!app.RegisterInstance(128, QString::fromStdString(title), true))
        return 0;

    QWidget window;
    window.setObjectName(app.InstanceName());
    window.setWindowTitle(QString::fromStdString(title));
    window.showMinimized();
    QObject::connect(&app, &CSingleInstanceApp::RaiseRequested, &app, [&window] {
        std::printf("raised %s\n", window.isMinimized() ? "minimized" : "restored");
        std::fflush(stdout);
    });
    std::printf("ready %s\n", qUtf8Printable(app.InstanceName()));
    std::fflush(stdout);
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);  // never outlive a broken test
    return app.exec();
}
