// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EngineObjects.h"
#include "platform/engine/EpocEngine.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

// A run issues its next operation a few microseconds after the last event reached it (its
// chain does so for every step). Waiting for it awake, briefly, saves the sleep and wake-up
// that cost more than most operations themselves; yielding leaves the core to anyone else
// who needs it. Returns once something is queued, the worker stops, or the time is up.
inline void StayAwakeForTheNextOperation(const std::atomic<bool>& queued, const std::atomic<bool>& stopping) {
    constexpr auto kStayAwake = std::chrono::microseconds(200);
    const auto until = std::chrono::steady_clock::now() + kStayAwake;
    while (!queued.load(std::memory_order_acquire) && !stopping.load(std::memory_order_acquire) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
}

// The caller's side every engine back-end shares: each operation is queued, in issue order,
// to the back-end's core, whose worker thread runs it and delivers its event. The core is
// shared with the thread so that it outlives the engine when the engine is destroyed from
// inside one of its own events; the worker then finishes on its own once that event returns.
//
// Core provides SetSink, Post, Stop and Run (the worker's loop), and the worker-side
// operations Initialize, Connect, OpenRemoteFile(spec, state), CopyFile(source, destination, overwrite, seen),
// CloseRemoteFile(spec, force), AttachRemote, GetMachine(state), BeginSession, MakeCopiesDurable and
// ReadFingerprint(spec), Facts() for their results, LookAt(spec, known, looked), LooksAtOnce(), BeginBatch and EndBatch
// for LookAtRemoteFiles, Deliver(event), and CancelCopies (called on the caller's thread); ReleaseRemoteFile(spec) only
// where its files can be reported busy. Core must be complete where the back-end's constructor and destructor are
// defined.
template <typename Core>
class CWorkerEngine : public IEpocEngine {
public:
    CWorkerEngine() : m_core(std::make_shared<Core>()) {
        m_worker = std::thread([core = m_core] { core->Run(); });
    }
    ~CWorkerEngine() override {
        m_core->Stop();
        if (m_worker.get_id() == std::this_thread::get_id())
            m_worker.detach();  // the worker ends once the event in progress returns
        else
            m_worker.join();
    }
    CWorkerEngine(const CWorkerEngine&) = delete;
    CWorkerEngine& operator=(const CWorkerEngine&) = delete;

    int32_t SetEventSink(IEpocEngineEvents* sink) override {
        m_core->SetSink(sink);
        if (sink)
            m_core->Post([core = m_core.get()] { core->Initialize(); });
        return 0;
    }
    int32_t Connect(int32_t timeoutMs) override {
        if constexpr (requires(Core & core) { core.Connect(timeoutMs); })
            m_core->Post([core = m_core.get(), timeoutMs] { core->Connect(timeoutMs); });
        else
            m_core->Post([core = m_core.get()] { core->Connect(); });  // answers at once anyway
        return 0;
    }
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override {
        auto state = std::make_shared<RemoteFileState>();
        out = std::make_unique<CEngineRemoteFile>(state);
        m_core->Post([core = m_core.get(), spec, state] { core->OpenRemoteFile(spec, state); });
        return 0;
    }
    int32_t CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite) override {
        m_core->Post(
            [core = m_core.get(), source, destination, overwrite] { core->CopyFile(source, destination, overwrite); });
        return 0;
    }
    int32_t CopyFileOver(const FileSpec& source, const FileSpec& destination, const CKnownFile& seen) override {
        m_core->Post([core = m_core.get(), source, destination, seen] {
            // A file that may be reported busy is looked at alone, as the look would.
            if (core->LooksAtOnce())
                core->CopyFile(source, destination, 1, &seen);
            else
                core->Deliver([](IEpocEngineEvents& sink) { sink.OnCopyDone(kNotSupported); });
        });
        return 0;
    }
    int32_t MakeCopiesDurable() override {
        m_core->Post([core = m_core.get()] { core->MakeCopiesDurable(); });
        return 0;
    }
    int32_t CloseRemoteFile(const FileSpec& spec, uint32_t /*attributes*/) override {
        m_core->Post([core = m_core.get(), spec] { core->CloseRemoteFile(spec, false); });
        return 0;
    }
    int32_t AttachRemote(int32_t mode) override {
        m_core->Post([core = m_core.get(), mode] { core->AttachRemote(mode); });
        return 0;
    }
    int32_t GetMachine(int32_t /*mode*/, std::unique_ptr<IEpocMachine>& out) override {
        auto state = std::make_shared<MachineState>();
        out = std::make_unique<CEngineMachine>(state);
        m_core->Post([core = m_core.get(), state] { core->GetMachine(state); });
        return 0;
    }
    int32_t BeginSession() override {
        m_core->Post([core = m_core.get()] { core->BeginSession(); });
        return 0;
    }
    int32_t ReleaseRemoteFile(const FileSpec& spec) override {
        if constexpr (requires(Core & core) { core.ReleaseRemoteFile(spec); })
            m_core->Post([core = m_core.get(), spec] { core->ReleaseRemoteFile(spec); });
        return 0;  // otherwise no file is ever reported busy, so there is nothing to release
    }
    int32_t ForceCloseRemoteFile(const FileSpec& spec) override {
        m_core->Post([core = m_core.get(), spec] { core->CloseRemoteFile(spec, true); });
        return 0;
    }
    int32_t ReadFingerprint(const FileSpec& spec) override {
        m_core->Post([core = m_core.get(), spec] { core->ReadFingerprint(spec); });
        return 0;
    }
    int32_t GetFingerprint(CFileFacts& facts) override { return m_core->Facts().GetPrint(facts); }
    int32_t LookAtRemoteFiles(const std::vector<FileSpec>& specs, const std::vector<CKnownFile>& known) override {
        m_core->Post([core = m_core.get(), specs, known, looked = m_looked] {
            std::vector<CLookedFile> files;
            const int32_t result = core->LooksAtOnce() ? 0 : kNotSupported;
            if (result == 0) {
                files.resize(specs.size());
                const CBatch batch(*core);
                for (std::size_t i = 0; i < specs.size(); ++i)
                    core->LookAt(specs[i], i < known.size() ? known[i] : CKnownFile{}, files[i]);
            }
            looked->Set(std::move(files));
            core->Deliver([result](IEpocEngineEvents& sink) { sink.OnRemoteFilesLooked(result); });
        });
        return 0;
    }
    int32_t GetLookedFile(std::size_t index, RemoteFileInfo& info, uint64_t& size) override {
        return m_looked->Get(index, info, size);
    }
    int32_t GetFingerprintOf(std::size_t index, CFileFacts& facts) override { return m_looked->GetPrint(index, facts); }
    int32_t GetCopyFacts(CFileFacts& facts) override { return m_core->Facts().GetCopy(facts); }
    // Not queued: the worker is busy with the very copy it must end.
    void CancelCopies() override { m_core->CancelCopies(); }

private:
    // One operation over many files: the core finds the handheld once for all of them.
    class CBatch {
    public:
        explicit CBatch(Core& core) : m_core(core) { m_core.BeginBatch(); }
        ~CBatch() { m_core.EndBatch(); }
        CBatch(const CBatch&) = delete;
        CBatch& operator=(const CBatch&) = delete;

    private:
        Core& m_core;
    };

    std::shared_ptr<Core> m_core;
    std::shared_ptr<CLookedFiles> m_looked = std::make_shared<CLookedFiles>();
    std::thread m_worker;
};
