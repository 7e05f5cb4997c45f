// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// What the manager stores in "Frequency".
enum class SynchFrequency : uint32_t { Off = 0, OnConnect = 1, Daily = 2, Weekly = 3 };

// One usable entry of a user's "AutoSynchApps" area.
struct AutoSynchEntry {
    QString user;
    QString name;  // the entry key, "Dovetail" for ours; other programs may keep their own
    SynchFrequency frequency = SynchFrequency::Off;
    QString executablePath;
    std::optional<uint32_t> lastSynch;  // absent or unreadable: never synchronized
};

struct AutoSynchScan {
    // False when the store could not be read; the entries are then incomplete and callers
    // keep what they read before. A store without profiles reads fine and empty.
    bool ok = false;
    std::vector<AutoSynchEntry> entries;
    // One line per entry left out for a bad value, for the verbose log.
    QStringList skipped;
};

// Reads every entry of every user profile. Entries that are off, or whose "Frequency" or
// "ExecutablePath" is missing or not of the expected type, are left out.
AutoSynchScan ReadAutoSynchEntries();
