// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synchronizer/SyncRun.h"
#include "synchronizer/SyncUi.h"

#include <QDialog>

#include <memory>

class CAnimateCtrl;
class CSyncRunThread;
class CTextProgressCtrl;
class QEventLoop;
class QPushButton;

// The synchronizer's window: animation, progress bar and Stop. It shows what the run, on a
// thread of its own, asks for; the ISyncUi calls below are made on this window's thread.
class CSyncDlg : public QDialog, public ISyncUi {
    Q_OBJECT
public:
    // Shows a run already begun (it may have asked for things meanwhile).
    CSyncDlg(std::shared_ptr<CSyncRunThread> run, const QString& title, QWidget* parent = nullptr);
    // Begins a run of its own.
    explicit CSyncDlg(CSyncRunSettings settings, QWidget* parent = nullptr);
    ~CSyncDlg() override;

    // Shows the window modally until the run ends.
    int Run();
    // Once the window has closed: ends the run's thread; the owner the run found.
    QString Finish();

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
    CSyncDlg(const QString& title, QWidget* parent);

    std::shared_ptr<CSyncRunThread> m_run;
    CAnimateCtrl* m_animation = nullptr;
    CTextProgressCtrl* m_progress = nullptr;
    QPushButton* m_stop = nullptr;
    bool m_closed = false;
    QEventLoop* m_hiddenLoop = nullptr;  // runs while the window is hidden and the run goes on
};
