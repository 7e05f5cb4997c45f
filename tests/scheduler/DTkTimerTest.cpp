// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/DetachedStarter.h"
#include "common/InstanceLock.h"
#include "tests/scheduler/SchedulerWorld.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;
using namespace SchedulerWorld;

namespace {

QString Program() {
    return BinDir() + u"/DTkTimer"_s;
}

// A running DTkTimer -v; ended with SIGTERM unless the test did so.
class CTimerProcess {
public:
    CTimerProcess() {
        m_process.setProgram(Program());
        m_process.setArguments({u"-v"_s});
        m_process.start();
    }
    ~CTimerProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Waits for the program to say it runs.
    bool WaitStarted() {
        return QTest::qWaitFor([&] { return Output().contains(u"DTkTimer: started"_s); }, 10000);
    }
    QString Output() {
        m_output += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_output;
    }
    // Waits until the verbose log holds text count times.
    bool WaitLogged(const QString& text, int count) {
        return QTest::qWaitFor([&] { return Output().count(text) >= count; }, 10000);
    }
    // Plugs or unplugs and waits for the program to notice.
    bool Replug(bool plugged) {
        const QString text = plugged ? u"handheld connected"_s : u"handheld disconnected"_s;
        const int seen = int(Output().count(text));
        SetPlugged(plugged);
        return WaitLogged(text, seen + 1);
    }
    QProcess& Process() { return m_process; }

private:
    QProcess m_process;
    QString m_output;
};

void SetUpOwner(const QString& recorder) {
    CreateHandheld(u"alice"_s);
    SetFrequency(u"alice"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, recorder);
}

TEST(DTkTimer, StartsTheProgramOncePerConnectionAndQuitsOnSigterm) {
    CTempEnv env;
    const QString lines = env.Root() + u"/runs.txt"_s;
    SetUpOwner(WriteRecorder(env, lines));
    CTimerProcess timer;
    ASSERT_TRUE(timer.WaitStarted()) << timer.Output().toStdString();

    SetPlugged(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountLines(lines) == 1; }, 5000)) << timer.Output().toStdString();
    QTest::qWait(1000);
    EXPECT_EQ(CountLines(lines), 1);
    ASSERT_TRUE(timer.Replug(false));
    ASSERT_TRUE(timer.Replug(true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountLines(lines) == 2; }, 5000)) << timer.Output().toStdString();

    ASSERT_EQ(::kill(pid_t(timer.Process().processId()), SIGTERM), 0);
    ASSERT_TRUE(timer.Process().waitForFinished(5000));
    EXPECT_EQ(timer.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(timer.Process().exitCode(), 0);
}

TEST(DTkTimer, SecondStartExitsAtOnceAndIsSilentWithoutVerbose) {
    CTempEnv env;
    CTimerProcess first;
    ASSERT_TRUE(first.WaitStarted()) << first.Output().toStdString();

    QProcess second;
    QElapsedTimer elapsed;
    elapsed.start();
    second.start(Program(), QStringList());
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_LT(elapsed.elapsed(), 3000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_EQ(first.Process().state(), QProcess::Running);
}

TEST(DTkTimer, ProgramStillRunningIsNotStartedAgain) {
    CTempEnv env;
    const QString lines = env.Root() + u"/runs.txt"_s;
    SetUpOwner(WriteRecorder(env, lines, 4));
    CTimerProcess timer;
    ASSERT_TRUE(timer.WaitStarted()) << timer.Output().toStdString();

    SetPlugged(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountLines(lines) == 1; }, 5000)) << timer.Output().toStdString();
    ASSERT_TRUE(timer.Replug(false));
    ASSERT_TRUE(timer.Replug(true));
    ASSERT_TRUE(timer.WaitLogged(u"still runs"_s, 1)) << timer.Output().toStdString();
    EXPECT_EQ(CountLines(lines), 1);

    QTest::qWait(4000);  // the recorder has ended
    ASSERT_TRUE(timer.Replug(false));
    ASSERT_TRUE(timer.Replug(true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountLines(lines) == 2; }, 5000)) << timer.Output().toStdString();
}

TEST(DetachedStarter, FollowsTheChildUntilItEnds) {
    CTempEnv env;
    const QString lines = env.Root() + u"/runs.txt"_s;
    const QString recorder = WriteRecorder(env, lines, 1);
    CDetachedStarter starter;
    EXPECT_FALSE(starter.IsRunning(recorder));
    ASSERT_TRUE(starter.Start(recorder));
    EXPECT_TRUE(starter.IsRunning(recorder));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !starter.IsRunning(recorder); }, 5000));
    EXPECT_EQ(CountLines(lines), 1);
    EXPECT_FALSE(starter.Start(env.Root() + u"/missing-program"_s));
}

TEST(InstanceLock, OnePerFileAndNeverThroughALink) {
    CTempEnv env;
    const QString path = CInstanceLock::DefaultPath();
    EXPECT_TRUE(path.startsWith(env.Root())) << path.toStdString();
    {
        CInstanceLock first;
        CInstanceLock second;
        ASSERT_EQ(first.Acquire(path), CInstanceLock::Result::Acquired);
        EXPECT_EQ(second.Acquire(path), CInstanceLock::Result::HeldElsewhere);
    }
    CInstanceLock again;
    EXPECT_EQ(again.Acquire(path), CInstanceLock::Result::Acquired);

    const QString target = env.WriteFile(u"victim"_s, "keep");
    const QString link = env.Root() + u"/link.lock"_s;
    ASSERT_TRUE(QFile::link(target, link));
    CInstanceLock linked;
    EXPECT_EQ(linked.Acquire(link), CInstanceLock::Result::Unavailable);
}

}  // namespace
