// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncDecision.h"

#include "common/Clock.h"
#include "common/DateTimeText.h"

namespace {

SyncDirection DirectionByRule(int32_t copyRule, int64_t winTime, int64_t epocTime) {
    switch (copyRule) {
        case kCopyNewest:
            if (winTime > epocTime)
                return SyncDirection::PcToDevice;
            return winTime < epocTime ? SyncDirection::DeviceToPc : SyncDirection::NoCopy;
        case kCopyPcToDevice:
            return winTime > epocTime ? SyncDirection::PcToDevice : SyncDirection::NoCopy;
        case kCopyDeviceToPc:
            return winTime < epocTime ? SyncDirection::DeviceToPc : SyncDirection::NoCopy;
        default:
            return SyncDirection::NoCopy;
    }
}

}  // namespace

CDecisionPlan PlanDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                            const CDocSynchEntry& binding, int64_t now) {
    if (!winExists && !epocExists)
        return {};
    if (!winExists)
        return {binding.CopyRule == kCopyPcToDevice ? SyncDirection::NoCopy : SyncDirection::DeviceToPc};
    if (!epocExists)
        return {binding.CopyRule == kCopyDeviceToPc ? SyncDirection::NoCopy : SyncDirection::PcToDevice};

    const int64_t last = binding.LastSyncTimeStamp;
    if (epocTime - last < kChangeToleranceSecs && winTime - last < kChangeToleranceSecs)
        return {};
    const SyncDirection byRule = DirectionByRule(binding.CopyRule, winTime, epocTime);
    if (byRule == SyncDirection::NoCopy)
        return {};
    if (binding.PromptBothChanged && binding.WasUpdated && winTime > last && epocTime > last)
        return {byRule, DecisionPrompt::BothChanged};
    if (binding.Prompt24Hrs && binding.WasUpdated && now - last < kRecentSyncSecs)
        return {byRule, DecisionPrompt::RecentSync};
    return {byRule};
}

SyncDirection ApplyAnswer(SyncDirection ruleDirection, BothChangedAnswer answer) {
    switch (answer) {
        case BothChangedAnswer::OverwriteOlder:
            return ruleDirection;
        case BothChangedAnswer::OverwriteWindows:
            return SyncDirection::DeviceToPc;
        case BothChangedAnswer::OverwriteEpoc:
            return SyncDirection::PcToDevice;
        case BothChangedAnswer::LeaveBoth:
            break;
    }
    return SyncDirection::NoCopy;
}

SyncDirection ApplyAnswer(SyncDirection ruleDirection, RecentSyncAnswer answer) {
    return answer == RecentSyncAnswer::SynchronizeAnyway ? ruleDirection : SyncDirection::NoCopy;
}

SyncDirection DecideDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                              const CDocSynchEntry& binding, ISyncUi& ui) {
    const CDecisionPlan plan = PlanDirection(winExists, epocExists, winTime, epocTime, binding,
                                             static_cast<int64_t>(CClock::CurrentSecondsUtc()));
    switch (plan.prompt) {
        case DecisionPrompt::None:
            return plan.direction;
        case DecisionPrompt::BothChanged:
            ui.Beep();
            return ApplyAnswer(plan.direction, ui.AskBothChanged(binding.WinFullPath(), FormatDateTimeText(winTime),
                                                                 binding.EpocFullPath(), FormatDateTimeText(epocTime)));
        case DecisionPrompt::RecentSync:
            ui.Beep();
            return ApplyAnswer(plan.direction, ui.AskRecentSync(binding.WinFullPath(), binding.EpocFullPath(),
                                                                FormatDateTimeText(binding.LastSyncTimeStamp)));
    }
    return SyncDirection::NoCopy;
}

QString FormatDateTimeText(int64_t secondsUtc) {
    return FormatLocalDateTime(secondsUtc);
}
