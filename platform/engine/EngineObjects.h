// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/DevicePath.h"
#include "platform/engine/EpocEngine.h"

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>

// The objects an engine hands out at once and fills in later on its worker thread: the
// caller may read them only after their completion event, and gets kNotReady before.

struct RemoteFileState {
    std::mutex mutex;
    bool open = false;
    RemoteFileInfo info;
};

class CEngineRemoteFile final : public IEpocRemoteFile {
public:
    explicit CEngineRemoteFile(std::shared_ptr<RemoteFileState> state) : m_state(std::move(state)) {}
    int32_t GetFileInfo(RemoteFileInfo& info) override;

private:
    std::shared_ptr<RemoteFileState> m_state;
};

struct MachineState {
    std::mutex mutex;
    bool ready = false;
    MachineInfo info;
};

class CEngineMachine final : public IEpocMachine {
public:
    explicit CEngineMachine(std::shared_ptr<MachineState> state) : m_state(std::move(state)) {}
    int32_t GetMachineInfo(MachineInfo& info) override;

private:
    std::shared_ptr<MachineState> m_state;
};

// Marks the machine ready with its id: low at 0x20, high at 0x24.
void SetMachineId(MachineState& state, uint32_t low, uint32_t high);

// A modification time as a FILETIME in local time (100 ns since 1601, shifted by the UTC
// offset in force at that instant); 0 before 1601.
uint64_t LocalFileTime(const struct timespec& modified);

// Fills the information block of an existing device entry; false when it cannot be read.
bool FillRemoteFileInfo(const DeviceTarget& target, RemoteFileInfo& info);

// The PC path of one end of a copy: the path it names on the PC side, else the handheld
// file resolveOnDevice finds. exists is null for the source, which must exist; for the
// destination it says whether the file is there.
int32_t ResolveCopyEnd(const FileSpec& spec, QByteArray& hostPath, bool* exists,
                       const std::function<int32_t(const FileSpec&, DeviceTarget&)>& resolveOnDevice);
