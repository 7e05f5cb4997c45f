// SPDX-License-Identifier: GPL-3.0-or-later
// The real manager on a private X display with a window manager, driven with the keyboard:
// what only shows once a window manager frames, places and focuses the windows.
#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <memory>

namespace {
const QString kPlacementKey = QStringLiteral("Software\\Veroz\\Dovetail\\MainWindowSizeAndPos");

// Xvfb and openbox on a display of their own, ended when the object goes.
class CWindowManagerDisplay {
public:
    ~CWindowManagerDisplay() {
        for (QProcess* process : {m_windowManager.get(), m_server.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(5000))
                    process->kill();
                process->waitForFinished(2000);
            }
        }
    }

    // Empty when running, else why not.
    QString Start() {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
        }
        m_server = std::make_unique<QProcess>();
        // The server picks a free display and writes its number on standard output.
        m_server->start(
            QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server->waitForStarted(5000))
            return QStringLiteral("Xvfb does not start");
        while (!m_server->canReadLine() && m_server->waitForReadyRead(10000)) {
        }
        const QString number = QString::fromLatin1(m_server->readLine()).trimmed();
        if (number.isEmpty())
            return QStringLiteral("Xvfb named no display");
        m_display = QLatin1Char(':') + number;
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("DISPLAY"), m_display);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_windowManager = std::make_unique<QProcess>();
        m_windowManager->setProcessEnvironment(m_env);
        m_windowManager->start(QStringLiteral("openbox"), {});
        if (!m_windowManager->waitForStarted(5000))
            return QStringLiteral("openbox does not start");
        const bool managed = QTest::qWaitFor(
            [this] {
                return Run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QStringLiteral("window id"));
            },
            30000);  // a loaded machine (a sanitized build, tests side by side) is slow to start it
        return managed ? QString() : QStringLiteral("openbox does not manage the display");
    }

    const QProcessEnvironment& Environment() const { return m_env; }

    // Runs a tool on the display; its standard output, empty on failure or after timeoutMs.
    QString Run(const QString& program, const QStringList& arguments, int timeoutMs = 15000) const {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(program, arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(2000);
            return {};
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    // The window whose title matches, once it is visible; empty after timeoutMs.
    QString WaitForWindow(const QString& titlePattern, int timeoutMs = 20000) const {
        const QString id = Run(QStringLiteral("xdotool"),
                               {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--name"), titlePattern},
                               timeoutMs);
        return id.section(QLatin1Char('\n'), 0, 0).trimmed();
    }

    // Waits until the window manager has framed the window and its place and size hold still
    // (the manager takes the frame off its stored size once the frame is known).
    bool WaitUntilSettled(const QString& window, int timeoutMs = 5000) const {
        QRect last;
        int steady = 0;
        return QTest::qWaitFor(
            [&] {
                if (!Run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")})
                         .contains(QLatin1Char('=')))
                    return false;
                const QRect now = Geometry(window);
                steady = now == last ? steady + 1 : 0;
                last = now;
                return steady >= 3;
            },
            timeoutMs);
    }

    // Client rectangle of a window on the screen, as the X server has it.
    QRect Geometry(const QString& window) const {
        const QString text = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        QRect rect;
        for (QString line : text.split(QLatin1Char('\n'))) {
            line = line.trimmed();
            const int value = line.section(QLatin1Char(':'), 1).trimmed().toInt();
            if (line.startsWith(QStringLiteral("Absolute upper-left X:")))
                rect.moveLeft(value);
            else if (line.startsWith(QStringLiteral("Absolute upper-left Y:")))
                rect.moveTop(value);
            else if (line.startsWith(QStringLiteral("Width:")))
                rect.setWidth(value);
            else if (line.startsWith(QStringLiteral("Height:")))
                rect.setHeight(value);
        }
        return rect;
    }

    // Keys typed into the window, after the window manager has given it the focus; without a
    // window, into the one that has it (a modal box).
    void Keys(const QString& window, const QStringList& keys) const {
        if (!window.isEmpty())
            Run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        for (const QString& key : keys) {
            Run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
            QThread::msleep(300);
        }
    }

private:
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    QString m_display;
    QProcessEnvironment m_env;
};

class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The build makes both before this test; only the display tools may be missing.
        ASSERT_TRUE(QFile::exists(BinDir() + QStringLiteral("/bindmgr")));
        ASSERT_TRUE(QFile::exists(BinDir() + QStringLiteral("/epocsim")));
        if (const QString why = m_display.Start(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        // The suite, a current user and a plugged-in handheld, as epocsim sets them up.
        const QString root = m_env.Root();
        ASSERT_TRUE(Epocsim({QStringLiteral("install"), QStringLiteral("--dir"), root + QStringLiteral("/suite")}));
        ASSERT_TRUE(
            Epocsim({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("Alice"), QStringLiteral("--pc-dir"),
                     m_env.MakeDir(QStringLiteral("pc")), QStringLiteral("--current")}));
        ASSERT_TRUE(Epocsim({QStringLiteral("device"), QStringLiteral("create"), QStringLiteral("--root"),
                             root + QStringLiteral("/device"), QStringLiteral("--id"), QStringLiteral("1234-ABCD"),
                             QStringLiteral("--owner"), QStringLiteral("Alice")}));
        // The clock question is answered already.
        RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"),
                       1);
    }
    void TearDown() override {
        if (m_manager && m_manager->state() != QProcess::NotRunning) {
            m_manager->kill();
            m_manager->waitForFinished(5000);
        }
    }

    bool Epocsim(const QStringList& arguments) {
        QProcess process;
        process.start(BinDir() + QStringLiteral("/epocsim"), arguments);
        return process.waitForFinished(30000) && process.exitCode() == 0;
    }
    // Starts the manager and returns its main window; empty when it never showed.
    QString StartManager() {
        m_manager = std::make_unique<QProcess>();
        m_manager->setProcessEnvironment(m_display.Environment());
        m_manager->start(BinDir() + QStringLiteral("/bindmgr"), {});
        if (!m_manager->waitForStarted(10000))
            return {};
        const QString window = m_display.WaitForWindow(QStringLiteral(" - Dovetail$"));
        if (!window.isEmpty())
            m_display.WaitUntilSettled(window);
        return window;
    }
    // Closes the manager as a user would (the window manager's Alt+F4) and waits for it to end.
    bool CloseManager(const QString& window) {
        m_display.Keys(window, {QStringLiteral("alt+F4")});
        return m_manager->waitForFinished(20000);
    }
    QRect StoredPlacement() const {
        uint32_t x = 0, y = 0, width = 0, height = 0;
        RegReadNumber(HKEY_CURRENT_USER, kPlacementKey, QStringLiteral("XPos"), x);
        RegReadNumber(HKEY_CURRENT_USER, kPlacementKey, QStringLiteral("YPos"), y);
        RegReadNumber(HKEY_CURRENT_USER, kPlacementKey, QStringLiteral("Width"), width);
        RegReadNumber(HKEY_CURRENT_USER, kPlacementKey, QStringLiteral("Height"), height);
        return QRect(int(x), int(y), int(width), int(height));
    }

    CTempEnv m_env;
    CWindowManagerDisplay m_display;
    std::unique_ptr<QProcess> m_manager;
};

TEST_F(WindowManagerTest, RestartsLeaveTheWindowWhereAndAsLargeAsItWas) {
    QString window = StartManager();
    ASSERT_FALSE(window.isEmpty());
    const QRect first = m_display.Geometry(window);
    EXPECT_EQ(first.size(), QSize(860, 480)) << "the default size";
    ASSERT_TRUE(CloseManager(window));
    const QRect stored = StoredPlacement();
    // The stored rectangle is the outer one: the frame around the client area.
    EXPECT_TRUE(stored.contains(first)) << stored.width() << "x" << stored.height();
    for (int restart = 1; restart <= 5; ++restart) {
        SCOPED_TRACE(restart);
        window = StartManager();
        ASSERT_FALSE(window.isEmpty());
        EXPECT_EQ(m_display.Geometry(window), first);
        ASSERT_TRUE(CloseManager(window));
        EXPECT_EQ(StoredPlacement(), stored);
    }
}

TEST_F(WindowManagerTest, KeyboardSelectsTheFirstRowAndHelpOpensOnTheScreen) {
    QDir().mkpath(m_env.Root() + QStringLiteral("/pc"));
    const QString file = m_env.WriteFile(QStringLiteral("pc/a.txt"), "a");
    const QString entry = QStringLiteral("Software\\Veroz\\Users\\Alice\\DocSynchEntries\\0");
    RegWriteString(HKEY_CURRENT_USER, entry, QStringLiteral("WinFileName"), QStringLiteral("a.txt"));
    RegWriteString(HKEY_CURRENT_USER, entry, QStringLiteral("WinPath"), m_env.Root() + QStringLiteral("/pc/"));
    RegWriteString(HKEY_CURRENT_USER, entry, QStringLiteral("EpocFileName"), QStringLiteral("a"));
    RegWriteString(HKEY_CURRENT_USER, entry, QStringLiteral("EpocPath"), QStringLiteral("C:\\Documents\\"));
    RegWriteNumber(HKEY_CURRENT_USER, entry, QStringLiteral("IsActive"), 1);

    const QString window = StartManager();
    ASSERT_FALSE(window.isEmpty());
    // Home selects the first row, so Delete is enabled; Enter confirms.
    m_display.Keys(window, {QStringLiteral("Home"), QStringLiteral("Delete")});
    m_display.Keys({}, {QStringLiteral("Return")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !CRegistry::Default().KeyExists(RegRoot::CurrentUser, entry); }, 5000))
        << "the binding was not deleted";

    m_display.Keys(window, {QStringLiteral("F1")});
    const QString help = m_display.WaitForWindow(QStringLiteral("^bindmgr.hlp"));
    ASSERT_FALSE(help.isEmpty());
    m_display.WaitUntilSettled(help);
    const QRect helpRect = m_display.Geometry(help);
    EXPECT_TRUE(QRect(0, 0, 1280, 1024).contains(helpRect))
        << helpRect.x() << "," << helpRect.y() << " " << helpRect.width() << "x" << helpRect.height();
    EXPECT_TRUE(CloseManager(window));
}
}  // namespace
