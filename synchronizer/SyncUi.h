// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// Outcome of deciding one binding; the numbers are those the rest of the system uses.
enum class SyncDirection : int { NoCopy = 0, PcToDevice = 1, DeviceToPc = 2 };

enum class MessageIcon { None, Stop };

// Results as the prompts hold them.
enum class BothChangedAnswer : int { OverwriteOlder = 0, LeaveBoth = 1, OverwriteWindows = 2, OverwriteEpoc = 3 };
enum class RecentSyncAnswer : int { DoNotSynchronize = 0, SynchronizeAnyway = 1 };
enum class CopyErrorAnswer : int { Retry = 1, IgnoreFile = 2, IgnoreAll = 3, Stop = 4 };

// Everything a run shows or asks. Implemented by the main window and by the scripted test
// double; every call is made on the run's thread, one at a time, and the prompts are modal.
// The window's calls reach it on its own thread (CSyncRunThread).
class ISyncUi {
public:
    virtual ~ISyncUi() = default;

    // A message box with the OK button.
    virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;
    virtual void Beep() = 0;
    virtual BothChangedAnswer AskBothChanged(const QString& pcPath, const QString& pcTime, const QString& epocPath,
                                             const QString& epocTime) = 0;
    virtual RecentSyncAnswer AskRecentSync(const QString& pcPath, const QString& epocPath,
                                           const QString& lastSyncTime) = 0;
    // destination: the file the failed copy was writing; reason: what happened, when the run
    // knows (empty: the device may be missing or the file write-protected).
    virtual CopyErrorAnswer AskCopyError(const QString& destination, const QString& reason) = 0;

    virtual void SetProgressText(const QString& text) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressStep(int step) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void StepProgress() = 0;

    // An empty or unplayable clip leaves the animation empty; the run goes on.
    virtual void PlayAnimation(const QString& clipPath) = 0;
    virtual void StopAnimation() = 0;

    virtual void HideWindow() = 0;
    virtual void DisableStop() = 0;
    // Modal; returns when the user has closed the report.
    virtual void ShowCompletion(const QString& logPath, bool errorsOccurred) = 0;
    // Ends the run's window; ok is true only for the regular end. No event reaches the run
    // afterwards.
    virtual void CloseWindow(bool ok) = 0;
};
