// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/SimEngine.h"

#include "platform/engine/DevicePath.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/FileCopy.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(250);

// Tests slow copies down by this many milliseconds per step, so an unplug lands mid-copy.
int CopyPauseMs() {
    const char* text = std::getenv("DOVETAIL_TEST_COPY_PAUSE_MS");
    return text ? std::max(0, std::atoi(text)) : 0;
}

// "FlushCopies" = 0 turns every flush off, for measurements against tools that flush nothing.
bool FlushesCopies() {
    uint32_t flush = 1;
    CRegistry::Default().GetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::FlushCopies(),
                                   flush);
    return flush != 0;
}

}  // namespace

// Everything the worker thread touches; shared with the thread so that it outlives the
// engine object when the worker has to be detached.
class CSimEngineCore {
public:
    using Event = std::function<void(IEpocEngineEvents&)>;

    void SetSink(IEpocEngineEvents* sink) {
        std::lock_guard lock(m_sinkMutex);
        m_sink = sink;
    }

    void Post(std::function<void()> task) {
        {
            std::lock_guard lock(m_queueMutex);
            if (m_stop)
                return;
            m_queue.push_back(std::move(task));
            m_queued.store(true, std::memory_order_release);
        }
        m_wake.notify_one();
    }

    void Stop() {
        SetSink(nullptr);
        {
            std::lock_guard lock(m_queueMutex);
            m_stop = true;
            m_stopping.store(true, std::memory_order_release);
            m_queue.clear();
        }
        m_wake.notify_one();
    }

    void Run() {
        std::unique_lock lock(m_queueMutex);
        while (!m_stop) {
            if (m_following && Clock::now() >= m_nextPoll) {
                lock.unlock();
                FollowConnection();
                lock.lock();
                continue;
            }
            if (!m_queue.empty()) {
                auto task = std::move(m_queue.front());
                m_queue.pop_front();
                m_queued.store(!m_queue.empty(), std::memory_order_relaxed);
                lock.unlock();
                task();
                StayAwakeForTheNextOperation(m_queued, m_stopping);
                lock.lock();
                continue;
            }
            if (m_following)
                m_wake.wait_until(lock, m_nextPoll);
            else
                m_wake.wait(lock);
        }
    }

    // Delivery holds the sink lock, so SetEventSink(nullptr) returns only once no event is
    // running any more; the lock is recursive because a sink may call back into the engine.
    void Deliver(const Event& event) {
        std::lock_guard lock(m_sinkMutex);
        if (m_sink)
            event(*m_sink);
    }

    // ---- worker-side operations ----

    void Initialize() {
        const int32_t result = ReadFault(SimulatorConfig::FaultInit()) ? EngineError::kInjected : 0;
        Deliver([result](IEpocEngineEvents& sink) { sink.OnInitialized(result); });
    }

    void Connect() {
        bool plugged = false;
        const bool known = ReadPlugged(plugged);
        m_following = true;
        m_lastPlugged = known && plugged;
        m_nextPoll = Clock::now() + kPollInterval;
        const int32_t result = !(known && plugged) ? EngineError::kNotReady : ConnectResult();
        Deliver([result](IEpocEngineEvents& sink) { sink.OnConnected(result); });
    }

    void OpenRemoteFile(const FileSpec& spec, const std::shared_ptr<RemoteFileState>& state) {
        DeviceTarget target;
        int32_t result = ResolveOnDevice(spec, target);
        if (result == 0 && !target.exists)
            result = EngineError::kNotFound;
        if (result == 0) {
            const QString key = BusyKey(spec);
            uint32_t& reported = m_busyReported[key];
            if (reported < ReadFault(SimulatorConfig::FaultBusy())) {
                ++reported;
                m_busyFiles.insert(key);
                Deliver([](IEpocEngineEvents& sink) { sink.OnRemoteFileBusy(0); });
                return;
            }
            std::lock_guard lock(state->mutex);
            if (FillRemoteFileInfo(target, state->info))
                state->open = true;
            else
                result = EngineError::kNotFound;
            state->size = uint64_t(target.status.st_size);
        }
        Deliver([result](IEpocEngineEvents& sink) { sink.OnRemoteFileOpened(result); });
    }

    // Files reported busy and closes that fail happen only one by one.
    bool LooksAtOnce() const {
        return ReadFault(SimulatorConfig::FaultBusy()) == 0 && ReadFault(SimulatorConfig::FaultCloseFail()) == 0;
    }

    void LookAt(const FileSpec& spec, const CKnownFile& known, CLookedFile& looked) const {
        DeviceTarget target;
        looked.result = ResolveOnDevice(spec, target);
        if (looked.result == 0)
            LookAtDeviceEntry(target, known, looked);
    }

    void CancelCopies() { m_cancelCopies.store(true, std::memory_order_release); }

    void CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite,
                  const CKnownFile* seen = nullptr) {
        const auto cancelled = [this] { return m_cancelCopies.load(std::memory_order_acquire); };
        int32_t result = cancelled()                                   ? EngineError::kCancelled
                         : TakeFault(SimulatorConfig::FaultCopyFail()) ? EngineError::kInjected
                                                                       : 0;
        EngineCopy copy;
        if (result == 0)
            result = OpenEngineCopy(source, destination, overwrite, Resolver(), copy, seen);
        if (result == 0) {
            // Unplugging ends a copy under way, as pulling a stick does: nothing is renamed.
            const auto goOn = [this, cancelled] {
                if (cancelled())
                    return false;
                if (m_copyPauseMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_copyPauseMs));
                bool plugged = true;
                return !ReadPlugged(plugged) || plugged;
            };
            CContentHasher hasher;
            struct stat written {};
            result =
                CopyIntoFolder(copy.source.Get(), copy.sourceStatus, copy.DestinationFolder(), copy.destinationName,
                               CopyOptions{FlushesCopies() ? CopyFlush::Yes : CopyFlush::No, goOn,
                                           copy.destinationOnHandheld, NameFlush::Deferred, &hasher, &written});
            if (result == EngineError::kNotReady && cancelled())
                result = EngineError::kCancelled;
            if (result == 0) {
                m_written.Add(destination, copy.DestinationFolder());
                m_facts.SetCopy(true, {uint64_t(written.st_size),
                                       EngineFileTime(copy.destinationOnHandheld, written.st_mtim), hasher.Digest()});
            }
        }
        if (result != 0)
            m_facts.SetCopy(false, {});
        Deliver([result](IEpocEngineEvents& sink) { sink.OnCopyDone(result); });
    }

    void ReadFingerprint(const FileSpec& spec) {
        CFileFacts facts;
        const int32_t result = FingerprintEngineFile(spec, Resolver(), facts);
        m_facts.SetPrint(result == 0, facts);
        Deliver([result](IEpocEngineEvents& sink) { sink.OnFingerprintRead(result); });
    }

    void MakeCopiesDurable() {
        int32_t result = 0;
        if (!FlushesCopies())
            m_written.Clear();
        else
            result = m_written.Flush(Resolver());
        Deliver([result](IEpocEngineEvents& sink) { sink.OnCopiesDurable(result); });
    }

    void CloseRemoteFile(const FileSpec& spec, bool force) {
        int32_t result = TakeFault(SimulatorConfig::FaultCloseFail()) ? EngineError::kInjected : 0;
        if (result == 0) {
            DeviceTarget target;
            result = ResolveOnDevice(spec, target);
            // Forcing succeeds even for a file that has gone meanwhile.
            if (result == 0 && !target.exists && !force)
                result = EngineError::kNotFound;
        }
        Deliver([result](IEpocEngineEvents& sink) { sink.OnRemoteFileClosed(result); });
    }

    void AttachRemote(int32_t mode) {
        bool plugged = false;
        const int32_t result = ReadPlugged(plugged) && plugged ? 0 : EngineError::kNotReady;
        Deliver([=](IEpocEngineEvents& sink) { sink.OnStatus(result, mode, plugged ? 1 : 0); });
    }

    void GetMachine(const std::shared_ptr<MachineState>& state) {
        bool plugged = false;
        int32_t result = ReadPlugged(plugged) && plugged ? 0 : EngineError::kNotReady;
        if (result == 0) {
            const auto [low, high] = MachineId();
            SetMachineId(*state, low, high);
        }
        Deliver([result](IEpocEngineEvents& sink) { sink.OnMachineReady(result); });
    }

    void BeginSession() {
        bool plugged = false;
        const int32_t result = ReadPlugged(plugged) && plugged ? 0 : EngineError::kNotReady;
        if (result == 0)
            m_pinned = MachineId();
        Deliver([result](IEpocEngineEvents& sink) { sink.OnSessionReady(result); });
    }

    void ReleaseRemoteFile(const FileSpec& spec) {
        const QString key = BusyKey(spec);
        if (key.isEmpty() || !m_busyFiles.count(key))
            return;
        CRegistry& registry = CRegistry::Default();
        uint32_t count = 0;
        registry.GetNumber(RegRoot::LocalMachine, SimulatorConfig::LogKey(), SimulatorConfig::ReleasedCount(), count);
        registry.SetNumber(RegRoot::LocalMachine, SimulatorConfig::LogKey(), SimulatorConfig::ReleasedCount(),
                           count + 1);
        QByteArray path;
        FileSpecPath(spec, path);
        registry.SetString(RegRoot::LocalMachine, SimulatorConfig::LogKey(), SimulatorConfig::LastReleased(),
                           QString::fromUtf8(path));
    }

private:
    void FollowConnection() {
        m_nextPoll = Clock::now() + kPollInterval;
        bool plugged = false;
        // A store that cannot be read says nothing about the handheld.
        if (!ReadPlugged(plugged) || plugged == m_lastPlugged)
            return;
        m_lastPlugged = plugged;
        if (plugged) {
            const int32_t result = ConnectResult();
            Deliver([result](IEpocEngineEvents& sink) { sink.OnConnected(result); });
        } else {
            Deliver([](IEpocEngineEvents& sink) { sink.OnDisconnected(0); });
        }
    }

    int32_t ConnectResult() { return ReadFault(SimulatorConfig::FaultConnect()) ? EngineError::kInjected : 0; }

    static std::pair<uint32_t, uint32_t> MachineId() {
        CRegistry& registry = CRegistry::Default();
        uint32_t low = 0;
        uint32_t high = 0;
        registry.GetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), low);
        registry.GetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdHigh(), high);
        return {low, high};
    }

    // True when the state is known; an absent value or key means unplugged, and so does another
    // machine than the one the session began with.
    bool ReadPlugged(bool& plugged) const {
        if (!ReadConnectedValue(plugged))
            return false;
        if (plugged && m_pinned && MachineId() != *m_pinned)
            plugged = false;
        return true;
    }

    DeviceResolver Resolver() {
        return [this](const FileSpec& spec, DeviceTarget& target) { return ResolveOnDevice(spec, target); };
    }

    static bool ReadConnectedValue(bool& plugged) {
        RegValue value;
        const RegStatus status = CRegistry::Default().QueryValue(RegRoot::LocalMachine, SimulatorConfig::Key(),
                                                                 SimulatorConfig::Connected(), value);
        if (status == RegStatus::KeyNotFound || status == RegStatus::ValueNotFound) {
            plugged = false;
            return true;
        }
        if (status != RegStatus::Ok)
            return false;
        uint32_t number = 0;
        std::memcpy(&number, value.data.constData(),
                    std::min<std::size_t>(sizeof number, std::size_t(value.data.size())));
        plugged = number != 0;
        return true;
    }

    static uint32_t ReadFault(const QString& name) {
        uint32_t count = 0;
        CRegistry::Default().GetNumber(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), name, count);
        return count;
    }

    // Counts a fault down; true when one was pending.
    static bool TakeFault(const QString& name) {
        const uint32_t count = ReadFault(name);
        if (count == 0)
            return false;
        CRegistry::Default().SetNumber(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), name, count - 1);
        return true;
    }

    static QString BusyKey(const FileSpec& spec) {
        QByteArray path;
        if (FileSpecPath(spec, path) != 0)
            return {};
        return QString::fromUtf8(path).toUpper();
    }

    // The root of a plugged-in handheld: 0, kNotReady when there is none, kGeneral when its
    // folder cannot be used.
    int32_t OpenRoot(CDeviceDir& root) const {
        bool plugged = false;
        if (!ReadPlugged(plugged) || !plugged)
            return EngineError::kNotReady;
        QString folder;
        if (!CRegistry::Default().GetString(RegRoot::LocalMachine, SimulatorConfig::Key(),
                                            SimulatorConfig::DeviceRoot(), folder))
            return EngineError::kNotReady;
        return OpenSimulatorRoot(folder, root) == 0 ? 0 : EngineError::kGeneral;
    }

    // A device path of a plugged-in handheld.
    int32_t ResolveOnDevice(const FileSpec& spec, DeviceTarget& target) const {
        if (spec.location != kLocationDevice)
            return EngineError::kBadName;
        QByteArray path;
        if (const int32_t result = FileSpecPath(spec, path))
            return result;
        CRootVisit single;
        return (m_batch ? *m_batch : single).Resolve(path, target, m_batch.has_value(), [this](CDeviceDir& root) {
            return OpenRoot(root);
        });
    }

public:
    // Between the two, the handheld is looked for once and each folder walked to once.
    void BeginBatch() { m_batch.emplace(); }
    void EndBatch() { m_batch.reset(); }

    CEngineFacts& Facts() { return m_facts; }

private:
    CEngineFacts m_facts;
    mutable std::optional<CRootVisit> m_batch;              // worker thread only
    std::optional<std::pair<uint32_t, uint32_t>> m_pinned;  // the session's machine id
    std::recursive_mutex m_sinkMutex;
    IEpocEngineEvents* m_sink = nullptr;

    std::mutex m_queueMutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    std::atomic<bool> m_queued = false;    // m_queue is not empty; read without the lock
    std::atomic<bool> m_stopping = false;  // m_stop, read without the lock
    std::atomic<bool> m_cancelCopies = false;
    bool m_stop = false;

    // Worker thread only.
    const int m_copyPauseMs = CopyPauseMs();
    CWrittenFolders m_written;
    bool m_following = false;
    bool m_lastPlugged = false;
    Clock::time_point m_nextPoll;
    std::map<QString, uint32_t> m_busyReported;
    std::set<QString> m_busyFiles;
};

CSimEngine::CSimEngine() = default;

CSimEngine::~CSimEngine() = default;
