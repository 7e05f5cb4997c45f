// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"
#include "scheduler/AutoSynchEntry.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

class IProgramStarter;
class CSchedulerEventSink;

// Automatic synchronization: follows the handheld through the engine and starts the
// programs that its owner's "AutoSynchApps" entries name, each time it connects or when a
// daily or weekly entry is due. Runs on the thread that owns it; engine events are posted
// to that thread. Every failure (no store, no engine, no owner) is retried at the next tick.
class CScheduler final : public QObject {
    Q_OBJECT
public:
    using EngineFactory = std::function<std::unique_ptr<IEpocEngine>()>;
    using Logger = std::function<void(const QString&)>;

    // The starter must outlive the scheduler. logger may be empty (silent).
    CScheduler(EngineFactory engineFactory, IProgramStarter& starter, Logger logger,
               std::chrono::milliseconds tickInterval = std::chrono::seconds(5), QObject* parent = nullptr);
    ~CScheduler() override;

    // Creates the engine and starts the ticks.
    void Start();

    bool IsConnected() const { return m_connected; }
    const std::vector<AutoSynchEntry>& Entries() const { return m_entries; }

private:
    friend class CSchedulerEventSink;

    enum class Trigger { Connected, Tick };

    void Tick();
    void RereadEntries();
    void CreateEngine();
    void DropEngine();
    void ResetConnection();
    void RequestMachine();
    void Evaluate(Trigger trigger);
    void StartEntry(const AutoSynchEntry& entry, const QString& reason);
    void Log(const QString& line) const;

    void HandleInitialized(int32_t result);
    void HandleConnected(int32_t result);
    void HandleDisconnected();
    void HandleMachineReady(int32_t result, uint64_t generation);

    EngineFactory m_engineFactory;
    IProgramStarter& m_starter;
    Logger m_logger;
    QTimer m_timer;

    std::unique_ptr<CSchedulerEventSink> m_sink;
    std::unique_ptr<IEpocEngine> m_engine;
    bool m_initialized = false;
    uint64_t m_engineGeneration = 0;

    std::vector<AutoSynchEntry> m_entries;
    bool m_storeFailing = false;
    int m_lastSkippedCount = -1;

    // The current connection; the generation tells stale machine answers apart.
    bool m_connected = false;
    uint64_t m_generation = 0;
    std::unique_ptr<IEpocMachine> m_machineRequest;
    uint64_t m_machineRequestGeneration = 0;
    std::optional<std::pair<uint32_t, uint32_t>> m_machineId;  // the words at 0x24 and 0x20
    QString m_owner;
    bool m_ownerMissingLogged = false;
    bool m_connectStartsPending = false;
    // Entries started in this connection ("user\name", lower case) with the "LastSynch" they
    // had then: a time-driven entry is started again only once its stamp has moved.
    std::map<QString, std::optional<uint32_t>> m_started;
    // Entries whose program was found still running, so the verbose log says so once.
    std::set<QString> m_waitLogged;
    // Connection starts of this connection held back while an earlier run still goes on.
    std::set<QString> m_connectStartsWaiting;
};
