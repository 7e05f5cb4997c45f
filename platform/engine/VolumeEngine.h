// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <memory>
#include <thread>

class CVolumeEngineCore;

// The handheld as a removable volume adopted with dtdevice: "C:\Documents\Report" is
// C/Documents/Report below the adopted folder, wherever the volume is mounted. The volume is
// connected while it is mounted and its folder is there; the engine follows the mount table
// through the kernel's change signal (no polling) and reports OnDisconnected(0) and
// OnConnected(0) as volumes come and go. With several adopted volumes mounted, the one
// mounted first is the handheld until it goes.
//
// Threading, event order and lifetime are those of the simulated engine: one worker thread
// per engine runs the operations in issue order and delivers their events; the engine may be
// destroyed from inside one of its own events. A copy to or from a volume that is unmounted
// meanwhile fails with kNotReady and leaves both sides as they were.
class CVolumeEngine final : public IEpocEngine {
public:
    CVolumeEngine();
    ~CVolumeEngine() override;
    CVolumeEngine(const CVolumeEngine&) = delete;
    CVolumeEngine& operator=(const CVolumeEngine&) = delete;

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
    std::shared_ptr<CVolumeEngineCore> m_core;
    std::thread m_worker;
};
