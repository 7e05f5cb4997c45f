// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"
#include "platform/engine/ContentPrint.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <sys/stat.h>

// Replaces a destination with a copy of a source without ever leaving a partial destination:
// the data goes to a temporary file beside the destination, is flushed to disk and renamed
// over it. The copy keeps the source's modification time; an existing destination keeps its
// permissions. Results are 0 or an EngineError code (kNotFound for a missing source,
// kPathNotFound for a missing destination folder, kDiskFull, kIsFolder, kAccessDenied, kBadName,
// kSourceChanged when the source was written to while it was read, kGeneral); on failure the
// old destination is untouched and no temporary file remains.
// CopyFlush::No leaves the data to the system's own write-back: a crash of the process still
// leaves the old or the new content, a power cut may not.
// goOn, when given, is asked between chunks of about 1 MiB and once more before the new
// content is given a name; a false answer (the volume went away) ends the copy as a failure
// with kNotReady.
enum class CopyFlush { Yes, No };
using CopyGoOn = std::function<bool()>;

// When the name a copy gives reaches the disk. Until then a power cut may leave the old
// content under it (never a mix: the data is flushed before the rename).
enum class NameFlush {
    NewNames,  // a new name at once; a replaced one with the file system's next commit
    Always,    // every name at once
    Deferred,  // the caller flushes the folder later (FlushFolder), once for many copies
};

struct CopyOptions {
    CopyFlush flush = CopyFlush::Yes;
    CopyGoOn goOn;
    // The destination is on the handheld: only a regular file there is replaced (a link, pipe
    // or device node is refused, never written through), and nothing follows a link.
    bool handheld = false;
    NameFlush names = NameFlush::NewNames;
    // When given: fingerprints the bytes as they are copied (the copy then reads and writes
    // itself rather than leaving it to the kernel), and receives the new file's status as it
    // was given its name, times included.
    CContentHasher* hasher = nullptr;
    struct stat* written = nullptr;
};

// Replaces the entry name of folder (an open folder; O_PATH will do) with the data of in, a
// regular file open for reading whose fstat is inStatus. Works through folder alone, so a
// volume detached lazily meanwhile is still the one written to and cleaned up.
int32_t CopyIntoFolder(int in, const struct stat& inStatus, int folder, const QByteArray& name,
                       const CopyOptions& options);

// Between two PC paths. A destination that is a link is replaced at the link's target, so the
// user's link survives. options.handheld is ignored.
int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& destination, const CopyOptions& options);
int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& destination, CopyFlush flush = CopyFlush::Yes,
                       const CopyGoOn& goOn = {});

// Makes the names given in folder (open in any mode, O_PATH will do) durable: the folder is
// flushed. 0 or the EngineError code of the failure.
int32_t FlushFolder(int folder);

// The PC halves of a copy whose other end is on the handheld. The source must be a regular
// file, opened without blocking (kIsFolder, kAccessDenied for anything else); the destination's
// folder is opened and its name given, a link being resolved to its target as above.
int32_t OpenCopySource(const QByteArray& path, CUniqueFd& out, struct stat& status);
int32_t OpenCopyDestination(const QByteArray& path, CUniqueFd& folder, QByteArray& name);

// The hidden, unique name a copy into name writes first. Cut at a character boundary so that
// the whole name stays within maxBytes bytes and maxUtf16Units UTF-16 code units.
QByteArray TempNameFor(const QByteArray& name, int maxBytes, int maxUtf16Units);
// The name limits of the file system folder is on: what the kernel reports in bytes, and 255
// UTF-16 code units on FAT and exFAT, which count names that way.
void NameLimitsOf(int folder, int& maxBytes, int& maxUtf16Units);

// Copies everything from in (at its current offset) to out; 0 or the errno of the failure
// (ECANCELED when goOn said to stop). With CopyFlush::Yes, write-back starts as each chunk is copied.
int CopyFileData(int in, int out, CopyFlush flush = CopyFlush::Yes, const CopyGoOn& goOn = {},
                 CContentHasher* hasher = nullptr);

// The EngineError code for an errno value.
int32_t EngineErrorFromErrno(int error);
