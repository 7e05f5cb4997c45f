// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// What a run would do with one binding. The words each value prints as are stable: scripts
// read them from bindcopy /P.
enum class PlanAction { ToHandheld, ToPc, BothChanged, InStep, Left, Refused };
enum class PlanReason {
    PcChanged,        // to-handheld
    HandheldMissing,  // to-handheld
    PcNewer,          // to-handheld: both changed on a first run, the newer goes
    HandheldChanged,  // to-pc
    PcMissing,        // to-pc
    HandheldNewer,    // to-pc
    AskRecent,        // to-handheld, to-pc, both-changed: asked, synchronized less than a day ago
    Ask,              // both-changed: the user is asked
    PcWins,           // both-changed: the PC's copies over, the handheld's content is kept first
    HandheldWins,     // both-changed: the other way
    Unchanged,        // in-step
    BothMissing,      // in-step
    CopyRule,         // left: the binding's copy rule copies only the other way
    SameTime,         // left: both changed at the same second
    PcUnavailable,    // refused: the PC file is open elsewhere or cannot be read
    HandheldUnreadable,
    Disconnected,  // the handheld went away before the binding was looked at
    SameFile,      // another active binding with a lower number has one of its files
    Unreadable,    // the binding's values in the store are damaged
    NotABinding,   // a key that is no entry number
};

struct CPlanSide {
    bool known = false;  // exists and was looked at
    uint64_t size = 0;
    int64_t time = 0;  // calendar seconds
};

struct CPlanEntry {
    QString key;  // the binding's sub-key name: its entry number
    int number = 0;
    PlanAction action = PlanAction::InStep;
    PlanReason reason = PlanReason::Unchanged;
    QString pcPath;
    QString epocPath;
    CPlanSide pc;
    CPlanSide epoc;
};

QString PlanActionWord(PlanAction action);
QString PlanReasonWord(PlanReason reason);
// One line, without its end: number, action, PC path, handheld path, reason, then each side's
// size and time (ISO 8601, UTC; both empty for a side missing or not looked at), separated by
// tabs. Control characters in the paths are escaped, so a name never breaks the line.
QString FormatPlanLine(const CPlanEntry& entry);
// The entry a line of FormatPlanLine holds; false for a line that is none (too few fields, an
// unknown word). The paths stay as written, escapes included.
bool ParsePlanLine(const QString& line, CPlanEntry& entry);
