// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncCommandLineInfo.h"
#include "synchronizer/SyncDecision.h"

#include "common/DateTimeText.h"
#include "tests/support/TempEnv.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int64_t kLast = 1'000'000;
constexpr int64_t kNowLater = kLast + 10 * 86400;

struct DecisionRow {
    const char* name;
    bool winExists;
    bool epocExists;
    int64_t winTime;
    int64_t epocTime;
    int32_t copyRule;
    bool wasUpdated;
    bool bothChanged;
    bool prompt24;
    int64_t now;
    SyncDirection direction;
    DecisionPrompt prompt;
};

class DecideDirectionTest : public ::testing::TestWithParam<DecisionRow> {};

TEST_P(DecideDirectionTest, Plans) {
    const DecisionRow& r = GetParam();
    CDocSynchEntry b;
    b.LastSyncTimeStamp = static_cast<uint32_t>(kLast);
    b.CopyRule = r.copyRule;
    b.WasUpdated = r.wasUpdated;
    b.PromptBothChanged = r.bothChanged;
    b.Prompt24Hrs = r.prompt24;
    const CDecisionPlan plan = PlanDirection(r.winExists, r.epocExists, r.winTime, r.epocTime, b, r.now);
    EXPECT_EQ(plan.direction, r.direction);
    EXPECT_EQ(plan.prompt, r.prompt);
}

using D = SyncDirection;
using P = DecisionPrompt;
INSTANTIATE_TEST_SUITE_P(
    Table, DecideDirectionTest,
    ::testing::Values(
        DecisionRow{"NeitherExists", false, false, 0, 0, 0, true, true, true, kNowLater, D::NoCopy, P::None},
        DecisionRow{"OnlyEpocRule0", false, true, 0, kLast, 0, true, true, true, kNowLater, D::DeviceToPc, P::None},
        DecisionRow{"OnlyEpocRule1", false, true, 0, kLast, 1, true, true, true, kNowLater, D::NoCopy, P::None},
        DecisionRow{"OnlyEpocRule7", false, true, 0, kLast, 7, false, false, false, kNowLater, D::DeviceToPc, P::None},
        DecisionRow{"OnlyPcRule2", true, false, kLast, 0, 2, true, true, true, kNowLater, D::NoCopy, P::None},
        DecisionRow{"OnlyPcRule1", true, false, kLast, 0, 1, true, true, true, kNowLater, D::PcToDevice, P::None},
        DecisionRow{"BothOneSecondAfterLast", true, true, kLast + 1, kLast + 1, 0, true, true, true, kNowLater,
                    D::NoCopy, P::None},
        DecisionRow{"BothBeforeLast", true, true, kLast - 50, kLast - 10, 0, true, true, true, kNowLater, D::NoCopy,
                    P::None},
        DecisionRow{"PcTwoSecondsAfter", true, true, kLast + 2, kLast, 0, true, false, false, kNowLater, D::PcToDevice,
                    P::None},
        DecisionRow{"BothChangedAsksEvenWithinTolerance", true, true, kLast + 10, kLast + 1, 0, true, true, false,
                    kNowLater, D::PcToDevice, P::BothChanged},
        DecisionRow{"EqualTimesNoPrompt", true, true, kLast + 10, kLast + 10, 0, true, true, true, kNowLater, D::NoCopy,
                    P::None},
        DecisionRow{"Rule1OnlyEpocChanged", true, true, kLast, kLast + 100, 1, true, false, false, kNowLater, D::NoCopy,
                    P::None},
        DecisionRow{"Rule2EpocNewer", true, true, kLast, kLast + 100, 2, true, false, false, kNowLater, D::DeviceToPc,
                    P::None},
        DecisionRow{"UnknownRuleBothExist", true, true, kLast + 100, kLast, 9, true, true, true, kNowLater, D::NoCopy,
                    P::None},
        DecisionRow{"NeverTransferredNoPrompt", true, true, kLast + 100, kLast + 50, 0, false, true, true, kLast + 200,
                    D::PcToDevice, P::None},
        DecisionRow{"BothChangedWinsOver24h", true, true, kLast + 100, kLast + 50, 0, true, true, true, kLast + 200,
                    D::PcToDevice, P::BothChanged},
        DecisionRow{"Recent23Hours", true, true, kLast + 100, kLast, 0, true, false, true, kLast + 23 * 3600,
                    D::PcToDevice, P::RecentSync},
        DecisionRow{"Recent25HoursNoPrompt", true, true, kLast + 100, kLast, 0, true, false, true, kLast + 25 * 3600,
                    D::PcToDevice, P::None},
        DecisionRow{"LastInTheFuture", true, true, kLast + 100, kLast, 0, true, false, true, kLast - 5, D::PcToDevice,
                    P::RecentSync}),
    [](const ::testing::TestParamInfo<DecisionRow>& info) { return std::string(info.param.name); });

TEST(DecideDirectionAnswers, OverrideTheRuleBothWays) {
    EXPECT_EQ(ApplyAnswer(D::PcToDevice, BothChangedAnswer::OverwriteOlder), D::PcToDevice);
    EXPECT_EQ(ApplyAnswer(D::PcToDevice, BothChangedAnswer::LeaveBoth), D::NoCopy);
    EXPECT_EQ(ApplyAnswer(D::PcToDevice, BothChangedAnswer::OverwriteWindows), D::DeviceToPc);
    EXPECT_EQ(ApplyAnswer(D::DeviceToPc, BothChangedAnswer::OverwriteEpoc), D::PcToDevice);
    EXPECT_EQ(ApplyAnswer(D::DeviceToPc, RecentSyncAnswer::DoNotSynchronize), D::NoCopy);
    EXPECT_EQ(ApplyAnswer(D::DeviceToPc, RecentSyncAnswer::SynchronizeAnyway), D::DeviceToPc);
}

// Two changes a second apart must not look alike in "Both files changed since last
// synchronization".
TEST(PromptTimes, ShowSeconds) {
    for (const int64_t t : {int64_t(1700000000), int64_t(1719835259)}) {
        const QString text = FormatDateTimeText(t);
        EXPECT_NE(text, FormatDateTimeText(t + 1)) << text.toStdString();
        const QTime local = QDateTime::fromSecsSinceEpoch(t).toLocalTime().time();
        EXPECT_TRUE(text.contains(QTime(0, 0, local.second()).toString(u"ss"_s))) << text.toStdString();
    }
}

// The prompts take the manager list's text: under a locale whose time format is "H:mm:ss (t)"
// they once showed "23:29:49 ()".
TEST(PromptTimes, ShowNoEmptyZoneBrackets) {
    CTempEnv env;
    env.SetEnv("LC_ALL", u"es_ES.UTF-8"_s);
    // The system locale is read once per process; run alone (as CTest runs every case) it follows.
    if (QLocale::system().name() != u"es_ES"_s)
        GTEST_SKIP() << "this process fixed its locale before the test";
    ASSERT_TRUE(QLocale::system().timeFormat(QLocale::LongFormat).contains(u"(t)"_s));
    const QString text = FormatDateTimeText(1700000000);
    EXPECT_FALSE(text.contains(u"()"_s)) << text.toStdString();
    EXPECT_EQ(text, FormatLocalDateTime(1700000000));
}

TEST(SyncCommandLine, SelectsTheBindingOfTheLastWFlag) {
    struct Row {
        QStringList args;
        bool single;
        QString key;
    };
    const Row rows[] = {
        {{}, false, {}},
        {{u"/W7"_s}, true, u"7"_s},
        {{u"/w\"7\""_s}, true, u"7"_s},
        {{u"-W12abc"_s}, true, u"12abc"_s},
        {{u"/X"_s, u"7"_s}, false, {}},
        {{u"/W3"_s, u"/W\"9\""_s}, true, u"9"_s},
        {{u"/"_s, u"-"_s, u"W5"_s}, false, {}},
    };
    for (const Row& row : rows) {
        const CSyncCommandLineInfo info = CSyncCommandLineInfo::Parse(row.args);
        EXPECT_EQ(info.singleBinding, row.single) << row.args.join(u' ').toStdString();
        EXPECT_EQ(info.keyName, row.key) << row.args.join(u' ').toStdString();
    }
}

}  // namespace
