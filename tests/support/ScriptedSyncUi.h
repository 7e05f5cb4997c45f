// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synchronizer/SyncUi.h"

#include <QStringList>

#include <deque>
#include <functional>

// The run's user interface for tests: records every call as a line of text and answers the
// prompts from queues (the preselected answer once a queue is empty).
class CScriptedSyncUi : public ISyncUi {
public:
    std::deque<BothChangedAnswer> bothChangedAnswers;
    std::deque<RecentSyncAnswer> recentSyncAnswers;
    std::deque<CopyErrorAnswer> copyErrorAnswers;
    // Runs while a decision prompt is open, as a user acting meanwhile would.
    std::function<void()> duringPrompt;
    // Runs while the copy-error prompt is open.
    std::function<void()> duringCopyError;

    // "message:<text>", "stop-message:<text>", "beep", "both-changed:<pc>|<epoc>",
    // "recent:<pc>|<epoc>", "copy-error:<destination>", "text:<t>", "range:<l>,<u>", "step:<s>",
    // "pos:<p>", "step", "play:<clip>", "stop-animation", "hide", "disable-stop",
    // "completion:<errors 0/1>", "close:<ok 0/1>"
    QStringList calls;
    QStringList copyErrorReasons;  // one per copy-error prompt, empty for the usual text
    bool closed = false;
    bool completionShown = false;
    bool completionErrors = false;

    QStringList Matching(const QString& prefix) const;
    int Count(const QString& line) const { return static_cast<int>(calls.count(line)); }

    void ShowMessage(const QString& text, MessageIcon icon) override;
    void Beep() override { calls << QStringLiteral("beep"); }
    BothChangedAnswer AskBothChanged(const QString& pcPath, const QString& pcTime, const QString& epocPath,
                                     const QString& epocTime) override;
    RecentSyncAnswer AskRecentSync(const QString& pcPath, const QString& epocPath,
                                   const QString& lastSyncTime) override;
    CopyErrorAnswer AskCopyError(const QString& destination, const QString& reason) override;
    void SetProgressText(const QString& text) override { calls << QStringLiteral("text:") + text; }
    void SetProgressRange(int lower, int upper) override {
        calls << QStringLiteral("range:%1,%2").arg(lower).arg(upper);
    }
    void SetProgressStep(int step) override { calls << QStringLiteral("step:%1").arg(step); }
    void SetProgressPos(int pos) override { calls << QStringLiteral("pos:%1").arg(pos); }
    void StepProgress() override { calls << QStringLiteral("step"); }
    void PlayAnimation(const QString& clipPath) override { calls << QStringLiteral("play:") + clipPath; }
    void StopAnimation() override { calls << QStringLiteral("stop-animation"); }
    void HideWindow() override { calls << QStringLiteral("hide"); }
    void DisableStop() override { calls << QStringLiteral("disable-stop"); }
    void ShowCompletion(const QString& logPath, bool errorsOccurred) override;
    void CloseWindow(bool ok) override;
};
