// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/PlanLine.h"
#include "synchronizer/SyncDecision.h"

// What the decision made of a binding whose both files were looked at. Pure.
void DescribeDecision(const CDecisionPlan& decision, bool winExists, bool epocExists, int32_t copyRule,
                      CPlanEntry& entry);
// The run's direction for an action; NoCopy for those that copy nothing.
SyncDirection PlannedDirection(const CPlanEntry& entry);
