// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/EngineObjects.h"

#include "platform/base/UniqueFd.h"

#include "platform/engine/EpocUid.h"
#include "platform/engine/FileCopy.h"
#include "platform/engine/SimulatorConfig.h"

#include <algorithm>
#include <cerrno>
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

int32_t CEngineRemoteFile::GetFileSize(uint64_t& size) {
    std::lock_guard lock(m_state->mutex);
    size = m_state->open ? m_state->size : 0;
    return m_state->open ? 0 : EngineError::kNotReady;
}

int32_t CEngineFacts::GetCopy(CFileFacts& facts) {
    std::lock_guard lock(mutex);
    facts = copyValid ? copy : CFileFacts{};
    return copyValid ? 0 : EngineError::kNotReady;
}

int32_t CEngineFacts::GetPrint(CFileFacts& facts) {
    std::lock_guard lock(mutex);
    facts = printValid ? print : CFileFacts{};
    return printValid ? 0 : EngineError::kNotReady;
}

void CLookedFiles::Set(std::vector<CLookedFile> files) {
    std::lock_guard lock(m_mutex);
    m_files = std::move(files);
}

int32_t CLookedFiles::Get(std::size_t index, RemoteFileInfo& info, uint64_t& size) {
    std::lock_guard lock(m_mutex);
    if (index >= m_files.size())
        return EngineError::kNotReady;
    info = m_files[index].info;
    size = m_files[index].size;
    return m_files[index].result;
}

int32_t CLookedFiles::GetPrint(std::size_t index, CFileFacts& facts) {
    std::lock_guard lock(m_mutex);
    if (index >= m_files.size())
        return EngineError::kNotReady;
    facts = m_files[index].print;
    return m_files[index].printResult;
}

void CEngineFacts::SetCopy(bool valid, const CFileFacts& facts) {
    std::lock_guard lock(mutex);
    copyValid = valid;
    copy = facts;
}

void CEngineFacts::SetPrint(bool valid, const CFileFacts& facts) {
    std::lock_guard lock(mutex);
    printValid = valid;
    print = facts;
}

uint64_t EngineFileTime(bool onHandheld, const struct timespec& modified) {
    if (onHandheld)
        return LocalFileTime(modified);
    return uint64_t(int64_t(modified.tv_sec) * 1000000000LL + modified.tv_nsec);
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

namespace {

// The size as the information block holds it: clamped to 32 bits.
uint32_t InfoBlockSize(const struct stat& st) {
    return st.st_size > 0xFFFFFFFFLL ? 0xFFFFFFFFu : uint32_t(st.st_size);
}

}  // namespace

bool FillRemoteFileInfo(const DeviceTarget& target, RemoteFileInfo& info, CUniqueFd* keep, struct stat* kept) {
    if (!target.exists)
        return false;
    struct stat st = target.status;
    EpocUids uids{};
    bool typed = false;
    if (!target.isFolder) {
        CUniqueFd fd;
        struct stat opened {};
        // A file that cannot be read still has its name, time and size.
        if (target.folder.OpenFile(target.entry, fd, opened, &target.status) == 0) {
            st = opened;
            char header[kEpocHeaderSize];
            const ssize_t got = ::pread(fd.Get(), header, sizeof header, 0);
            typed = got > 0 && ParseEpocHeader(header, std::size_t(got), uids);
            if (keep && kept) {
                *keep = std::move(fd);
                *kept = st;
            }
        }
    }
    info = RemoteFileInfo{};
    uint32_t attributes = 0;
    if (target.isFolder)
        attributes |= kAttrFolder;
    if (!(st.st_mode & S_IWUSR))
        attributes |= 0x01;  // read-only
    Put32(info.bytes, 2, attributes);
    const uint64_t fileTime = LocalFileTime(st.st_mtim);
    std::memcpy(info.bytes + 6, &fileTime, sizeof fileTime);
    // The size, clamped to 32 bits, in the otherwise unused word at 14.
    Put32(info.bytes, 14, InfoBlockSize(st));
    if (typed) {
        for (int i = 0; i < 3; ++i)
            Put32(info.bytes, 18 + 4 * i, uids[i]);
    }
    QByteArray name = target.name.toUtf8();
    const std::size_t room = sizeof info.bytes - 30 - 1;
    if (std::size_t(name.size()) > room)
        name.truncate(qsizetype(room));
    std::memcpy(info.bytes + 30, name.constData(), std::size_t(name.size()));
    return true;
}

namespace {

int32_t PcPathOf(const FileSpec& spec, QByteArray& path) {
    if (const int32_t result = FileSpecPath(spec, path))
        return result;
    return path.startsWith('/') ? 0 : EngineError::kBadName;
}

int32_t OpenSource(const FileSpec& spec, const DeviceResolver& resolve, EngineCopy& out) {
    if (spec.location == kLocationPc) {
        QByteArray path;
        if (const int32_t result = PcPathOf(spec, path))
            return result;
        return OpenCopySource(path, out.source, out.sourceStatus);
    }
    DeviceTarget target;
    if (const int32_t result = resolve(spec, target))
        return result;
    if (!target.exists)
        return EngineError::kNotFound;
    if (target.isFolder)
        return EngineError::kIsFolder;
    return target.folder.OpenFile(target.entry, out.source, out.sourceStatus, &target.status);
}

int32_t OpenDestination(const FileSpec& spec, const DeviceResolver& resolve, EngineCopy& out) {
    if (spec.location == kLocationPc) {
        QByteArray path;
        if (const int32_t result = PcPathOf(spec, path))
            return result;
        if (const int32_t result = OpenCopyDestination(path, out.pcFolder, out.destinationName))
            return result;
        out.destinationExists =
            ::fstatat(out.pcFolder.Get(), out.destinationName.constData(), &out.destinationStatus, 0) == 0;
        out.destinationOnHandheld = false;
        return 0;
    }
    DeviceTarget target;
    if (const int32_t result = resolve(spec, target))
        return result;
    if (target.exists && target.isFolder)
        return EngineError::kIsFolder;
    out.deviceFolder = std::move(target.folder);
    out.destinationName = target.entry;
    out.destinationExists = target.exists;
    out.destinationStatus = target.status;
    out.destinationOnHandheld = true;
    return 0;
}

int32_t DestinationAsSeen(const EngineCopy& copy, const CKnownFile* seen) {
    if (!seen || !copy.destinationExists)
        return 0;
    // In the terms of the information block the caller saw it in.
    const struct stat& st = copy.destinationStatus;
    const bool same = seen->known && seen->size == InfoBlockSize(st) && seen->time == LocalFileTime(st.st_mtim);
    return same ? 0 : EngineError::kDestinationChanged;
}

}  // namespace

int32_t OpenEngineCopy(const FileSpec& source, const FileSpec& destination, int32_t overwrite,
                       const DeviceResolver& resolve, EngineCopy& out, const CKnownFile* seen) {
    if (const int32_t result = OpenSource(source, resolve, out))
        return result;
    if (const int32_t result = OpenDestination(destination, resolve, out))
        return result;
    if (out.destinationExists && !overwrite)
        return EngineError::kAccessDenied;
    return DestinationAsSeen(out, seen);
}

void CWrittenFolders::Add(const FileSpec& destination, int folder) {
    struct stat st {};
    if (::fstat(folder, &st) != 0)
        st = {};  // flushed through its path alone, then
    const bool known = std::any_of(m_folders.begin(), m_folders.end(), [&st](const Folder& f) {
        return st.st_ino != 0 && f.device == st.st_dev && f.inode == st.st_ino;
    });
    if (!known)
        m_folders.push_back({destination, st.st_dev, st.st_ino});
}

bool CWrittenFolders::HasHandheldFolder() const {
    return std::any_of(m_folders.begin(), m_folders.end(),
                       [](const Folder& f) { return f.destination.location == kLocationDevice; });
}

int32_t CWrittenFolders::Flush(const DeviceResolver& resolve) {
    int32_t first = 0;
    for (const Folder& f : m_folders) {
        const int32_t result = FlushOne(f, resolve);
        if (first == 0)
            first = result;
    }
    m_folders.clear();
    return first;
}

int32_t CWrittenFolders::FlushOne(const Folder& f, const DeviceResolver& resolve) {
    CUniqueFd pcFolder;
    DeviceTarget target;
    int fd = -1;
    if (f.destination.location == kLocationPc) {
        QByteArray path;
        QByteArray name;
        if (const int32_t result = PcPathOf(f.destination, path))
            return result;
        if (const int32_t result = OpenCopyDestination(path, pcFolder, name))
            return result;
        fd = pcFolder.Get();
    } else {
        if (const int32_t result = resolve(f.destination, target))
            return result;
        fd = target.folder.Fd();
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return EngineErrorFromErrno(errno);
    if (st.st_dev == f.device && st.st_ino == f.inode)
        return FlushFolder(fd);
    // Another file system there now (another volume): the names given are out of reach.
    if (st.st_dev != f.device)
        return f.destination.location == kLocationPc ? EngineError::kGeneral : EngineError::kNotReady;
    // Moved or replaced since: wherever the folder went on this file system, its names are
    // flushed with the whole of it.
    return ::syncfs(fd) == 0 ? 0 : EngineErrorFromErrno(errno);
}

int32_t FingerprintEngineFile(const FileSpec& spec, const DeviceResolver& resolve, CFileFacts& facts) {
    facts = {};
    EngineCopy file;
    if (const int32_t result = OpenSource(spec, resolve, file))
        return result;
    if (const int error = FingerprintOpenFile(file.source.Get(), file.sourceStatus, facts))
        return error == ESTALE ? EngineError::kSourceChanged : EngineErrorFromErrno(error);
    facts.time = EngineFileTime(spec.location == kLocationDevice, file.sourceStatus.st_mtim);
    return 0;
}

void LookAtDeviceEntry(const DeviceTarget& target, const CKnownFile& known, CLookedFile& looked) {
    CUniqueFd file;
    struct stat opened {};
    if (!target.exists || !FillRemoteFileInfo(target, looked.info, &file, &opened)) {
        looked.result = EngineError::kNotFound;
        looked.size = 0;
        return;
    }
    looked.result = 0;
    looked.size = uint64_t(target.status.st_size);
    if (!known.known || !file.IsValid() || looked.size != known.size || looked.info.LocalFileTime() == known.time)
        return;
    if (const int error = FingerprintOpenFile(file.Get(), opened, looked.print)) {
        looked.printResult = error == ESTALE ? EngineError::kSourceChanged : EngineErrorFromErrno(error);
        return;
    }
    looked.print.time = EngineFileTime(true, opened.st_mtim);
    looked.printResult = 0;
}
