// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"
#include "platform/engine/DevicePath.h"
#include "platform/engine/EpocEngine.h"

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <utility>
#include <vector>

// The objects an engine hands out at once and fills in later on its worker thread: the
// caller may read them only after their completion event, and gets kNotReady before.

struct RemoteFileState {
    std::mutex mutex;
    bool open = false;
    RemoteFileInfo info;
    uint64_t size = 0;
};

class CEngineRemoteFile final : public IEpocRemoteFile {
public:
    explicit CEngineRemoteFile(std::shared_ptr<RemoteFileState> state) : m_state(std::move(state)) {}
    int32_t GetFileInfo(RemoteFileInfo& info) override;
    int32_t GetFileSize(uint64_t& size) override;

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

// Fills the information block of an existing device entry; false when it does not exist. A
// regular file's header is read through the guarded walk's folder, without blocking. With keep,
// the file read stays open there, its status in kept.
bool FillRemoteFileInfo(const DeviceTarget& target, RemoteFileInfo& info, CUniqueFd* keep = nullptr,
                        struct stat* kept = nullptr);

// The two ends of an engine copy, opened: the source's data, and the destination's folder and
// name. A handheld end is reached only through the path layer (DevicePath.h), never by a path
// that a link swapped in meanwhile could redirect.
struct EngineCopy {
    CUniqueFd source;
    struct stat sourceStatus {};
    CDeviceDir deviceFolder;  // the destination's folder on the handheld
    CUniqueFd pcFolder;       // or on the PC
    QByteArray destinationName;
    bool destinationExists = false;
    bool destinationOnHandheld = false;
    struct stat destinationStatus {};  // as found when opened, while destinationExists
    int DestinationFolder() const { return destinationOnHandheld ? deviceFolder.Fd() : pcFolder.Get(); }
};
using DeviceResolver = std::function<int32_t(const FileSpec&, DeviceTarget&)>;

// What the engine's getters hand out after their events: written on the worker, read by the caller.
struct CEngineFacts {
    std::mutex mutex;
    bool copyValid = false;
    CFileFacts copy;
    bool printValid = false;
    CFileFacts print;
    int32_t GetCopy(CFileFacts& facts);
    int32_t GetPrint(CFileFacts& facts);
    void SetCopy(bool valid, const CFileFacts& facts);
    void SetPrint(bool valid, const CFileFacts& facts);
};

// What LookAtRemoteFiles found, one entry per file, handed from the worker to the caller.
struct CLookedFile {
    int32_t result = 0;
    RemoteFileInfo info;
    uint64_t size = 0;
    int32_t printResult = IEpocEngine::kNotSupported;
    CFileFacts print;
};
class CLookedFiles {
public:
    void Set(std::vector<CLookedFile> files);
    int32_t Get(std::size_t index, RemoteFileInfo& info, uint64_t& size);
    int32_t GetPrint(std::size_t index, CFileFacts& facts);

private:
    std::mutex m_mutex;
    std::vector<CLookedFile> m_files;
};

// Looks at the entry target resolved to as opening it would: 0, or kNotFound. The file known
// describes, found with its size and another time, is read whole in the same opening.
void LookAtDeviceEntry(const DeviceTarget& target, const CKnownFile& known, CLookedFile& looked);

// A file's modification time as the engine reports it for a side (see CFileFacts).
uint64_t EngineFileTime(bool onHandheld, const struct timespec& modified);

// Fingerprints the file spec names (an absolute PC path, or what resolve finds on the
// handheld). 0 or the EngineError code (kSourceChanged when it was written to meanwhile).
int32_t FingerprintEngineFile(const FileSpec& spec, const DeviceResolver& resolve, CFileFacts& facts);

// Opens both ends of a copy: a PC end is an absolute path; a handheld end is what resolve
// finds. 0, or the EngineError code the copy fails with (kNotFound for a missing source,
// kAccessDenied for an existing destination without overwrite, kDestinationChanged for one
// that is not as seen says: see CopyFileOver).
int32_t OpenEngineCopy(const FileSpec& source, const FileSpec& destination, int32_t overwrite,
                       const DeviceResolver& resolve, EngineCopy& out, const CKnownFile* seen = nullptr);

// The folders an engine's copies gave names in since those names were last made durable
// (copies flush their data at once and their names later, once per folder: MakeCopiesDurable).
// Worker thread only. No folder is kept open: each is reached again when it is flushed.
class CWrittenFolders {
public:
    // A copy gave a name in folder (its destination's folder, open), the destination being spec.
    void Add(const FileSpec& destination, int folder);
    bool IsEmpty() const { return m_folders.empty(); }
    bool HasHandheldFolder() const;
    void Clear() { m_folders.clear(); }
    // Flushes every folder, reached again through resolve on the handheld and by path on the PC,
    // and forgets them: a name that could not be made durable now is its caller's to give up on.
    // A folder found replaced meanwhile has its whole file system flushed instead. 0, or the
    // first failure (kNotReady when the handheld is gone).
    int32_t Flush(const DeviceResolver& resolve);

private:
    struct Folder {
        FileSpec destination;
        dev_t device = 0;
        ino_t inode = 0;
    };
    static int32_t FlushOne(const Folder& folder, const DeviceResolver& resolve);
    std::vector<Folder> m_folders;
};
