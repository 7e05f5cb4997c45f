// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/DevicePath.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// An EPOC path split into its parts: "C:\Documents\Report" is drive 'C', folders
// {"Documents"} and name "Report"; "C:\Documents\" and "C:" have an empty name.
struct EpocPath {
    QChar drive;
    QStringList folders;
    QString name;

    // "C:\Documents" for the folder part (just "C:" at the root), without a trailing backslash.
    QString FolderText() const;
    // FolderText() + "\" + name.
    QString FullText() const;
};

// False for anything but "X:" followed by backslash-separated valid names; the last part
// may be empty or hold the wildcards "*" and "?" (allowWildcards).
bool ParseEpocPath(const QString& text, EpocPath& out, bool allowWildcards = false);
// A name the handheld accepts: not empty, not "." or "..", no "\", "/", ":", "*", "?", NUL,
// no control characters.
bool IsValidEpocName(const QString& name);

struct DeviceEntry {
    QString name;  // as stored on the handheld
    bool isFolder = false;
};

// The handheld's file system as the chooser shows it: one folder per drive letter below the
// root. Everything goes through the engine's path layer, so links are never followed or shown,
// only folders and regular files are listed, and a file's type is read only from a regular file
// opened without blocking. Names are looked up case-insensitively (an exact match wins); hidden
// dot-files (the volume's marker, a copy's temporary file) are not shown. The root is opened
// afresh for every call: the chooser stays open for long, and an open folder would keep a
// volume from unmounting.
class CDeviceFolder {
public:
    // The connected removable volume's folder when the suite uses volumes, else the root named
    // by the simulator's "DeviceRoot" registry value; false when there is none.
    bool OpenFromRegistry();
    bool Open(const QString& root);
    bool Open(const DeviceRootPlace& root);
    // The root's folder on the PC, for display.
    const QString& Root() const { return m_root; }

    // Upper-case drive letters present, in order.
    QList<QChar> Drives() const;
    // The folder's parts as stored (case corrected), or nothing when a part does not exist.
    std::optional<QStringList> FindFolder(QChar drive, const QStringList& folders) const;
    // Entries of an existing folder (parts as returned by FindFolder): folders first, then
    // files, each by name ignoring case.
    std::vector<DeviceEntry> List(QChar drive, const QStringList& folders) const;
    std::optional<DeviceEntry> Find(QChar drive, const QStringList& folders, const QString& name) const;
    // The three EPOC type identifiers of a file in an existing folder; zeros when it has no
    // valid header or is not a regular file.
    void ReadFileType(QChar drive, const QStringList& folders, const QString& name, uint32_t& uid1, uint32_t& uid2,
                      uint32_t& uid3) const;

private:
    // The drive's folder, or the folder below it given by its parts; the parts as stored.
    bool OpenFolder(QChar drive, const QStringList& folders, CDeviceDir& out, QStringList* actual = nullptr) const;

    DeviceRootPlace m_place;
    QString m_root;
};
