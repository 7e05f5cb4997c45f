// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <QEvent>

#include <atomic>
#include <chrono>
#include <mutex>

class QObject;

// The engine events as the window receives them: the event type is the message number.
enum class EngineEvent : int {
    Initialized = 0xD50,
    Connected = 0xD51,
    Disconnected = 0xD52,
    CopyDone = 0xD53,
    Status = 0xD54,
    MachineReady = 0xD55,
    RemoteFileOpened = 0xD56,
    SessionReady = 0xD57,
    RemoteFileBusy = 0xD58,
    RemoteFileClosed = 0xD59,
    CopiesDurable = 0xD5A,
    FingerprintRead = 0xD5B,
    RemoteFilesLooked = 0xD5C,
};

class CEngineEvent : public QEvent {
public:
    // first: the message's first parameter (0 except for OnStatus); result: its second.
    CEngineEvent(EngineEvent event, int32_t result, int32_t first = 0, const void* sender = nullptr)
        : QEvent(static_cast<QEvent::Type>(event)), m_result(result), m_first(first), m_sender(sender) {}
    EngineEvent Event() const { return static_cast<EngineEvent>(type()); }
    int32_t Result() const { return m_result; }
    int32_t First() const { return m_first; }
    // The sink that posted the event, if one did.
    const void* Sender() const { return m_sender; }
    static bool IsEngineEvent(const QEvent* e) {
        return e->type() >= static_cast<int>(EngineEvent::Initialized) &&
               e->type() <= static_cast<int>(EngineEvent::RemoteFilesLooked);
    }

private:
    int32_t m_result;
    int32_t m_first;
    const void* m_sender;
};

// The engine's events as one call: each On… method hands its event to Deliver, on the
// engine's thread. OnStatus hands the low 16 bits of its third argument as the result and its
// second as `first`.
class CEngineEventSink : public IEpocEngineEvents {
public:
    int32_t OnInitialized(int32_t result) override { return Deliver(EngineEvent::Initialized, result, 0); }
    int32_t OnConnected(int32_t result) override { return Deliver(EngineEvent::Connected, result, 0); }
    int32_t OnDisconnected(int32_t result) override { return Deliver(EngineEvent::Disconnected, result, 0); }
    int32_t OnRemoteFileOpened(int32_t result) override { return Deliver(EngineEvent::RemoteFileOpened, result, 0); }
    int32_t OnCopyDone(int32_t result) override { return Deliver(EngineEvent::CopyDone, result, 0); }
    int32_t OnRemoteFileClosed(int32_t result) override { return Deliver(EngineEvent::RemoteFileClosed, result, 0); }
    int32_t OnStatus(int32_t a, int32_t b, int32_t c) override;
    int32_t OnMachineReady(int32_t result) override { return Deliver(EngineEvent::MachineReady, result, 0); }
    int32_t OnSessionReady(int32_t result) override { return Deliver(EngineEvent::SessionReady, result, 0); }
    int32_t OnRemoteFileBusy(int32_t result) override { return Deliver(EngineEvent::RemoteFileBusy, result, 0); }
    int32_t OnCopiesDurable(int32_t result) override { return Deliver(EngineEvent::CopiesDurable, result, 0); }
    int32_t OnFingerprintRead(int32_t result) override { return Deliver(EngineEvent::FingerprintRead, result, 0); }
    int32_t OnRemoteFilesLooked(int32_t result) override { return Deliver(EngineEvent::RemoteFilesLooked, result, 0); }

protected:
    virtual int32_t Deliver(EngineEvent event, int32_t result, int32_t first) = 0;
};

// An event sink that posts each event to a receiver (a plan's), where the run takes its
// next step on the receiver's thread. A receiver that has just
// issued an operation may instead wait briefly for its event (WaitForNext): the event is
// then handed over directly, which saves a wake-up and a pass of the event loop per
// operation. Events keep their order either way.
class CPWInfo : public CEngineEventSink {
public:
    struct Handed {
        EngineEvent event;
        int32_t result;
        int32_t first;
    };

    explicit CPWInfo(QObject* window = nullptr) : m_window(window) {}
    void SetWindow(QObject* window) { m_window = window; }

    // User-interface thread. Waits up to `budget` for the next event; false when none came
    // or when an earlier event is still on its way through the event queue.
    bool WaitForNext(std::chrono::microseconds budget, Handed& handed);
    // User-interface thread: a posted event of this sink (Sender() == this) was received.
    void Received();

private:
    int32_t Deliver(EngineEvent event, int32_t result, int32_t first) override;

    // The run detaches the sink from the engine before the window goes, so no event is
    // posted to a destroyed window.
    std::atomic<QObject*> m_window;

    std::mutex m_mutex;
    int m_posted = 0;        // posted and not received yet
    bool m_waiting = false;  // the window waits in WaitForNext
    bool m_hasHanded = false;
    Handed m_handed{};
    std::atomic<bool> m_arrived = false;  // m_hasHanded, read without the lock while waiting
};
