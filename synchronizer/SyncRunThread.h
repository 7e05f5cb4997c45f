// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/PWInfo.h"
#include "synchronizer/SyncRun.h"
#include "synchronizer/SyncUi.h"

#include <QEvent>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

// One run on a thread of its own, so that it connects, reads and scans while the toolkit and
// the window start: those take longer than a whole run over unchanged files. The run's steps
// still follow one another in the order the engine's events arrive, on that one thread. What
// it shows goes to the window in order, and it waits for every answer, so its prompts and
// reports stay modal.
class CSyncRunThread final : private QThread, private CEngineEventSink {
public:
    // Posted to the window when what the run asked for waits to be shown (ApplyUiCalls).
    static constexpr QEvent::Type kUiCallsEvent = static_cast<QEvent::Type>(QEvent::User + 0x5D0);

    explicit CSyncRunThread(CSyncRunSettings settings);
    ~CSyncRunThread() override;
    CSyncRunThread(const CSyncRunThread&) = delete;
    CSyncRunThread& operator=(const CSyncRunThread&) = delete;

    // Starts the run; it may begin before the application object exists.
    void Begin();

    // User-interface thread, from here on.
    // The window that shows the run: it is posted kUiCallsEvent, and at once when calls already
    // wait. Null detaches it; calls then wait for the next window.
    void SetWindow(QObject* window);
    // Makes the calls the run made on ui, in order; a prompt's answer goes back to the run.
    void ApplyUiCalls(ISyncUi& ui);
    // Stop: the run ends as CSyncRun::Stop says, and closes the window when it has.
    void RequestStop();
    // The run gives up waiting for the handheld; the window goes by itself.
    void Abandon();
    // Ends the run when it has not ended (as Stop, then abandoned after `wait`) and then the
    // thread; from then on the run's prompts and reports go unanswered. The owner the run found.
    QString Finish(std::chrono::milliseconds wait);

private:
    class CRelay;
    struct CItem {
        EngineEvent event = EngineEvent::Status;
        int32_t result = 0;
        std::function<void()> command;
        bool quit = false;
    };
    struct CUiCall {
        std::function<void(ISyncUi&)> call;
        bool* made = nullptr;  // the run waits for it to be set (under m_mutex)
    };

    void run() override;
    void Push(CItem item);
    // Run thread. Queues call for the window; with wait, returns once it was made or the
    // window side is gone, and meanwhile takes the engine's events as a modal dialog's own loop
    // would.
    void CallUi(std::function<void(ISyncUi&)> call, bool wait);
    void MarkClosed();

    // Engine thread: queued for the run's thread; the run takes no step on a status.
    int32_t Deliver(EngineEvent event, int32_t result, int32_t /*first*/) override {
        if (event != EngineEvent::Status)
            Push({event, result, {}, false});
        return 0;
    }

    CSyncRunSettings m_settings;
    std::unique_ptr<CRelay> m_relay;
    std::unique_ptr<CSyncRun> m_run;  // lives on the run's thread only
    QString m_owner;                  // set as the thread ends
    bool m_begun = false;

    // The run's queue and the window side: calls waiting, the answers, whether the run closed.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CItem> m_queue;
    std::vector<CUiCall> m_uiCalls;
    QObject* m_window = nullptr;
    bool m_notified = false;
    bool m_detached = false;
    std::atomic<bool> m_closed = false;
};
