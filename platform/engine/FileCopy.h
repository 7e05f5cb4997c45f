// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>

// Replaces destination with a copy of source without ever leaving a partial destination:
// the data goes to a temporary file beside the destination, is flushed to disk and renamed
// over it. The copy keeps the source's modification time; an existing destination keeps its
// permissions, and a destination that is a link is replaced at its target. Returns 0 or an EngineError code (kNotFound
// for a missing source, kPathNotFound for a missing destination folder, kDiskFull, kIsFolder, kAccessDenied, kGeneral);
// on failure the old destination is untouched and no temporary file remains.
// CopyFlush::No leaves the data to the system's own write-back: a crash of the process still
// leaves the old or the new content, a power cut may not.
enum class CopyFlush { Yes, No };
int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& destination, CopyFlush flush = CopyFlush::Yes);

// Copies everything from in (at its current offset) to out; 0 or the errno of the failure.
// With CopyFlush::Yes, write-back starts as each chunk is copied.
int CopyFileData(int in, int out, CopyFlush flush = CopyFlush::Yes);

// The EngineError code for an errno value.
int32_t EngineErrorFromErrno(int error);
