// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncRunThread.h"

#include <QCoreApplication>

// The run's side of the window: each call is queued for the window in order; a prompt waits for
// its answer, and is answered as cancelled once no window will ever show it.
class CSyncRunThread::CRelay final : public ISyncUi {
public:
    explicit CRelay(CSyncRunThread& owner) : m_owner(owner) {}

    void ShowMessage(const QString& text, MessageIcon icon) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.ShowMessage(text, icon); }, true);
    }
    void Beep() override {
        m_owner.CallUi([](ISyncUi& ui) { ui.Beep(); }, false);
    }
    BothChangedAnswer AskBothChanged(const QString& pcPath, const QString& pcTime, const QString& epocPath,
                                     const QString& epocTime) override {
        BothChangedAnswer answer = BothChangedAnswer::LeaveBoth;
        m_owner.CallUi([&](ISyncUi& ui) { answer = ui.AskBothChanged(pcPath, pcTime, epocPath, epocTime); }, true);
        return answer;
    }
    RecentSyncAnswer AskRecentSync(const QString& pcPath, const QString& epocPath,
                                   const QString& lastSyncTime) override {
        RecentSyncAnswer answer = RecentSyncAnswer::DoNotSynchronize;
        m_owner.CallUi([&](ISyncUi& ui) { answer = ui.AskRecentSync(pcPath, epocPath, lastSyncTime); }, true);
        return answer;
    }
    CopyErrorAnswer AskCopyError(const QString& destination, const QString& reason) override {
        CopyErrorAnswer answer = CopyErrorAnswer::Stop;
        m_owner.CallUi([&](ISyncUi& ui) { answer = ui.AskCopyError(destination, reason); }, true);
        return answer;
    }
    void SetProgressText(const QString& text) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.SetProgressText(text); }, false);
    }
    void SetProgressRange(int lower, int upper) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.SetProgressRange(lower, upper); }, false);
    }
    void SetProgressStep(int step) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.SetProgressStep(step); }, false);
    }
    void SetProgressPos(int pos) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.SetProgressPos(pos); }, false);
    }
    void StepProgress() override {
        m_owner.CallUi([](ISyncUi& ui) { ui.StepProgress(); }, false);
    }
    void PlayAnimation(const QString& clipPath) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.PlayAnimation(clipPath); }, false);
    }
    void StopAnimation() override {
        m_owner.CallUi([](ISyncUi& ui) { ui.StopAnimation(); }, false);
    }
    void HideWindow() override {
        m_owner.CallUi([](ISyncUi& ui) { ui.HideWindow(); }, false);
    }
    void DisableStop() override {
        m_owner.CallUi([](ISyncUi& ui) { ui.DisableStop(); }, false);
    }
    void ShowCompletion(const QString& logPath, bool errorsOccurred) override {
        m_owner.CallUi([=](ISyncUi& ui) { ui.ShowCompletion(logPath, errorsOccurred); }, true);
    }
    void CloseWindow(bool ok) override {
        m_owner.MarkClosed();
        m_owner.CallUi([=](ISyncUi& ui) { ui.CloseWindow(ok); }, false);
    }

private:
    CSyncRunThread& m_owner;
};

CSyncRunThread::CSyncRunThread(CSyncRunSettings settings)
    : m_settings(std::move(settings)), m_relay(std::make_unique<CRelay>(*this)) {}

CSyncRunThread::~CSyncRunThread() {
    Finish(std::chrono::milliseconds(0));
}

void CSyncRunThread::Begin() {
    if (std::exchange(m_begun, true))
        return;
    start();
}

void CSyncRunThread::run() {
    m_run = std::make_unique<CSyncRun>(*m_relay, std::move(m_settings));
    m_run->Initialise(this);
    for (;;) {
        CItem item;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty(); });
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (item.quit)
            break;
        if (item.command)
            item.command();
        else if (!m_closed)
            m_run->HandleEvent(item.event, item.result);
    }
    m_owner = m_run->Owner();
    m_run.reset();  // detaches the engine from this sink, then releases it
}

void CSyncRunThread::Push(CItem item) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(item));
    }
    m_changed.notify_all();
}

void CSyncRunThread::CallUi(std::function<void(ISyncUi&)> call, bool wait) {
    std::unique_lock lock(m_mutex);
    if (m_detached)
        return;
    // Its own flag: a prompt that an event taken meanwhile opens on top of this one is answered
    // first.
    bool made = false;
    m_uiCalls.push_back({std::move(call), wait ? &made : nullptr});
    if (m_window && !std::exchange(m_notified, true))
        QCoreApplication::postEvent(m_window, new QEvent(kUiCallsEvent));
    while (wait && !m_detached && !made) {
        // The handheld going away while a prompt is open is said when it happens.
        if (!m_queue.empty() && !m_queue.front().command && !m_queue.front().quit) {
            const CItem item = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            if (!m_closed)
                m_run->HandleEvent(item.event, item.result);
            lock.lock();
            continue;
        }
        m_changed.wait(lock);
    }
}

void CSyncRunThread::MarkClosed() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

void CSyncRunThread::SetWindow(QObject* window) {
    std::lock_guard lock(m_mutex);
    m_window = window;
    m_notified = false;
    if (m_window && !m_uiCalls.empty()) {
        m_notified = true;
        QCoreApplication::postEvent(m_window, new QEvent(kUiCallsEvent));
    }
}

void CSyncRunThread::ApplyUiCalls(ISyncUi& ui) {
    for (;;) {
        std::vector<CUiCall> calls;
        {
            std::lock_guard lock(m_mutex);
            m_notified = false;
            if (m_detached || m_uiCalls.empty())
                return;
            calls.swap(m_uiCalls);
        }
        for (CUiCall& call : calls) {
            call.call(ui);
            if (call.made) {
                {
                    std::lock_guard lock(m_mutex);
                    *call.made = true;
                }
                m_changed.notify_all();
            }
        }
    }
}

void CSyncRunThread::RequestStop() {
    Push({EngineEvent::Status, 0, [this] {
              if (!m_closed && !m_run->Stop())
                  m_relay->CloseWindow(false);
          }});
}

void CSyncRunThread::Abandon() {
    Push({EngineEvent::Status, 0, [this] {
              if (m_closed)
                  return;
              m_run->Abandon();
              MarkClosed();
          }});
}

QString CSyncRunThread::Finish(std::chrono::milliseconds wait) {
    if (!m_begun || isFinished())
        return m_owner;
    {
        std::lock_guard lock(m_mutex);
        m_detached = true;
        m_window = nullptr;
        m_uiCalls.clear();
    }
    m_changed.notify_all();
    if (!m_closed) {
        RequestStop();
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, wait, [this] { return m_closed.load(); });
    }
    Abandon();
    Push({EngineEvent::Status, 0, {}, true});
    QThread::wait();
    return m_owner;
}
