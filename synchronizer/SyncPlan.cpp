// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncPlan.h"

void DescribeDecision(const CDecisionPlan& decision, bool winExists, bool epocExists, int32_t copyRule,
                      CPlanEntry& entry) {
    const auto set = [&entry](PlanAction action, PlanReason reason) {
        entry.action = action;
        entry.reason = reason;
    };
    const bool toHandheld = decision.direction == SyncDirection::PcToDevice;
    if (!winExists || !epocExists) {
        if (!winExists && !epocExists)
            set(PlanAction::InStep, PlanReason::BothMissing);
        else if (decision.direction == SyncDirection::NoCopy)
            set(PlanAction::Left, PlanReason::CopyRule);
        else
            set(toHandheld ? PlanAction::ToHandheld : PlanAction::ToPc,
                toHandheld ? PlanReason::HandheldMissing : PlanReason::PcMissing);
        return;
    }
    if (decision.direction == SyncDirection::NoCopy) {
        if (!decision.pcChanged && !decision.epocChanged)
            set(PlanAction::InStep, PlanReason::Unchanged);
        else
            set(PlanAction::Left, copyRule == kCopyNewest ? PlanReason::SameTime : PlanReason::CopyRule);
        return;
    }
    if (decision.bothChanged) {
        const PlanReason reason = decision.prompt == DecisionPrompt::BothChanged  ? PlanReason::Ask
                                  : decision.prompt == DecisionPrompt::RecentSync ? PlanReason::AskRecent
                                  : toHandheld                                    ? PlanReason::PcWins
                                                                                  : PlanReason::HandheldWins;
        set(PlanAction::BothChanged, reason);
        return;
    }
    PlanReason reason = toHandheld ? PlanReason::PcChanged : PlanReason::HandheldChanged;
    if (decision.prompt == DecisionPrompt::RecentSync)
        reason = PlanReason::AskRecent;
    else if (decision.pcChanged && decision.epocChanged)
        reason = toHandheld ? PlanReason::PcNewer : PlanReason::HandheldNewer;
    set(toHandheld ? PlanAction::ToHandheld : PlanAction::ToPc, reason);
}

SyncDirection PlannedDirection(const CPlanEntry& entry) {
    switch (entry.action) {
        case PlanAction::ToHandheld:
            return SyncDirection::PcToDevice;
        case PlanAction::ToPc:
            return SyncDirection::DeviceToPc;
        case PlanAction::BothChanged:
            switch (entry.reason) {
                case PlanReason::PcWins:
                    return SyncDirection::PcToDevice;
                case PlanReason::HandheldWins:
                    return SyncDirection::DeviceToPc;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return SyncDirection::NoCopy;
}
