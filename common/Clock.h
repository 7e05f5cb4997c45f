// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

#include <cstdint>
#include <functional>

// The one source of "now" in the system, so tests can fix the time.
class CClock {
public:
    static QDateTime CurrentDateTimeUtc();
    // Seconds since 1970 UTC as the stored 32-bit time stamps hold them.
    static uint32_t CurrentSecondsUtc();
    static void SetTestClock(std::function<QDateTime()> clock);
    static void ResetTestClock();
};

// Stored time stamps ("LastSyncTimeStamp", "LastSynch") are unsigned seconds since 1970 UTC,
// valid until 2106; read as signed they would turn negative in January 2038.
QDateTime TimeStampToDateTime(uint32_t seconds);
// Clamped to the representable range (before 1970 gives 0).
uint32_t DateTimeToTimeStamp(const QDateTime& moment);
