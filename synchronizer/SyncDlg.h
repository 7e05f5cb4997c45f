// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/PWInfo.h"
#include "synchronizer/SyncRun.h"
#include "synchronizer/SyncUi.h"

#include <QDialog>

#include <memory>

class CAnimateCtrl;
class CTextProgressCtrl;
class QPushButton;

// The synchronizer's window: animation, progress bar and Stop. It owns the run, receives
// the engine's events as posted events and shows what the run asks for.
class CSyncDlg : public QDialog, public ISyncUi {
    Q_OBJECT
public:
    explicit CSyncDlg(CSyncRunSettings settings, QWidget* parent = nullptr);
    ~CSyncDlg() override;

    // Shows the window modally until the run ends; returns at once when the run already
    // ended while the window was being set up.
    int Run();
    QString Owner() const { return m_run->Owner(); }
    const CSyncRun& GetRun() const { return *m_run; }

    void ShowMessage(const QString& text, MessageIcon icon) override;
    void Beep() override;
    BothChangedAnswer AskBothChanged(const QString& pcPath, const QString& pcTime, const QString& epocPath,
                                     const QString& epocTime) override;
    RecentSyncAnswer AskRecentSync(const QString& pcPath, const QString& epocPath,
                                   const QString& lastSyncTime) override;
    CopyErrorAnswer AskCopyError(const QString& destination, const QString& reason) override;
    void SetProgressText(const QString& text) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressStep(int step) override;
    void SetProgressPos(int pos) override;
    void StepProgress() override;
    void PlayAnimation(const QString& clipPath) override;
    void StopAnimation() override;
    void HideWindow() override;
    void DisableStop() override;
    void ShowCompletion(const QString& logPath, bool errorsOccurred) override;
    void CloseWindow(bool ok) override;

    // Stop: ends the run; copies already made are first made durable and marked.
    void reject() override;

protected:
    void customEvent(QEvent* event) override;

private:
    CPWInfo m_sink;
    std::unique_ptr<CSyncRun> m_run;
    CAnimateCtrl* m_animation = nullptr;
    CTextProgressCtrl* m_progress = nullptr;
    QPushButton* m_stop = nullptr;
    bool m_closed = false;
};
