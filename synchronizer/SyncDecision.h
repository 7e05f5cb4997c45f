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
struct CDecisionPlan {
    SyncDirection direction = SyncDirection::NoCopy;
    DecisionPrompt prompt = DecisionPrompt::None;
};

// Times are calendar seconds; each only means something when its file exists. Pure.
CDecisionPlan PlanDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                            const CDocSynchEntry& binding, int64_t now);
SyncDirection ApplyAnswer(SyncDirection ruleDirection, BothChangedAnswer answer);
SyncDirection ApplyAnswer(SyncDirection ruleDirection, RecentSyncAnswer answer);

// PlanDirection at the clock's "now", asking through ui where the plan says so.
SyncDirection DecideDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                              const CDocSynchEntry& binding, ISyncUi& ui);

// Local short date, a blank, local time with seconds: the form the prompts show.
QString FormatDateTimeText(int64_t secondsUtc);
