// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/Scheduler.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "scheduler/ProgramStarter.h"
#include "scheduler/SchedulePolicy.h"

#include <QMetaObject>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

constexpr int32_t kConnectTimeoutMs = 30000;
constexpr int32_t kMachineKind = 2;

QString EntryKey(const AutoSynchEntry& entry) {
    return (entry.user + u'\\' + entry.name).toLower();
}

QString FrequencyText(SynchFrequency frequency) {
    switch (frequency) {
        case SynchFrequency::OnConnect:
            return u"on connection"_s;
        case SynchFrequency::Daily:
            return u"daily"_s;
        case SynchFrequency::Weekly:
            return u"weekly"_s;
        case SynchFrequency::Off:
            break;
    }
    return u"off"_s;
}

}  // namespace

// Engine events arrive on the engine's thread; each is handed to the scheduler's thread.
class CSchedulerEventSink final : public IEpocEngineEvents {
public:
    CSchedulerEventSink(CScheduler* target, uint64_t engineGeneration)
        : m_target(target), m_engineGeneration(engineGeneration) {}

    int32_t OnInitialized(int32_t result) override {
        return Post([result](CScheduler& s) { s.HandleInitialized(result); });
    }
    int32_t OnConnected(int32_t result) override {
        return Post([result](CScheduler& s) { s.HandleConnected(result); });
    }
    int32_t OnDisconnected(int32_t) override {
        return Post([](CScheduler& s) { s.HandleDisconnected(); });
    }
    int32_t OnMachineReady(int32_t result) override {
        return Post([result](CScheduler& s) { s.HandleMachineReady(result, s.m_machineRequestGeneration); });
    }
    int32_t OnRemoteFileOpened(int32_t) override { return 0; }
    int32_t OnCopyDone(int32_t) override { return 0; }
    int32_t OnRemoteFileClosed(int32_t) override { return 0; }
    int32_t OnStatus(int32_t, int32_t, int32_t) override { return 0; }
    int32_t OnSessionReady(int32_t) override { return 0; }
    int32_t OnRemoteFileBusy(int32_t) override { return 0; }
    int32_t OnCopiesDurable(int32_t) override { return 0; }

private:
    // The target as context: a call still queued when the scheduler goes is dropped, and so
    // is one from an engine that has been replaced meanwhile.
    template <typename F>
    int32_t Post(F step) {
        CScheduler* target = m_target;
        const uint64_t generation = m_engineGeneration;
        QMetaObject::invokeMethod(
            target,
            [target, generation, step] {
                if (target->m_engineGeneration == generation)
                    step(*target);
            },
            Qt::QueuedConnection);
        return 0;
    }

    CScheduler* m_target;
    uint64_t m_engineGeneration;
};

CScheduler::CScheduler(EngineFactory engineFactory, IProgramStarter& starter, Logger logger,
                       std::chrono::milliseconds tickInterval, QObject* parent)
    : QObject(parent), m_engineFactory(std::move(engineFactory)), m_starter(starter), m_logger(std::move(logger)) {
    m_timer.setInterval(tickInterval);
    connect(&m_timer, &QTimer::timeout, this, &CScheduler::Tick);
}

CScheduler::~CScheduler() {
    DropEngine();
}

void CScheduler::Start() {
    RereadEntries();
    CreateEngine();
    m_timer.start();
}

void CScheduler::Log(const QString& line) const {
    if (m_logger)
        m_logger(line);
}

void CScheduler::Tick() {
    RereadEntries();
    if (!m_engine) {
        CreateEngine();
        return;
    }
    if (m_connected && !m_machineId && !m_machineRequest)
        RequestMachine();
    Evaluate(Trigger::Tick);
}

void CScheduler::RereadEntries() {
    AutoSynchScan scan = ReadAutoSynchEntries();
    if (!scan.ok) {
        // Keep what was read last: a store locked for a moment must not cancel a start.
        if (!m_storeFailing)
            Log(u"the registry cannot be read; trying again later"_s);
        m_storeFailing = true;
        return;
    }
    if (m_storeFailing)
        Log(u"the registry can be read again"_s);
    m_storeFailing = false;
    if (scan.skipped.size() != m_lastSkippedCount) {
        for (const QString& line : std::as_const(scan.skipped))
            Log(u"skipped "_s + line);
        m_lastSkippedCount = int(scan.skipped.size());
    }
    m_entries = std::move(scan.entries);
}

void CScheduler::CreateEngine() {
    m_engine = m_engineFactory ? m_engineFactory() : nullptr;
    if (!m_engine) {
        Log(u"the engine cannot be created; trying again later"_s);
        return;
    }
    m_initialized = false;
    m_sink = std::make_unique<CSchedulerEventSink>(this, ++m_engineGeneration);
    m_engine->SetEventSink(m_sink.get());
}

void CScheduler::DropEngine() {
    if (m_engine)
        m_engine->SetEventSink(nullptr);
    m_machineRequest.reset();
    m_engine.reset();
    m_sink.reset();
    ++m_engineGeneration;
    m_initialized = false;
    ResetConnection();
}

void CScheduler::HandleInitialized(int32_t result) {
    if (!m_engine || m_initialized)
        return;
    if (result != 0) {
        Log(u"the engine failed to start (%1); trying again later"_s.arg(result));
        DropEngine();
        return;
    }
    m_initialized = true;
    m_engine->Connect(kConnectTimeoutMs);
}

void CScheduler::HandleConnected(int32_t result) {
    if (!m_engine)
        return;
    if (result != 0) {
        // The engine keeps following the handheld and reports when it comes.
        if (m_connected)
            HandleDisconnected();
        else
            Log(u"waiting for a handheld (%1)"_s.arg(result));
        return;
    }
    if (m_connected)
        return;
    m_connected = true;
    ++m_generation;
    m_connectStartsPending = true;
    m_started.clear();
    Log(u"handheld connected"_s);
    RequestMachine();
}

void CScheduler::HandleDisconnected() {
    if (m_connected)
        Log(u"handheld disconnected"_s);
    ResetConnection();
}

void CScheduler::ResetConnection() {
    m_connected = false;
    ++m_generation;
    m_machineId.reset();
    m_owner.clear();
    m_ownerMissingLogged = false;
    m_connectStartsPending = false;
    m_started.clear();
    m_waitLogged.clear();
    m_connectStartsWaiting.clear();
}

void CScheduler::RequestMachine() {
    if (!m_engine || m_machineRequest)
        return;
    m_machineRequestGeneration = m_generation;
    std::unique_ptr<IEpocMachine> machine;
    if (m_engine->GetMachine(kMachineKind, machine) != 0 || !machine)
        return;  // asked again at the next tick
    m_machineRequest = std::move(machine);
}

void CScheduler::HandleMachineReady(int32_t result, uint64_t generation) {
    std::unique_ptr<IEpocMachine> machine = std::move(m_machineRequest);
    if (!machine)
        return;
    if (!m_connected)
        return;
    if (generation != m_generation) {
        RequestMachine();  // the answer belongs to an earlier connection
        return;
    }
    MachineInfo info;
    if (result != 0 || machine->GetMachineInfo(info) != 0) {
        Log(u"the handheld's identity cannot be read (%1); trying again later"_s.arg(result));
        return;
    }
    m_machineId = std::make_pair(info.WordAt(0x24), info.WordAt(0x20));
    Evaluate(Trigger::Connected);
}

void CScheduler::Evaluate(Trigger trigger) {
    if (!m_connected || !m_machineId)
        return;
    QString owner;
    if (!FindUserForMachine(m_machineId->first, m_machineId->second, owner) || owner.isEmpty()) {
        if (!m_ownerMissingLogged)
            Log(u"no user profile knows handheld %1; nothing to start"_s.arg(
                FormatMachineId(m_machineId->first, m_machineId->second)));
        m_ownerMissingLogged = true;
        return;
    }
    m_ownerMissingLogged = false;
    if (owner != m_owner)
        Log(u"handheld %1 belongs to %2"_s.arg(FormatMachineId(m_machineId->first, m_machineId->second), owner));
    m_owner = owner;

    // Connection starts go out once, when the owner is first known in this connection.
    const bool connectStarts = std::exchange(m_connectStartsPending, false);
    const bool explain = trigger == Trigger::Connected || connectStarts;
    const uint32_t now = CClock::CurrentSecondsUtc();
    for (const AutoSynchEntry& entry : m_entries) {
        if (entry.user.compare(owner, Qt::CaseInsensitive) != 0)
            continue;
        const QString key = EntryKey(entry);
        const auto started = m_started.find(key);
        if (entry.frequency == SynchFrequency::OnConnect) {
            if ((connectStarts || m_connectStartsWaiting.count(key)) && started == m_started.end())
                StartEntry(entry, u"the handheld connected"_s);
            continue;
        }
        if (!IsSynchDue(entry.frequency, entry.lastSynch, now)) {
            if (explain)
                Log(u"%1\\%2 (%3): not due yet"_s.arg(entry.user, entry.name, FrequencyText(entry.frequency)));
            continue;
        }
        if (started != m_started.end() && started->second == entry.lastSynch)
            continue;  // already started for this stamp; the run did not record a new one
        StartEntry(entry, entry.lastSynch ? u"the last synchronization is old enough"_s : u"it never synchronized"_s);
    }
}

void CScheduler::StartEntry(const AutoSynchEntry& entry, const QString& reason) {
    const QString what = u"%1\\%2 (%3)"_s.arg(entry.user, entry.name, FrequencyText(entry.frequency));
    const QString key = EntryKey(entry);
    if (m_starter.IsRunning(entry.executablePath)) {
        // The run in progress may have begun before this connection (its report still open):
        // the connection gets its own run once that one ends. A due entry is looked at again.
        if (m_waitLogged.insert(key).second)
            Log(u"%1: %2 still runs; started once it ends"_s.arg(what, entry.executablePath));
        if (entry.frequency == SynchFrequency::OnConnect)
            m_connectStartsWaiting.insert(key);
        return;
    }
    m_waitLogged.erase(key);
    m_connectStartsWaiting.erase(key);
    m_started[key] = entry.lastSynch;
    if (m_starter.Start(entry.executablePath))
        Log(u"%1: started %2 because %3"_s.arg(what, entry.executablePath, reason));
    else
        Log(u"%1: %2 could not be started"_s.arg(what, entry.executablePath));
}
