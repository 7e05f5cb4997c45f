// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/SchedulePolicy.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr uint32_t kDay = kSecondsPerDay;
// 2040-06-01, past the point where a signed 32-bit stamp turns negative.
constexpr uint32_t kAfter2038 = 2222121600u;
constexpr uint32_t kNow2026 = 1796688000u;  // 2026-12-08

struct DueCase {
    const char* name;
    SynchFrequency frequency;
    std::optional<uint32_t> lastSynch;
    uint32_t now;
    bool due;
};

class IsSynchDueTest : public ::testing::TestWithParam<DueCase> {};

TEST_P(IsSynchDueTest, Decides) {
    const DueCase& c = GetParam();
    EXPECT_EQ(IsSynchDue(c.frequency, c.lastSynch, c.now), c.due);
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, IsSynchDueTest,
    ::testing::Values(
        DueCase{"DailyNeverSynchronized", SynchFrequency::Daily, std::nullopt, kNow2026, true},
        DueCase{"DailyJustUnderADay", SynchFrequency::Daily, kNow2026 - kDay + 1, kNow2026, false},
        DueCase{"DailyExactlyADay", SynchFrequency::Daily, kNow2026 - kDay, kNow2026, true},
        DueCase{"DailyAMinuteAgo", SynchFrequency::Daily, kNow2026 - 60, kNow2026, false},
        DueCase{"WeeklySixDaysAgo", SynchFrequency::Weekly, kNow2026 - 6 * kDay, kNow2026, false},
        DueCase{"WeeklySevenDaysAgo", SynchFrequency::Weekly, kNow2026 - 7 * kDay, kNow2026, true},
        DueCase{"WeeklyNeverSynchronized", SynchFrequency::Weekly, std::nullopt, kNow2026, true},
        DueCase{"DailyStampAfter2038Recent", SynchFrequency::Daily, kAfter2038 - 3600, kAfter2038, false},
        DueCase{"DailyStampAfter2038Old", SynchFrequency::Daily, kAfter2038 - 2 * kDay, kAfter2038, true},
        DueCase{"WeeklyAcross2038", SynchFrequency::Weekly, 0x7FFFFFFFu - kDay, 0x7FFFFFFFu + 3 * kDay, false},
        DueCase{"DailyAcross2038Old", SynchFrequency::Daily, 0x7FFFFFFFu - kDay, 0x7FFFFFFFu + kDay, true},
        DueCase{"DailyStampSlightlyAhead", SynchFrequency::Daily, kNow2026 + 60, kNow2026, false},
        DueCase{"DailyStampFarAhead", SynchFrequency::Daily, kNow2026 + 30 * kDay, kNow2026, true},
        DueCase{"WeeklyStampAtEndOfRange", SynchFrequency::Weekly, 0xFFFFFFFFu, kNow2026, true},
        DueCase{"OnConnectIsNotTimeDriven", SynchFrequency::OnConnect, std::nullopt, kNow2026, false},
        DueCase{"OffNeverDue", SynchFrequency::Off, kNow2026 - 365 * kDay, kNow2026, false}),
    [](const ::testing::TestParamInfo<DueCase>& info) { return std::string(info.param.name); });

}  // namespace
