// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scheduler/AutoSynchEntry.h"

#include <cstdint>
#include <optional>

inline constexpr uint32_t kSecondsPerDay = 24 * 60 * 60;
// A stamp this far ahead of the clock cannot come from a run that happened; nearer ones are
// read as clock adjustments and count as just synchronized.
inline constexpr uint32_t kFutureTolerance = 60 * 60;

// Seconds after which an entry is due again; 0 for frequencies not driven by time.
uint32_t DueInterval(SynchFrequency frequency);

// Whether a time-driven entry last synchronized at lastSynch (seconds since 1970 UTC,
// unsigned, so valid past 2038) is due at now: never synchronized, synchronized an
// interval or more ago, or stamped too far in the future to be trusted. Always false for
// frequencies that are not time-driven.
bool IsSynchDue(SynchFrequency frequency, std::optional<uint32_t> lastSynch, uint32_t now);
