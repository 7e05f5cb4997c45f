// SPDX-License-Identifier: GPL-3.0-or-later
// The real manager on a private X display with a window manager, driven with the keyboard:
// what only shows once a window manager frames, places and focuses the windows.
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"
#include "tests/support/WindowManagerDisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTest>

#include <memory>

namespace {
const QString kPlacementKey = QStringLiteral("Software\\Veroz\\Dovetail\\MainWindowSizeAndPos");

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
    // Again if a window that came up meanwhile (a run's report) took the first Alt+F4.
    bool CloseManager(const QString& window) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            m_display.Keys(window, {QStringLiteral("alt+F4")});
            if (m_manager->waitForFinished(5000))
                return true;
        }
        return false;
    }
    // What the display shows, where DOVETAIL_TEST_SHOTS names a folder: for a person to look at.
    void Shoot(const QString& name) const {
        const QString folder = qEnvironmentVariable("DOVETAIL_TEST_SHOTS");
        if (!folder.isEmpty())
            m_display.Run(BinDir() + QStringLiteral("/../tests/dtscreengrab"),
                          {folder + u'/' + name + QStringLiteral(".png")});
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

// The plan window with the keyboard alone: Ctrl+P lists the plan; Alt+S starts the run it showed.
TEST_F(WindowManagerTest, PreviewListsThePlanAndStartsTheRunItShows) {
    const QString pc = m_env.MakeDir(QStringLiteral("pc")) + u'/';
    m_env.WriteFile(QStringLiteral("pc/a.txt"), "planned");
    CDocSynchEntry binding;
    binding.WinPath = pc;
    binding.WinFileName = QStringLiteral("a.txt");
    binding.EpocPath = QStringLiteral("C:\\Documents\\");
    binding.EpocFileName = QStringLiteral("A");
    binding.WinFileType = binding.EpocFileType = QStringLiteral("Text Document");
    ASSERT_TRUE(WriteDocSynchEntry(QStringLiteral("Alice"), 0, binding));
    RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Dovetail"), QStringLiteral("SyncronizerPath"),
                   BinDir() + QStringLiteral("/bindcopy"));
    const QString window = StartManager();
    ASSERT_FALSE(window.isEmpty());
    const bool planned = QTest::qWaitFor(
        [&] {
            m_display.Keys(window, {QStringLiteral("ctrl+p")});
            return !m_display.WaitForWindow(QStringLiteral("^Preview Synchronization$"), 3000).isEmpty();
        },
        30000);
    ASSERT_TRUE(planned) << "no plan window";
    const QString preview = m_display.WaitForWindow(QStringLiteral("^Preview Synchronization$"));
    m_display.WaitUntilSettled(preview);
    QTest::qWait(3000);  // bindcopy /P connects and scans
    Shoot(QStringLiteral("preview-plan"));
    // Synchronize is enabled once the plan is listed; the run then copies what it showed.
    const QString device = m_env.Root() + QStringLiteral("/device/C/Documents/A");
    // Done once the run has copied and its report has been answered and is gone: closing the
    // manager while the report is coming up would send Alt+F4 to the report instead.
    const auto visible = [&](const QString& title) {
        return m_display
            .Run(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title})
            .section(u'\n', 0, 0)
            .trimmed();
    };
    bool answered = false;
    const bool copied = QTest::qWaitFor(
        [&] {
            if (!answered && !visible(QStringLiteral("^Preview Synchronization$")).isEmpty())
                m_display.Keys(preview, {QStringLiteral("Down"), QStringLiteral("alt+s")});
            const QString report = visible(QStringLiteral("^Synchronization Completed$"));
            if (!report.isEmpty()) {
                m_display.Keys(report, {QStringLiteral("Return")});
                answered = true;
                return false;
            }
            return answered && QFile::exists(device);
        },
        60000);
    EXPECT_TRUE(copied) << "the run did not copy the planned file";
    QFile copy(device);
    EXPECT_TRUE(copy.open(QIODevice::ReadOnly) && copy.readAll() == "planned");
    EXPECT_TRUE(CloseManager(window));
}
}  // namespace
