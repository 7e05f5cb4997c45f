// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <QEvent>

#include <atomic>

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
};

class CEngineEvent : public QEvent {
public:
    // first: the message's first parameter (0 except for OnStatus); result: its second.
    CEngineEvent(EngineEvent event, int32_t result, int32_t first = 0)
        : QEvent(static_cast<QEvent::Type>(event)), m_result(result), m_first(first) {}
    EngineEvent Event() const { return static_cast<EngineEvent>(type()); }
    int32_t Result() const { return m_result; }
    int32_t First() const { return m_first; }
    static bool IsEngineEvent(const QEvent* e) {
        return e->type() >= static_cast<int>(EngineEvent::Initialized) &&
               e->type() <= static_cast<int>(EngineEvent::RemoteFileClosed);
    }

private:
    int32_t m_result;
    int32_t m_first;
};

// The run's event sink. Called on an engine thread, it only posts each event to the
// window, where the run takes its next step on the user-interface thread.
class CPWInfo : public IEpocEngineEvents {
public:
    explicit CPWInfo(QObject* window = nullptr) : m_window(window) {}
    void SetWindow(QObject* window) { m_window = window; }

    int32_t OnInitialized(int32_t result) override { return Post(EngineEvent::Initialized, result); }
    int32_t OnConnected(int32_t result) override { return Post(EngineEvent::Connected, result); }
    int32_t OnDisconnected(int32_t result) override { return Post(EngineEvent::Disconnected, result); }
    int32_t OnRemoteFileOpened(int32_t result) override { return Post(EngineEvent::RemoteFileOpened, result); }
    int32_t OnCopyDone(int32_t result) override { return Post(EngineEvent::CopyDone, result); }
    int32_t OnRemoteFileClosed(int32_t result) override { return Post(EngineEvent::RemoteFileClosed, result); }
    int32_t OnStatus(int32_t a, int32_t b, int32_t c) override;
    int32_t OnMachineReady(int32_t result) override { return Post(EngineEvent::MachineReady, result); }
    int32_t OnSessionReady(int32_t result) override { return Post(EngineEvent::SessionReady, result); }
    int32_t OnRemoteFileBusy(int32_t result) override { return Post(EngineEvent::RemoteFileBusy, result); }

private:
    int32_t Post(EngineEvent event, int32_t result, int32_t first = 0);

    // The run detaches the sink from the engine before the window goes, so no event is
    // posted to a destroyed window.
    std::atomic<QObject*> m_window;
};
