// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/PWInfo.h"
#include "synchronizer/SyncRun.h"
#include "synchronizer/SyncUi.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class QEventLoop;

// A plan run without a window: receives the engine's events as posted events in a local event
// loop, and answers nothing, since a plan asks nothing.
class CSyncPlanner : public QObject, private ISyncUi {
public:
    struct Result {
        bool made = false;  // false: no plan, the messages say why when the run said so
        std::vector<CPlanEntry> plan;
        QStringList messages;
    };
    // settings.planOnly is set here. Returns once the run has ended.
    static Result MakePlan(CSyncRunSettings settings);

protected:
    void customEvent(QEvent* event) override;

private:
    CSyncPlanner() = default;
    // A run that stalls waits for a Stop nobody gives.
    void EndIfStalled();

    void ShowMessage(const QString& text, MessageIcon icon) override;
    void Beep() override {}
    BothChangedAnswer AskBothChanged(const QString&, const QString&, const QString&, const QString&) override {
        return BothChangedAnswer::LeaveBoth;
    }
    RecentSyncAnswer AskRecentSync(const QString&, const QString&, const QString&) override {
        return RecentSyncAnswer::DoNotSynchronize;
    }
    CopyErrorAnswer AskCopyError(const QString&, const QString&) override { return CopyErrorAnswer::Stop; }
    void SetProgressText(const QString&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressStep(int) override {}
    void SetProgressPos(int) override {}
    void StepProgress() override {}
    void PlayAnimation(const QString&) override {}
    void StopAnimation() override {}
    void HideWindow() override {}
    void DisableStop() override {}
    void ShowCompletion(const QString&, bool) override {}
    void CloseWindow(bool ok) override;

    CPWInfo m_sink;
    std::unique_ptr<CSyncRun> m_run;
    QEventLoop* m_loop = nullptr;
    bool m_closed = false;
    bool m_ok = false;
    QStringList m_messages;
};
