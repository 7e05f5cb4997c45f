// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/RunningProgram.h"

#include "tests/support/TempEnv.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The uninstaller ends a running scheduler by its program file; a program started from any
// other file is left alone.
TEST(RunningProgramTest, EndsOnlyTheProcessesOfThatFile) {
    CTempEnv env;
    const QString sleep = QStandardPaths::findExecutable(u"sleep"_s);
    ASSERT_FALSE(sleep.isEmpty());
    const QString scheduler = env.MakeDir(u"suite"_s) + u"/DTkTimer"_s;
    ASSERT_TRUE(QFile::copy(sleep, scheduler));
    QFile::setPermissions(scheduler, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess running;
    QProcess other;
    running.start(scheduler, {u"30"_s});
    other.start(sleep, {u"30"_s});
    ASSERT_TRUE(running.waitForStarted());
    ASSERT_TRUE(other.waitForStarted());

    EXPECT_EQ(EndRunningProgram(scheduler), 1);
    EXPECT_TRUE(running.waitForFinished(3000));
    EXPECT_FALSE(other.waitForFinished(200));
    EXPECT_EQ(EndRunningProgram(scheduler), 0);
    EXPECT_EQ(EndRunningProgram(env.Root() + u"/missing"_s), 0);
    other.kill();
    other.waitForFinished();
}

}  // namespace
