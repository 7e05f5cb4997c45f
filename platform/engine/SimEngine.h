// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <memory>
#include <thread>

class CSimEngineCore;

// The simulated handheld behind IEpocEngine. Its configuration and injected faults live in
// the registry (see SimulatorConfig.h) and are read afresh by every operation, so a test or
// the simulator tool can change them while an engine runs. Each engine owns one worker
// thread: operations are queued to it and their events are delivered from it, in the order
// the operations were issued.
//
// Event details: OnStatus(result, mode, plugged) answers AttachRemote; OnRemoteFileBusy
// carries 0. After the first Connect the worker follows the "Connected" value (every 250 ms)
// and reports OnDisconnected(0) / OnConnected(result) when it changes. Failures carry the
// EngineError codes of SimulatorConfig.h.
//
// The engine may be destroyed from inside one of its own events: the worker then finishes on
// its own once that event returns.
class CSimEngine final : public IEpocEngine {
public:
    CSimEngine();
    ~CSimEngine() override;
    CSimEngine(const CSimEngine&) = delete;
    CSimEngine& operator=(const CSimEngine&) = delete;

    int32_t SetEventSink(IEpocEngineEvents* sink) override;
    int32_t Connect(int32_t timeoutMs) override;
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override;
    int32_t CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite) override;
    int32_t CloseRemoteFile(const FileSpec& spec, uint32_t attributes) override;
    int32_t AttachRemote(int32_t mode) override;
    int32_t GetMachine(int32_t mode, std::unique_ptr<IEpocMachine>& out) override;
    int32_t BeginSession() override;
    int32_t ReleaseRemoteFile(const FileSpec& spec) override;
    int32_t ForceCloseRemoteFile(const FileSpec& spec) override;

private:
    std::shared_ptr<CSimEngineCore> m_core;
    std::thread m_worker;
};
