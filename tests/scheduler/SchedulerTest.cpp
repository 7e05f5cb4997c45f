// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/Scheduler.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "scheduler/ProgramStarter.h"
#include "tests/scheduler/SchedulerWorld.h"
#include "tests/support/TempEnv.h"

#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace Qt::StringLiterals;
using namespace SchedulerWorld;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kDay = 24 * 60 * 60;
const QString kSync = u"/opt/dt/bindcopy"_s;

class CRecordingStarter final : public IProgramStarter {
public:
    bool Start(const QString& program) override {
        starts.append(program);
        if (failStarts)
            return false;
        if (keepRunning)
            running.append(program);
        return true;
    }
    bool IsRunning(const QString& program) override { return running.contains(program); }

    QStringList starts;
    QStringList running;
    bool keepRunning = false;
    bool failStarts = false;
};

// A fixed clock the test moves by hand.
class CTestClock {
public:
    explicit CTestClock(uint32_t seconds) : m_now(seconds) {
        CClock::SetTestClock([this] { return QDateTime::fromSecsSinceEpoch(qint64(m_now), Qt::UTC); });
    }
    ~CTestClock() { CClock::ResetTestClock(); }
    void Advance(uint32_t seconds) { m_now += seconds; }
    uint32_t Now() const { return m_now; }

private:
    std::atomic<uint32_t> m_now;
};

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateHandheld(u"alice"_s);
        m_scheduler = std::make_unique<CScheduler>(
            [this]() -> std::unique_ptr<IEpocEngine> {
                ++m_engineRequests;
                return m_engineRequests <= m_failingEngineRequests ? nullptr : CreateEpocEngine();
            },
            m_starter, [this](const QString& line) { m_log.append(line); }, 50ms);
    }

    // Waits for the scheduler to follow the plug state, then for a few more ticks to pass.
    void Plug(bool plugged) {
        SetPlugged(plugged);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_scheduler->IsConnected() == plugged; }, 5000))
            << m_log.join(u'\n').toStdString();
        Settle();
    }
    void Settle() { QTest::qWait(300); }

    CTempEnv m_env;
    CRecordingStarter m_starter;
    QStringList m_log;
    int m_engineRequests = 0;
    int m_failingEngineRequests = 0;
    std::unique_ptr<CScheduler> m_scheduler;
};

TEST_F(SchedulerTest, OnConnectStartsOncePerConnectionForTheOwnerOnly) {
    SetFrequency(u"alice"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, kSync);
    SetFrequency(u"alice"_s, u"OtherApp"_s, 1);
    SetExecutablePath(u"alice"_s, u"OtherApp"_s, u"/opt/other/app"_s);
    SetFrequency(u"bob"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"bob"_s, u"Dovetail"_s, u"/home/bob/bindcopy"_s);
    m_scheduler->Start();
    Settle();
    EXPECT_TRUE(m_starter.starts.isEmpty());

    Plug(true);
    QStringList expected{kSync, u"/opt/other/app"_s};
    QStringList started = m_starter.starts;
    started.sort();
    expected.sort();
    EXPECT_EQ(started, expected);

    Plug(false);
    Plug(true);
    EXPECT_EQ(m_starter.starts.count(kSync), 2);
    EXPECT_EQ(m_starter.starts.size(), 4);
}

// A handheld reconnected while the run of its last connection still shows its report gets
// its own run once that one ends; never two at once.
TEST_F(SchedulerTest, ConnectionDuringARunGetsItsRunWhenThatEnds) {
    SetFrequency(u"alice"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, kSync);
    m_starter.keepRunning = true;
    m_scheduler->Start();
    Plug(true);
    Plug(false);
    Plug(true);
    EXPECT_EQ(m_starter.starts.size(), 1);

    m_starter.running.clear();  // the run ended, the handheld still connected
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 2);
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 2);  // once per connection

    // Unplugged again before the run ended: nothing is owed to a connection that is gone.
    Plug(false);
    Plug(true);
    EXPECT_EQ(m_starter.starts.size(), 2);
    Plug(false);
    m_starter.running.clear();
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 2);
}

TEST_F(SchedulerTest, DailyStartsWhenDueOnConnectAndWhileConnected) {
    CTestClock clock(1796688000u);
    SetFrequency(u"alice"_s, u"Dovetail"_s, 2);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, kSync);
    SetLastSynch(u"alice"_s, u"Dovetail"_s, clock.Now() - 2 * kDay);
    m_scheduler->Start();
    Plug(true);
    ASSERT_EQ(m_starter.starts.size(), 1);

    // The run left no new stamp: no second start for the same stamp in this connection.
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 1);

    // The run records itself; a day later, still plugged in, the next one is due.
    SetLastSynch(u"alice"_s, u"Dovetail"_s, clock.Now());
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 1);
    clock.Advance(kDay - 10);
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 1);
    clock.Advance(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_starter.starts.size() == 2; }, 2000));
}

TEST_F(SchedulerTest, WeeklyNotDueIsLeftAlone) {
    CTestClock clock(0x90000000u);  // after 2038
    SetFrequency(u"alice"_s, u"Dovetail"_s, 3);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, kSync);
    SetLastSynch(u"alice"_s, u"Dovetail"_s, clock.Now() - 6 * kDay);
    m_scheduler->Start();
    Plug(true);
    EXPECT_TRUE(m_starter.starts.isEmpty());
    clock.Advance(kDay);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_starter.starts.size() == 1; }, 2000));
}

TEST_F(SchedulerTest, NewChoiceTakesEffectWithoutRestart) {
    CTestClock clock(1796688000u);
    m_scheduler->Start();
    Plug(true);
    EXPECT_TRUE(m_starter.starts.isEmpty());

    SetFrequency(u"alice"_s, u"Dovetail"_s, 2);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, kSync);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_starter.starts.size() == 1; }, 2000));

    // Switched to connection starts: the next connection starts it, this one does not.
    SetFrequency(u"alice"_s, u"Dovetail"_s, 1);
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 1);
    Plug(false);
    Plug(true);
    EXPECT_EQ(m_starter.starts.size(), 2);

    SetFrequency(u"alice"_s, u"Dovetail"_s, 0);
    Plug(false);
    Plug(true);
    EXPECT_EQ(m_starter.starts.size(), 2);
}

TEST_F(SchedulerTest, OwnerFoundLaterAndEngineRetried) {
    ASSERT_EQ(CRegistry::Default().DeleteTree(RegRoot::CurrentUser, QLatin1String(kUsersKey) + u"\\alice"_s),
              RegStatus::Ok);
    SetFrequency(u"erin"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"erin"_s, u"Dovetail"_s, kSync);
    m_failingEngineRequests = 2;
    m_scheduler->Start();
    SetPlugged(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_scheduler->IsConnected(); }, 5000));
    EXPECT_EQ(m_engineRequests, 3);
    Settle();
    EXPECT_TRUE(m_starter.starts.isEmpty());  // the handheld belongs to nobody yet

    AddMachineToUser(u"erin"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_starter.starts.size() == 1; }, 2000));
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 1);
}

TEST_F(SchedulerTest, FailedStartIsNotRepeatedWithinAConnection) {
    SetFrequency(u"alice"_s, u"Dovetail"_s, 2);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, u"/nowhere/bindcopy"_s);
    m_starter.failStarts = true;
    m_scheduler->Start();
    Plug(true);
    Settle();
    EXPECT_EQ(m_starter.starts.size(), 1);
    EXPECT_TRUE(m_log.filter(u"could not be started"_s).size() == 1) << m_log.join(u'\n').toStdString();
}

TEST_F(SchedulerTest, UnusableStoreIsSurvived) {
    SetFrequency(u"alice"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, kSync);
    m_env.SetEnv("DOVETAIL_REGISTRY", m_env.WriteFile(u"garbage.db"_s, QByteArray(4096, 'x')));
    m_scheduler->Start();
    Settle();
    EXPECT_FALSE(m_scheduler->IsConnected());
    EXPECT_TRUE(m_starter.starts.isEmpty());
    EXPECT_FALSE(m_log.filter(u"cannot be read"_s).isEmpty());
}

}  // namespace
