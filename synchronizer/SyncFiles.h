// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// PC-side file operations of a run.

// Last modification in calendar seconds; false when the file does not exist.
bool GetPcFileTime(const QString& path, int64_t& seconds);

// The "not in use" test of the scan: the file opens for writing without being created or
// truncated, and no other process holds it open (where the file system offers write
// leases). A read-only file fails.
bool IsPcFileAvailable(const QString& path);

// Copies source over destination through a temporary file beside destination and a rename,
// so destination is either the old file or the complete new one. Keeps the mode of an
// existing destination.
bool CopyFileAtomically(const QString& source, const QString& destination);

// A path beside destination for writing its replacement (file created, empty, mode of an
// existing destination); empty on failure. Move it over destination with ReplaceFile.
QString CreateSiblingTempFile(const QString& destination);
bool ReplaceFile(const QString& temporary, const QString& destination);

// A handheld local FILETIME (100 ns since 1601, local time) as calendar seconds UTC.
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
