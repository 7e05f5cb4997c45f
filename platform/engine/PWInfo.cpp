// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/PWInfo.h"

#include <QCoreApplication>

#include <thread>

int32_t CEngineEventSink::OnStatus(int32_t /*a*/, int32_t b, int32_t c) {
    return Deliver(EngineEvent::Status, static_cast<int32_t>(static_cast<uint32_t>(c) & 0xFFFFu), b);
}

int32_t CPWInfo::Deliver(EngineEvent event, int32_t result, int32_t first) {
    QObject* window = m_window.load();
    if (!window)
        return 0;
    std::lock_guard lock(m_mutex);
    if (m_waiting && !m_hasHanded) {
        m_handed = {event, result, first};
        m_hasHanded = true;
        m_arrived.store(true, std::memory_order_release);
        return 0;
    }
    ++m_posted;
    QCoreApplication::postEvent(window, new CEngineEvent(event, result, first, this));
    return 0;
}

bool CPWInfo::WaitForNext(std::chrono::microseconds budget, Handed& handed) {
    {
        std::lock_guard lock(m_mutex);
        // An event still in the queue goes first; a later one handed over would overtake it.
        if (m_posted > 0)
            return false;
        m_waiting = true;
    }
    // The engine's worker runs on another core; yielding leaves this one to anyone who needs it.
    const auto until = std::chrono::steady_clock::now() + budget;
    while (!m_arrived.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    std::lock_guard lock(m_mutex);
    m_waiting = false;
    if (!m_hasHanded)
        return false;
    handed = m_handed;
    m_hasHanded = false;
    m_arrived.store(false, std::memory_order_relaxed);
    return true;
}

void CPWInfo::Received() {
    std::lock_guard lock(m_mutex);
    if (m_posted > 0)
        --m_posted;
}
