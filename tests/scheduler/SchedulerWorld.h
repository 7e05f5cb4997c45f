// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class CTempEnv;

// Registry set-up shared by the scheduler tests: a handheld known to the simulator, its
// owner's profile and automatic-synchronization entries.
namespace SchedulerWorld {

inline constexpr uint32_t kHigh = 0xA2B;
inline constexpr uint32_t kLow = 0xFF;

// The simulated handheld, unplugged, and the owner's "Machines" key unless owner is empty.
void CreateHandheld(const QString& owner);
void AddMachineToUser(const QString& user);
void SetPlugged(bool plugged);

void SetFrequency(const QString& user, const QString& entry, uint32_t frequency);
void SetExecutablePath(const QString& user, const QString& entry, const QString& path);
void SetLastSynch(const QString& user, const QString& entry, uint32_t seconds);

// A shell script that appends one line to linesFile each time it runs, then sleeps.
QString WriteRecorder(const CTempEnv& env, const QString& linesFile, double sleepSeconds = 0);
int CountLines(const QString& file);

}  // namespace SchedulerWorld
