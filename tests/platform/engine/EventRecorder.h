// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct RecordedEvent {
    std::string name;
    int32_t result = 0;
    int32_t b = 0;
    int32_t c = 0;
    std::thread::id thread;
};

// An event sink that queues what it receives, for tests to wait on.
class CEventRecorder : public IEpocEngineEvents {
public:
    int32_t OnInitialized(int32_t r) override { return Add("Initialized", r); }
    int32_t OnConnected(int32_t r) override { return Add("Connected", r); }
    int32_t OnDisconnected(int32_t r) override { return Add("Disconnected", r); }
    int32_t OnRemoteFileOpened(int32_t r) override { return Add("Opened", r); }
    int32_t OnCopyDone(int32_t r) override { return Add("CopyDone", r); }
    int32_t OnRemoteFileClosed(int32_t r) override { return Add("Closed", r); }
    int32_t OnStatus(int32_t a, int32_t b, int32_t c) override { return Add("Status", a, b, c); }
    int32_t OnMachineReady(int32_t r) override { return Add("MachineReady", r); }
    int32_t OnSessionReady(int32_t r) override { return Add("SessionReady", r); }
    int32_t OnRemoteFileBusy(int32_t r) override { return Add("Busy", r); }
    int32_t OnCopiesDurable(int32_t r) override { return Add("CopiesDurable", r); }
    int32_t OnFingerprintRead(int32_t r) override { return Add("FingerprintRead", r); }
    int32_t OnRemoteFilesLooked(int32_t r) override { return Add("Looked", r); }

    // The next event, or nothing when none came within the timeout.
    std::optional<RecordedEvent> Next(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_for(lock, timeout, [this] { return !m_events.empty(); }))
            return std::nullopt;
        RecordedEvent event = m_events.front();
        m_events.pop_front();
        return event;
    }

    int Total() {
        std::lock_guard lock(m_mutex);
        return m_total;
    }

private:
    int32_t Add(const char* name, int32_t r, int32_t b = 0, int32_t c = 0) {
        // Notified under the lock: a test may destroy the recorder as soon as it sees the event.
        std::lock_guard lock(m_mutex);
        m_events.push_back({name, r, b, c, std::this_thread::get_id()});
        ++m_total;
        m_arrived.notify_all();
        return 0;
    }

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<RecordedEvent> m_events;
    int m_total = 0;
};
