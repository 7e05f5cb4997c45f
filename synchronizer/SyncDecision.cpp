// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncDecision.h"

#include "common/Clock.h"
#include "common/DateTimeText.h"

namespace {

// newer: above 0 when the PC file counts as the newer, below 0 when the EPOC file does.
SyncDirection DirectionByRule(int32_t copyRule, int newer) {
    switch (copyRule) {
        case kCopyNewest:
            if (newer > 0)
                return SyncDirection::PcToDevice;
            return newer < 0 ? SyncDirection::DeviceToPc : SyncDirection::NoCopy;
        case kCopyPcToDevice:
            return newer > 0 ? SyncDirection::PcToDevice : SyncDirection::NoCopy;
        case kCopyDeviceToPc:
            return newer < 0 ? SyncDirection::DeviceToPc : SyncDirection::NoCopy;
        default:
            return SyncDirection::NoCopy;
    }
}

}  // namespace

CDecisionPlan PlanDirection(bool winExists, bool epocExists, int64_t winTime, int64_t epocTime,
                            const CDocSynchEntry& binding, int64_t now, const CChanges& changes) {
    if (!winExists && !epocExists)
        return {};
    if (!winExists)
        return {binding.CopyRule == kCopyPcToDevice ? SyncDirection::NoCopy : SyncDirection::DeviceToPc};
    if (!epocExists)
        return {binding.CopyRule == kCopyDeviceToPc ? SyncDirection::NoCopy : SyncDirection::PcToDevice};

    const int64_t last = binding.LastSyncTimeStamp;
    const bool pcChanged = changes.known ? changes.pc : winTime - last >= kChangeToleranceSecs;
    const bool epocChanged = changes.known ? changes.epoc : epocTime - last >= kChangeToleranceSecs;
    if (!pcChanged && !epocChanged)
        return {};
    // Strictly after the stamp, as the prompt has always asked; a recorded state knows. A binding
    // never synchronized has no edits since: its first run goes by the rules alone.
    const bool both =
        binding.WasUpdated && (changes.known ? pcChanged && epocChanged : winTime > last && epocTime > last);
    int newer = 0;
    if (!(pcChanged && epocChanged)) {
        newer = pcChanged ? 1 : -1;  // the one that changed: its time may be anything
    } else {
        // Another computer's or a driver's clock ahead of ours wins nothing.
        const bool winFuture = winTime - now > kChangeToleranceSecs;
        const bool epocFuture = epocTime - now > kChangeToleranceSecs;
        if (winFuture != epocFuture)
            newer = winFuture ? -1 : 1;
        else
            newer = winTime > epocTime ? 1 : winTime < epocTime ? -1 : 0;
    }
    const SyncDirection byRule = DirectionByRule(binding.CopyRule, newer);
    if (byRule == SyncDirection::NoCopy)
        return {SyncDirection::NoCopy, DecisionPrompt::None, false, pcChanged, epocChanged};
    if (binding.PromptBothChanged && both)
        return {byRule, DecisionPrompt::BothChanged, true, pcChanged, epocChanged};
    if (binding.Prompt24Hrs && binding.WasUpdated && now - last < kRecentSyncSecs)
        return {byRule, DecisionPrompt::RecentSync, both, pcChanged, epocChanged};
    return {byRule, DecisionPrompt::None, both, pcChanged, epocChanged};
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
                              const CDocSynchEntry& binding, ISyncUi& ui, const CChanges& changes, bool* bothChanged) {
    const CDecisionPlan plan = PlanDirection(winExists, epocExists, winTime, epocTime, binding,
                                             static_cast<int64_t>(CClock::CurrentSecondsUtc()), changes);
    if (bothChanged)
        *bothChanged = plan.bothChanged;
    return ResolvePrompt(plan, winTime, epocTime, binding, ui);
}

SyncDirection ResolvePrompt(const CDecisionPlan& plan, int64_t winTime, int64_t epocTime, const CDocSynchEntry& binding,
                            ISyncUi& ui) {
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
