// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "synchronizer/SyncUi.h"

#include <cstdint>

// A file counts as changed only from this many seconds after the last synchronization.
inline constexpr int64_t kChangeToleranceSecs = 2;
inline constexpr int64_t kRecentSyncSecs = 86400;

enum class DecisionPrompt { None, BothChanged, RecentSync };

// What the rules decide before the user is asked: with a prompt, direction is the rule's
// direction (what "Overwrite older file" and "Synchronize anyway" give).
// bothChanged: both files changed since the last synchronization, so whichever is replaced holds
// an edit that must be kept first.
// pcChanged, epocChanged: what the rules counted as changed, when both files exist.
struct CDecisionPlan {
    SyncDirection direction = SyncDirection::NoCopy;
    DecisionPrompt prompt = DecisionPrompt::None;
    bool bothChanged = false;
    bool pcChanged = false;
    bool epocChanged = false;
};

// Whether each side changed, as its recorded state tells (content against the recorded
// fingerprint). Unknown: the times alone decide, against the last synchronization's stamp.
struct CChanges {
    bool known = false;
    bool pc = false;
    bool epoc = false;
};

// Times are calendar seconds; each only means something when its file exists. A time more
// than the tolerance after now never counts as the newer one. Pure.
CDecisionPlan PlanDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                            const CDocSynchEntry& binding, int64_t now, const CChanges& changes = {});
SyncDirection ApplyAnswer(SyncDirection ruleDirection, BothChangedAnswer answer);
SyncDirection ApplyAnswer(SyncDirection ruleDirection, RecentSyncAnswer answer);

// The plan's direction, or the user's answer where the plan asks (through ui).
SyncDirection ResolvePrompt(const CDecisionPlan& plan, int64_t winTime, int64_t epocTime, const CDocSynchEntry& binding,
                            ISyncUi& ui);

// PlanDirection at the clock's "now", asking through ui where the plan says so.
// bothChanged, when given, receives the plan's.
SyncDirection DecideDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                              const CDocSynchEntry& binding, ISyncUi& ui, const CChanges& changes = {},
                              bool* bothChanged = nullptr);

// Local short date, a blank, local time with seconds: the form the prompts show.
QString FormatDateTimeText(int64_t secondsUtc);
