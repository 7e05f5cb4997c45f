// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/AutostartEntry.h"

#include "common/Launcher.h"

#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QFileInfo>

TEST(AutostartEntryTest, ExecValueQuotesAndEscapesReservedCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/suite/DTkTimer", "/opt/suite/DTkTimer"},
        {"/home/a b/DTkTimer", "\"/home/a b/DTkTimer\""},
        // Inside quotes: \" \` \$ \\ ; then the value's own escape doubles each backslash.
        {"/x/\"q\"/$HOME/`t`", "\"/x/\\\\\"q\\\\\"/\\\\$HOME/\\\\`t\\\\`\""},
        {"/x\\y", "\"/x\\\\\\\\y\""},
        {"/100%/DTkTimer", "/100%%/DTkTimer"},
        {"/a b/100%", "\"/a b/100%%\""},
        {"/tab\there", "\"/tab\\there\""},
    };
    for (const auto& [program, expected] : cases)
        EXPECT_EQ(DesktopExecValue(QString::fromUtf8(program)), QString::fromUtf8(expected)) << program;
}

TEST(AutostartEntryTest, WritesWholeIntoTheConfigFolderAndRemoves) {
    CTempEnv env;
    const QString path = AutostartEntryPath(QStringLiteral("DTScheduler"));
    EXPECT_EQ(path, env.Home() + QStringLiteral("/.config/autostart/DTScheduler.desktop"));
    EXPECT_TRUE(RemoveAutostartEntry(QStringLiteral("DTScheduler")));  // none yet

    ASSERT_TRUE(WriteAutostartEntry(QStringLiteral("DTScheduler"), QStringLiteral("/opt/a b/DTkTimer")));
    ASSERT_TRUE(WriteAutostartEntry(QStringLiteral("DTScheduler"), QStringLiteral("/opt/suite/DTkTimer")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=/opt/suite/DTkTimer\n")));
    EXPECT_EQ(QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("DTScheduler.desktop")});

    EXPECT_TRUE(RemoveAutostartEntry(QStringLiteral("DTScheduler")));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(AutostartEntryTest, UnwritableFolderFailsAndKeepsNothingHalfWritten) {
    CTempEnv env;
    // A file where the autostart folder should be.
    env.WriteFile(QStringLiteral("home/.config/autostart"), "not a folder");
    EXPECT_FALSE(WriteAutostartEntry(QStringLiteral("DTScheduler"), QStringLiteral("/opt/DTkTimer")));
    EXPECT_FALSE(QFile::exists(AutostartEntryPath(QStringLiteral("DTScheduler"))));
}

// Recorded by an installation from the package, the launcher starts the scheduler, and only
// while it is there.
TEST(AutostartEntryTest, GoesThroughThePackagesLauncherWhereOneIsRecorded) {
    CTempEnv env;
    ASSERT_TRUE(RecordLauncher(QStringLiteral("/usr/lib/dovetail/bin/dtwelcome")));
    ASSERT_TRUE(WriteAutostartEntry(QStringLiteral("DTScheduler"), QStringLiteral("/home/a b/DTkTimer")));
    const QString text = QString::fromUtf8(ReadWholeFile(AutostartEntryPath(QStringLiteral("DTScheduler"))));
    EXPECT_TRUE(
        text.contains(QStringLiteral("\nExec=/usr/lib/dovetail/bin/dtwelcome --start \"/home/a b/DTkTimer\"\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nTryExec=/usr/lib/dovetail/bin/dtwelcome\n")));
    EXPECT_TRUE(PackageRemoved());
    EXPECT_EQ(LaunchCommand(QStringLiteral("/s/bindcopy")),
              (QStringList{QStringLiteral("/usr/lib/dovetail/bin/dtwelcome"), QStringLiteral("--start"),
                           QStringLiteral("/s/bindcopy")}));
    ASSERT_TRUE(RecordLauncher(QString()));
    EXPECT_FALSE(PackageRemoved());
    EXPECT_EQ(LaunchCommand(QStringLiteral("/s/bindcopy")), QStringList{QStringLiteral("/s/bindcopy")});
}
