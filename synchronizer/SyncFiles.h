// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/ContentPrint.h"

#include <QString>

#include <cstdint>

// PC-side file operations of a run.

// Last modification in calendar seconds; false when the file does not exist.
bool GetPcFileTime(const QString& path, int64_t& seconds);

// The "not in use" test of the scan: the file opens for writing without being created or
// truncated, and no other process holds it open (where the file system offers write
// leases). A read-only file fails.
bool IsPcFileAvailable(const QString& path);

// What the run saw of a PC file, compared again before the file is overwritten so that an
// edit made in between is never lost, and after it was copied, so that a copy made while it
// was saved is never taken for its new content. Folders count as existing.
struct CPcFileStamp {
    bool exists = false;
    bool folder = false;
    int64_t modifiedNs = 0;
    int64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t changedNs = 0;  // status change: a write, also one that put the old time back
    // The modification time in whole seconds, as GetPcFileTime gives it.
    int64_t ModifiedSeconds() const {
        return modifiedNs >= 0 ? modifiedNs / 1000000000 : -((-modifiedNs + 999999999) / 1000000000);
    }
    // The same content as far as times and size tell: what a destination is checked against.
    bool SameContentAs(const CPcFileStamp& o) const {
        return exists == o.exists && folder == o.folder && modifiedNs == o.modifiedNs && size == o.size;
    }
    // The very same file, unwritten: what a copy's source is checked against. An editor that
    // saves into a new file and renames it over the old one changes the inode.
    friend bool operator==(const CPcFileStamp&, const CPcFileStamp&) = default;
};
CPcFileStamp StampPcFile(const QString& path);

// Copies source over destination as a file copy does: the copy gets the source's
// modification time, permissions, access-control list and attributes. destination is either the old file or the
// complete new one, and no temporary file remains, even when the process is killed; once it returns true the new
// content is on disk under its name.
bool CopyFileAtomically(const QString& source, const QString& destination);

// Fingerprints a PC file (size, modification time in nanoseconds, content); false when it cannot
// be read whole or was written to meanwhile.
bool FingerprintPcFile(const QString& path, CFileFacts& facts);
// CopyFileAtomically from a file of the run's own into its place, fingerprinting what it writes:
// facts are those of the document as it was named.
// reason receives the system's text of a failure.
bool PlaceConvertedFile(const QString& source, const QString& destination, CFileFacts& facts, QString& reason);

// Flushes the folder so that the names given in it are on disk; false when it cannot be.
bool FlushPcFolder(const QString& folder);

// A handheld local FILETIME (100 ns since 1601, local time) as calendar seconds UTC, in the
// zone the last tzset() found.
int64_t LocalFileTimeToUtcSeconds(uint64_t localFileTime);

// A folder only this user can enter, created exclusively below parent; removed with its
// content when the object goes away.
class CPrivateTempDir {
public:
    CPrivateTempDir() = default;
    ~CPrivateTempDir();
    CPrivateTempDir(const CPrivateTempDir&) = delete;
    CPrivateTempDir& operator=(const CPrivateTempDir&) = delete;

    bool Create(const QString& parent);
    void Remove();
    bool IsValid() const { return !m_path.isEmpty(); }
    // Ends without "/".
    const QString& Path() const { return m_path; }

private:
    QString m_path;
};
