// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>

// Replaces destination with a copy of source without ever leaving a partial destination:
// the data goes to a temporary file beside the destination, is flushed to disk and renamed
// over it. The copy keeps the source's modification time; an existing destination keeps its
// permissions, and a destination that is a link is replaced at its target. Returns 0 or an EngineError code (kNotFound
// for a missing source, kPathNotFound for a missing destination folder, kDiskFull, kIsFolder, kAccessDenied, kGeneral);
// on failure the old destination is untouched and no temporary file remains.
// CopyFlush::No leaves the data to the system's own write-back: a crash of the process still
// leaves the old or the new content, a power cut may not.
// goOn, when given, is asked between chunks of about 1 MiB and once more before the rename; a
// false answer (the volume went away) ends the copy as a failure with kNotReady.
enum class CopyFlush { Yes, No };
using CopyGoOn = std::function<bool()>;
int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& destination, CopyFlush flush = CopyFlush::Yes,
                       const CopyGoOn& goOn = {});

// Copies everything from in (at its current offset) to out; 0 or the errno of the failure
// (ECANCELED when goOn said to stop). With CopyFlush::Yes, write-back starts as each chunk is copied.
int CopyFileData(int in, int out, CopyFlush flush = CopyFlush::Yes, const CopyGoOn& goOn = {});

// The EngineError code for an errno value.
int32_t EngineErrorFromErrno(int error);
