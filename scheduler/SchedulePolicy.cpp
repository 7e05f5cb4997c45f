// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/SchedulePolicy.h"

uint32_t DueInterval(SynchFrequency frequency) {
    switch (frequency) {
        case SynchFrequency::Daily:
            return kSecondsPerDay;
        case SynchFrequency::Weekly:
            return 7 * kSecondsPerDay;
        case SynchFrequency::Off:
        case SynchFrequency::OnConnect:
            break;
    }
    return 0;
}

bool IsSynchDue(SynchFrequency frequency, std::optional<uint32_t> lastSynch, uint32_t now) {
    const uint32_t interval = DueInterval(frequency);
    if (interval == 0)
        return false;
    if (!lastSynch)
        return true;
    // Signed 64-bit so a stamp ahead of the clock does not wrap into a huge age.
    const int64_t age = int64_t(now) - int64_t(*lastSynch);
    if (age < 0)
        return -age > int64_t(kFutureTolerance);
    return age >= int64_t(interval);
}
