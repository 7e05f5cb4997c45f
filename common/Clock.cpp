// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Clock.h"

#include <limits>

namespace {
std::function<QDateTime()>& TestClock() {
    static std::function<QDateTime()> clock;
    return clock;
}
}  // namespace

QDateTime CClock::CurrentDateTimeUtc() {
    if (const auto& clock = TestClock())
        return clock().toUTC();
    return QDateTime::currentDateTimeUtc();
}

uint32_t CClock::CurrentSecondsUtc() {
    return DateTimeToTimeStamp(CurrentDateTimeUtc());
}

void CClock::SetTestClock(std::function<QDateTime()> clock) {
    TestClock() = std::move(clock);
}

void CClock::ResetTestClock() {
    TestClock() = nullptr;
}

QDateTime TimeStampToDateTime(uint32_t seconds) {
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
}

uint32_t DateTimeToTimeStamp(const QDateTime& moment) {
    if (!moment.isValid())
        return 0;
    const qint64 secs = moment.toSecsSinceEpoch();
    if (secs <= 0)
        return 0;
    if (secs >= qint64(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    return uint32_t(secs);
}
