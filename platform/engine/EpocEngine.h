// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/ContentPrint.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// The connectivity suite's engine: every operation returns at once (0 = accepted) and
// completes later through one event on the sink, delivered on an engine thread, never on
// the caller's. Event results are 0 on success.

inline constexpr uint16_t kLocationPc = 1;
inline constexpr uint16_t kLocationDevice = 2;

#pragma pack(push, 1)
// 16-bit location, then the NUL-terminated path in the remaining 262 bytes (UTF-8).
struct FileSpec {
    uint16_t location = 0;
    char path[262] = {};
};
static_assert(sizeof(FileSpec) == 264);

// Callers read the machine id words at byte offsets 0x20 and 0x24.
struct MachineInfo {
    uint8_t bytes[0x40] = {};
    uint32_t WordAt(std::size_t offset) const {
        uint32_t v = 0;
        std::memcpy(&v, bytes + offset, sizeof v);
        return v;
    }
};

// attributes at 2 (0x10 = folder), local FILETIME at 6, three type ids at 18, 22, 26,
// NUL-terminated name at 30.
struct RemoteFileInfo {
    uint8_t bytes[30 + 256] = {};
    uint32_t Attributes() const { return Read32(2); }
    uint64_t LocalFileTime() const {
        uint64_t v = 0;
        std::memcpy(&v, bytes + 6, sizeof v);
        return v;
    }
    uint32_t TypeId(int i) const { return Read32(18 + 4 * i); }
    const char* Name() const { return reinterpret_cast<const char*>(bytes + 30); }
    uint32_t Read32(std::size_t offset) const {
        uint32_t v = 0;
        std::memcpy(&v, bytes + offset, sizeof v);
        return v;
    }
};
#pragma pack(pop)
static_assert(sizeof(RemoteFileInfo) == 286);

inline constexpr uint32_t kAttrFolder = 0x10;

// Builds a FileSpec; false when the path does not fit (261 bytes of UTF-8 at most).
bool MakeFileSpec(uint16_t location, const char* utf8Path, FileSpec& out);

class IEpocEngineEvents {
public:
    virtual ~IEpocEngineEvents() = default;
    virtual int32_t OnInitialized(int32_t result) = 0;
    virtual int32_t OnConnected(int32_t result) = 0;
    virtual int32_t OnDisconnected(int32_t result) = 0;
    virtual int32_t OnRemoteFileOpened(int32_t result) = 0;
    virtual int32_t OnCopyDone(int32_t result) = 0;
    virtual int32_t OnRemoteFileClosed(int32_t result) = 0;
    virtual int32_t OnStatus(int32_t a, int32_t b, int32_t c) = 0;
    virtual int32_t OnMachineReady(int32_t result) = 0;
    virtual int32_t OnSessionReady(int32_t result) = 0;
    virtual int32_t OnRemoteFileBusy(int32_t result) = 0;
    // Completes MakeCopiesDurable.
    virtual int32_t OnCopiesDurable(int32_t result) = 0;
    // Completes ReadFingerprint.
    virtual int32_t OnFingerprintRead(int32_t /*result*/) { return 0; }
    // Completes LookAtRemoteFiles.
    virtual int32_t OnRemoteFilesLooked(int32_t /*result*/) { return 0; }
};

// A handheld file as the caller knew it, in the engine's terms for the handheld (CFileFacts):
// a look at it reads it whole too when only its time moved.
struct CKnownFile {
    bool known = false;
    uint64_t size = 0;
    uint64_t time = 0;
};

// Released by destroying the pointer.
class IEpocRemoteFile {
public:
    virtual ~IEpocRemoteFile() = default;
    // Valid once OnRemoteFileOpened reported success.
    virtual int32_t GetFileInfo(RemoteFileInfo& info) = 0;
    // The whole size, which the information block holds only up to 4 GiB - 1.
    virtual int32_t GetFileSize(uint64_t& size) {
        RemoteFileInfo info;
        const int32_t result = GetFileInfo(info);
        size = result == 0 ? info.Read32(14) : 0;
        return result;
    }
};

class IEpocMachine {
public:
    virtual ~IEpocMachine() = default;
    // Valid once OnMachineReady reported success.
    virtual int32_t GetMachineInfo(MachineInfo& info) = 0;
};

class IEpocEngine {
public:
    virtual ~IEpocEngine() = default;
    // The sink must outlive the engine or be replaced by nullptr first; no event is delivered
    // after SetEventSink(nullptr) returns or after the engine is destroyed.
    virtual int32_t SetEventSink(IEpocEngineEvents* sink) = 0;
    virtual int32_t Connect(int32_t timeoutMs) = 0;
    // out is set at once; it is usable after OnRemoteFileOpened(0). OnRemoteFileBusy
    // instead means: release, then open again.
    virtual int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) = 0;
    // OnCopyDone(0) means the destination holds the whole new content under its name, its data
    // on disk; the name itself may still be lost to a power cut until MakeCopiesDurable.
    virtual int32_t CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite) = 0;
    // CopyFile over a handheld file as the caller saw it (seen.known false: none was there;
    // seen.time the information block's time, seen.size its 32-bit size): a destination found
    // otherwise is left as it is, OnCopyDone(kDestinationChanged); one that has gone is no
    // longer in the way. OnCopyDone(kNotSupported): look at the destination first, then CopyFile.
    virtual int32_t CopyFileOver(const FileSpec& /*source*/, const FileSpec& /*destination*/,
                                 const CKnownFile& /*seen*/) {
        return kNotSupported;
    }
    // Makes durable every name the engine's copies gave, on either side, since the engine was
    // made or since the last call: after OnCopiesDurable(0) a power cut or a pulled handheld
    // leaves each copied destination with its new content. A failure (the handheld gone, a flush
    // that failed) says nothing of those names.
    virtual int32_t MakeCopiesDurable() = 0;
    virtual int32_t CloseRemoteFile(const FileSpec& spec, uint32_t attributes) = 0;
    virtual int32_t AttachRemote(int32_t mode) = 0;
    virtual int32_t GetMachine(int32_t mode, std::unique_ptr<IEpocMachine>& out) = 0;
    virtual int32_t BeginSession() = 0;
    virtual int32_t ReleaseRemoteFile(const FileSpec& spec) = 0;
    virtual int32_t ForceCloseRemoteFile(const FileSpec& spec) = 0;

    // Reads a whole file, on the handheld or the PC, and fingerprints it; completes with
    // OnFingerprintRead, after which GetFingerprint gives what was read (until the next read).
    // A file written to while it was read fails with kSourceChanged.
    virtual int32_t ReadFingerprint(const FileSpec& /*spec*/) { return kNotSupported; }
    virtual int32_t GetFingerprint(CFileFacts& /*facts*/) { return kNotSupported; }
    // Looks at many handheld files in one operation, each as OpenRemoteFile and then
    // CloseRemoteFile would, but never reporting one busy; completes with OnRemoteFilesLooked,
    // after which GetLookedFile(i) gives the i-th file's outcome until the next call: 0 with its
    // information block and whole size, or the error its opening would have given. A file
    // found with the size known[i] gives and another time is also read whole, in the same
    // opening, as ReadFingerprint would: GetFingerprintOf(i) gives that read's result and facts
    // (kNotSupported for a file not read). known may be shorter than specs.
    // OnRemoteFilesLooked(kNotSupported): look at them one by one.
    virtual int32_t LookAtRemoteFiles(const std::vector<FileSpec>& /*specs*/,
                                      const std::vector<CKnownFile>& /*known*/) {
        return kNotSupported;
    }
    virtual int32_t GetLookedFile(std::size_t /*index*/, RemoteFileInfo& /*info*/, uint64_t& /*size*/) {
        return kNotSupported;
    }
    virtual int32_t GetFingerprintOf(std::size_t /*index*/, CFileFacts& /*facts*/) { return kNotSupported; }
    // After OnCopyDone(0) and until the next CopyFile: the bytes the copy wrote and its
    // destination's size and time as the engine reports them for that side.
    virtual int32_t GetCopyFacts(CFileFacts& /*facts*/) { return kNotSupported; }

    // The session BeginSession opened is with the machine identified then: afterwards the
    // engine never connects to another handheld (another volume, another machine id); while
    // that one is away every operation on the handheld fails with kNotReady.
    static constexpr int32_t kNotSupported = -12;
    // Any thread, returns at once: the copy under way ends at its next step (about 1 MiB) with
    // kCancelled, its destination untouched, and every copy issued later fails so at once. The
    // user stopped the run: the process must not live on until a long copy ends. Engines whose
    // copies end at once anyway need not do anything.
    virtual void CancelCopies() {}
};

// The engine the suite provides: the removable-volume engine when the configuration chooses
// it (HKLM "Software\Veroz\PsiWin32" "Handheld" = "Volume"), else the simulated handheld
// configured in the registry. Null when it cannot be created.
std::unique_ptr<IEpocEngine> CreateEpocEngine();
