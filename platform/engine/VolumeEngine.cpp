// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/VolumeEngine.h"

#include "platform/base/UniqueFd.h"
#include "platform/engine/DevicePath.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/FileCopy.h"
#include "platform/engine/MountTable.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Tests slow copies down by this many milliseconds per step, so an unplug lands mid-copy.
int CopyPauseMs() {
    const char* text = std::getenv("DOVETAIL_TEST_COPY_PAUSE_MS");
    return text ? std::max(0, std::atoi(text)) : 0;
}

}  // namespace

namespace {

// A volume can be in the mount table before it answers (a FUSE file system whose daemon is
// still starting, a marker not yet readable), so while no handheld is connected the table is
// looked at again, soon after a change and then every few seconds, besides at every change.
class CMountSettle {
public:
    int Timeout() const { return m_nextMs; }

    void TableChanged(bool connected) { m_nextMs = connected ? -1 : kFirstMs; }
    void LookAgainSoon() { m_nextMs = kFirstMs; }

    void Looked(bool connected) {
        if (connected || m_nextMs < 0)
            m_nextMs = -1;
        else
            m_nextMs = std::min(m_nextMs * 2, kLastMs);
    }

private:
    static constexpr int kFirstMs = 250;
    static constexpr int kLastMs = 4000;
    int m_nextMs = -1;
};

}  // namespace

class CVolumeEngineCore {
public:
    using Event = std::function<void(IEpocEngineEvents&)>;

    CVolumeEngineCore() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_copyPauseMs(CopyPauseMs()) {}
    CVolumeEngineCore(const CVolumeEngineCore&) = delete;
    CVolumeEngineCore& operator=(const CVolumeEngineCore&) = delete;

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
        Wake();
    }

    void Stop() {
        SetSink(nullptr);
        {
            std::lock_guard lock(m_queueMutex);
            m_stop = true;
            m_stopping.store(true, std::memory_order_release);
            m_queue.clear();
        }
        Wake();
    }

    void Run() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(m_queueMutex);
                if (m_stop)
                    return;
                if (!m_queue.empty()) {
                    task = std::move(m_queue.front());
                    m_queue.pop_front();
                    m_queued.store(!m_queue.empty(), std::memory_order_relaxed);
                }
            }
            if (task) {
                task();
                StayAwakeForTheNextOperation(m_queued, m_stopping);
                continue;
            }
            if (m_following && std::exchange(m_followPending, false)) {
                Follow();
                continue;
            }
            // Sleeps until an operation is queued or, once following, the mount table changes;
            // while a fresh mount is settling, also until the next look at it.
            pollfd fds[2] = {{m_wake.Get(), POLLIN, 0}, {m_mounts.Fd(), POLLPRI, 0}};
            const nfds_t count = m_following && m_mounts.IsOpen() ? 2 : 1;
            const int ready = ::poll(fds, count, m_following ? m_settle.Timeout() : -1);
            if (ready < 0)
                continue;
            if (ready == 0) {
                Follow(FollowCause::kSettling);
                continue;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t drained = 0;
                [[maybe_unused]] const ssize_t got = ::read(m_wake.Get(), &drained, sizeof drained);
            }
            if (count == 2 && (fds[1].revents & (POLLPRI | POLLERR)))
                Follow();
        }
    }

    // Delivery holds the sink lock, so SetEventSink(nullptr) returns only once no event is
    // running any more; recursive because a sink may call back into the engine.
    void Deliver(const Event& event) {
        std::lock_guard lock(m_sinkMutex);
        if (m_sink)
            event(*m_sink);
    }

    // ---- worker-side operations ----

    void Initialize() {
        const int32_t result = m_wake.IsValid() && m_mounts.IsOpen() ? 0 : EngineError::kGeneral;
        Deliver([result](IEpocEngineEvents& sink) { sink.OnInitialized(result); });
    }

    // Answered within timeoutMs (when above 0) whatever the mounts do: a file system that does
    // not answer while it is looked at must not leave the caller at "Connecting..." for ever. A
    // handheld found after the time is up is reported as a later connection.
    void Connect(int32_t timeoutMs) {
        struct Answer {
            std::mutex mutex;
            std::condition_variable given;
            bool answered = false;
        };
        auto answer = std::make_shared<Answer>();
        std::thread watchdog;
        if (timeoutMs > 0) {
            watchdog = std::thread([this, answer, timeoutMs] {
                std::unique_lock lock(answer->mutex);
                if (answer->given.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return answer->answered; }))
                    return;
                answer->answered = true;
                lock.unlock();
                Deliver([](IEpocEngineEvents& sink) { sink.OnConnected(EngineError::kNotReady); });
            });
        }
        m_following = true;
        m_current = Choose();  // the answer below is the connection event
        m_followPending = false;
        m_settle.TableChanged(m_current.has_value());
        bool late = false;
        {
            std::lock_guard lock(answer->mutex);
            late = std::exchange(answer->answered, true);
        }
        answer->given.notify_all();
        if (watchdog.joinable())
            watchdog.join();
        const int32_t result = m_current ? 0 : EngineError::kNotReady;
        if (!late || result == 0)
            Deliver([result](IEpocEngineEvents& sink) { sink.OnConnected(result); });
    }

    void OpenRemoteFile(const FileSpec& spec, const std::shared_ptr<RemoteFileState>& state) {
        DeviceTarget target;
        int32_t result = ResolveOnDevice(spec, target);
        if (result == 0 && !target.exists)
            result = EngineError::kNotFound;
        if (result == 0) {
            std::lock_guard lock(state->mutex);
            if (FillRemoteFileInfo(target, state->info))
                state->open = true;
            else
                result = EngineError::kNotFound;
            state->size = uint64_t(target.status.st_size);
        }
        Deliver([result](IEpocEngineEvents& sink) { sink.OnRemoteFileOpened(result); });
    }

    void CancelCopies() { m_cancelCopies.store(true, std::memory_order_release); }

    void CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite,
                  const CKnownFile* seen = nullptr) {
        EngineCopy copy;
        int32_t result = Cancelled() ? EngineError::kCancelled : 0;
        if (result == 0)
            result = OpenEngineCopy(
                source, destination, overwrite,
                [this](const FileSpec& device, DeviceTarget& target) { return ResolveOnDevice(device, target); }, copy,
                seen);
        if (result == 0) {
            const int mountId = m_current ? m_current->mount.id : -1;
            const auto goOn = [this, mountId] { return !Cancelled() && VolumeStillMounted(mountId); };
            CContentHasher hasher;
            struct stat written {};
            result = CopyIntoFolder(
                copy.source.Get(), copy.sourceStatus, copy.DestinationFolder(), copy.destinationName,
                CopyOptions{CopyFlush::Yes, goOn, copy.destinationOnHandheld, NameFlush::Deferred, &hasher, &written});
            if (result == EngineError::kNotReady && Cancelled())
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
        const int32_t result = FingerprintEngineFile(
            spec, [this](const FileSpec& device, DeviceTarget& target) { return ResolveOnDevice(device, target); },
            facts);
        m_facts.SetPrint(result == 0, facts);
        Deliver([result](IEpocEngineEvents& sink) { sink.OnFingerprintRead(result); });
    }

    void MakeCopiesDurable() {
        const bool onHandheld = m_written.HasHandheldFolder();
        int32_t result = m_written.Flush(
            [this](const FileSpec& device, DeviceTarget& target) { return ResolveOnDevice(device, target); });
        // A folder flush makes the names durable; a stick without a journal (FAT) also keeps its
        // allocation table and directory entries apart, so the whole volume is flushed too.
        if (result == 0 && onHandheld)
            result = SyncHandheldVolume();
        Deliver([result](IEpocEngineEvents& sink) { sink.OnCopiesDurable(result); });
    }

    bool LooksAtOnce() const { return true; }

    void LookAt(const FileSpec& spec, const CKnownFile& known, CLookedFile& looked) {
        DeviceTarget target;
        looked.result = ResolveOnDevice(spec, target);
        if (looked.result == 0)
            LookAtDeviceEntry(target, known, looked);
    }

    void CloseRemoteFile(const FileSpec& spec, bool force) {
        DeviceTarget target;
        int32_t result = ResolveOnDevice(spec, target);
        // Forcing succeeds even for a file that has gone meanwhile.
        if (result == 0 && !target.exists && !force)
            result = EngineError::kNotFound;
        Deliver([result](IEpocEngineEvents& sink) { sink.OnRemoteFileClosed(result); });
    }

    void AttachRemote(int32_t mode) {
        FollowIfChanged();
        const bool plugged = m_current.has_value();
        const int32_t result = plugged ? 0 : EngineError::kNotReady;
        Deliver([=](IEpocEngineEvents& sink) { sink.OnStatus(result, mode, plugged ? 1 : 0); });
    }

    void GetMachine(const std::shared_ptr<MachineState>& state) {
        FollowIfChanged();
        int32_t result = EngineError::kNotReady;
        if (m_current) {
            SetMachineId(*state, m_current->volume.low, m_current->volume.high);
            result = 0;
        }
        Deliver([result](IEpocEngineEvents& sink) { sink.OnMachineReady(result); });
    }

    void BeginSession() {
        FollowIfChanged();
        if (m_current)
            m_pinnedVolume = m_current->volume.id;
        const int32_t result = m_current ? 0 : EngineError::kNotReady;
        Deliver([result](IEpocEngineEvents& sink) { sink.OnSessionReady(result); });
    }

private:
    struct Current {
        AdoptedVolume volume;
        MountEntry mount;
        DeviceRootPlace root;
    };

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = ::write(m_wake.Get(), &one, sizeof one);
    }

    // The handheld now: the current one while it stays, else the adopted volume mounted first.
    // When the table or the store cannot be read, the answer stays what it was.
    std::optional<Current> Choose() {
        std::vector<MountEntry> table;
        std::vector<AdoptedVolume> volumes;
        if (!m_mounts.Read(table) || !ReadAdoptedVolumes(volumes))
            return m_current;
        // A session stays with its handheld: no other volume ever takes its place.
        if (!m_pinnedVolume.isEmpty())
            std::erase_if(volumes, [this](const AdoptedVolume& v) { return v.id != m_pinnedVolume; });
        const std::optional<CVolumeLocator::Handheld> handheld =
            m_current ? m_locator.ChooseHandheld(volumes, table, m_current->volume.id, m_current->mount.id)
                      : m_locator.ChooseHandheld(volumes, table);
        if (!handheld)
            return std::nullopt;
        return Current{handheld->volume, handheld->where.mount, handheld->where.root};
    }

    enum class FollowCause { kTableChanged, kSettling };

    void Follow(FollowCause cause = FollowCause::kTableChanged) {
        std::optional<Current> next = Choose();
        // The handheld's mount is still there but it was not recognised just now (a FUSE
        // driver busy with a write can answer oddly): it is looked at again before it counts
        // as gone, or every other mount coming and going could end a run.
        if (!next && m_current && MountStays(m_current->mount.id) && ++m_doubts < kDoubtsBeforeGone) {
            m_settle.LookAgainSoon();
            return;
        }
        m_doubts = 0;
        if (cause == FollowCause::kSettling)
            m_settle.Looked(next.has_value());
        else
            m_settle.TableChanged(next.has_value());
        const bool same =
            m_current && next && m_current->volume.id == next->volume.id && m_current->mount.id == next->mount.id;
        if (same || (!m_current && !next)) {
            m_current = std::move(next);
            return;
        }
        const bool wasConnected = m_current.has_value();
        m_current = std::move(next);
        if (wasConnected)
            Deliver([](IEpocEngineEvents& sink) { sink.OnDisconnected(0); });
        if (m_current)
            Deliver([](IEpocEngineEvents& sink) { sink.OnConnected(0); });
    }

    bool MountStays(int mountId) {
        std::vector<MountEntry> table;
        return m_mounts.Read(table) &&
               std::any_of(table.begin(), table.end(), [mountId](const MountEntry& m) { return m.id == mountId; });
    }

    // Operations look at the table first, so none works on a volume that has gone.
    void FollowIfChanged() {
        if (m_following && (std::exchange(m_followPending, false) || m_mounts.Changed()))
            Follow();
        else if (!m_following)
            m_current = Choose();
    }

    int32_t SyncHandheldVolume() {
        FollowIfChanged();
        if (!m_current)
            return EngineError::kNotReady;
        CDeviceDir root;
        if (const int32_t result = OpenDeviceRoot(m_current->root, root))
            return result;
        // syncfs needs a descriptor open for reading; the root is held as O_PATH.
        const CUniqueFd dir(::openat(root.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir.IsValid())
            return EngineErrorFromErrno(errno);
        return ::syncfs(dir.Get()) == 0 ? 0 : EngineError::kGeneral;
    }

    bool Cancelled() const { return m_cancelCopies.load(std::memory_order_acquire); }

    // Asked by a copy between its steps.
    bool VolumeStillMounted(int mountId) {
        if (m_copyPauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_copyPauseMs));
        if (mountId < 0 || !m_mounts.Changed())
            return true;
        m_followPending = true;  // reading the table below takes its change signal
        std::vector<MountEntry> table;
        if (!m_mounts.Read(table))
            return true;
        return std::any_of(table.begin(), table.end(), [mountId](const MountEntry& m) { return m.id == mountId; });
    }

    int32_t ResolveOnDevice(const FileSpec& spec, DeviceTarget& target) {
        if (spec.location != kLocationDevice)
            return EngineError::kBadName;
        QByteArray path;
        if (const int32_t result = FileSpecPath(spec, path))
            return result;
        // Opened afresh for each operation or batch: a folder kept open would keep the volume
        // from unmounting.
        CRootVisit single;
        return (m_batch ? *m_batch : single)
            .Resolve(path, target, m_batch.has_value(), [this](CDeviceDir& root) -> int32_t {
                FollowIfChanged();
                if (!m_current)
                    return EngineError::kNotReady;
                return OpenDeviceRoot(m_current->root, root) == 0 ? 0 : EngineError::kGeneral;
            });
    }

public:
    // Between the two, the handheld is looked for once and each folder walked to once.
    void BeginBatch() { m_batch.emplace(); }
    void EndBatch() { m_batch.reset(); }
    CEngineFacts& Facts() { return m_facts; }

private:
    CEngineFacts m_facts;
    std::recursive_mutex m_sinkMutex;
    IEpocEngineEvents* m_sink = nullptr;

    std::mutex m_queueMutex;
    std::deque<std::function<void()>> m_queue;
    std::atomic<bool> m_queued = false;    // m_queue is not empty; read without the lock
    std::atomic<bool> m_stopping = false;  // m_stop, read without the lock
    std::atomic<bool> m_cancelCopies = false;
    bool m_stop = false;
    const CUniqueFd m_wake;

    // Worker thread only.
    std::optional<CRootVisit> m_batch;
    const int m_copyPauseMs;
    CWrittenFolders m_written;
    CMountTable m_mounts;
    CVolumeLocator m_locator;
    bool m_following = false;
    bool m_followPending = false;
    std::optional<Current> m_current;
    QString m_pinnedVolume;  // the session's handheld, once BeginSession identified it
    CMountSettle m_settle;
    static constexpr int kDoubtsBeforeGone = 3;
    int m_doubts = 0;  // looks in a row that did not recognise the handheld on its mount
};

CVolumeEngine::CVolumeEngine() = default;

CVolumeEngine::~CVolumeEngine() = default;
