// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/EngineObjects.h"

#include "platform/base/UniqueFd.h"

#include "platform/engine/EpocUid.h"
#include "platform/engine/SimulatorConfig.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kFileTimeEpochOffset = 11644473600LL;  // seconds from 1601 to 1970

void Put32(uint8_t* bytes, std::size_t offset, uint32_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
}

}  // namespace

int32_t CEngineRemoteFile::GetFileInfo(RemoteFileInfo& info) {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->open) {
        info = RemoteFileInfo{};
        return EngineError::kNotReady;
    }
    info = m_state->info;
    return 0;
}

int32_t CEngineMachine::GetMachineInfo(MachineInfo& info) {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->ready) {
        info = MachineInfo{};
        return EngineError::kNotReady;
    }
    info = m_state->info;
    return 0;
}

void SetMachineId(MachineState& state, uint32_t low, uint32_t high) {
    std::lock_guard lock(state.mutex);
    Put32(state.info.bytes, 0x20, low);
    Put32(state.info.bytes, 0x24, high);
    state.ready = true;
}

uint64_t LocalFileTime(const struct timespec& modified) {
    struct tm local {};
    const time_t seconds = modified.tv_sec;
    int64_t localSeconds = seconds;
    if (::localtime_r(&seconds, &local))
        localSeconds += local.tm_gmtoff;
    const int64_t since1601 = localSeconds + kFileTimeEpochOffset;
    if (since1601 < 0)
        return 0;
    return uint64_t(since1601) * 10000000ULL + uint64_t(modified.tv_nsec / 100);
}

bool FillRemoteFileInfo(const DeviceTarget& target, RemoteFileInfo& info) {
    struct stat st {};
    if (::stat(target.hostPath.constData(), &st) != 0)
        return false;
    info = RemoteFileInfo{};
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= kAttrFolder;
    if (!(st.st_mode & S_IWUSR))
        attributes |= 0x01;  // read-only
    Put32(info.bytes, 2, attributes);
    const uint64_t fileTime = LocalFileTime(st.st_mtim);
    std::memcpy(info.bytes + 6, &fileTime, sizeof fileTime);
    // The size, clamped to 32 bits, in the otherwise unused word at 14.
    Put32(info.bytes, 14, st.st_size > 0xFFFFFFFFLL ? 0xFFFFFFFFu : uint32_t(st.st_size));
    if (S_ISREG(st.st_mode)) {
        const CUniqueFd fd(::open(target.hostPath.constData(), O_RDONLY | O_CLOEXEC));
        if (fd.IsValid()) {
            char header[kEpocHeaderSize];
            const ssize_t got = ::pread(fd.Get(), header, sizeof header, 0);
            EpocUids uids{};
            if (got > 0 && ParseEpocHeader(header, std::size_t(got), uids)) {
                for (int i = 0; i < 3; ++i)
                    Put32(info.bytes, 18 + 4 * i, uids[i]);
            }
        }
    }
    QByteArray name = target.name.toUtf8();
    const std::size_t room = sizeof info.bytes - 30 - 1;
    if (std::size_t(name.size()) > room)
        name.truncate(qsizetype(room));
    std::memcpy(info.bytes + 30, name.constData(), std::size_t(name.size()));
    return true;
}

int32_t ResolveCopyEnd(const FileSpec& spec, QByteArray& hostPath, bool* exists,
                       const std::function<int32_t(const FileSpec&, DeviceTarget&)>& resolveOnDevice) {
    if (spec.location == kLocationPc) {
        QByteArray path;
        if (const int32_t result = FileSpecPath(spec, path))
            return result;
        if (!path.startsWith('/'))
            return EngineError::kBadName;
        hostPath = path;
        struct stat st {};
        const bool present = ::stat(path.constData(), &st) == 0;
        if (exists)
            *exists = present;
        else if (!present)
            return EngineError::kNotFound;
        return 0;
    }
    DeviceTarget target;
    if (const int32_t result = resolveOnDevice(spec, target))
        return result;
    if (!exists && !target.exists)
        return EngineError::kNotFound;
    if (exists)
        *exists = target.exists;
    hostPath = target.hostPath;
    return 0;
}
