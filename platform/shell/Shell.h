// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

class QMimeData;

// The desktop as the programs see it: type names and icons of files, and the "open" and
// "explore" requests. One implementation talks to the real desktop; tests install a
// recording double with SetCurrent.
class IShell {
public:
    virtual ~IShell() = default;

    // The desktop's description of the file's type, "File Folder" for a folder, empty
    // when the path does not exist.
    virtual QString GetTypeName(const QString& path) = 0;
    // Small (16 x 16) icon of the path; null when the desktop has none.
    virtual QIcon GetSmallIcon(const QString& path) = 0;
    // Opens a document with its associated program, or starts a program with the given
    // arguments. False when the desktop refused the request or has no program for it.
    virtual bool Open(const QString& path, const QStringList& arguments = {}) = 0;
    // Shows a folder in the desktop's file manager; false when there is none or the folder
    // does not exist.
    virtual bool Explore(const QString& folder) = 0;
    // Opens a text file (a log) in the desktop's plain-text viewer; false when there is none.
    virtual bool OpenInTextViewer(const QString& path) = 0;

    // The shell in use; the desktop unless a test installed another one.
    static IShell& Current();
    // Installs shell as the current one; nullptr goes back to the desktop. The caller keeps
    // ownership and must reinstall before shell goes away.
    static void SetCurrent(IShell* shell);
};

// Text the shell reports for a folder.
QString ShellFolderTypeName();

// Local file paths of a shell file list (text/uri-list) in the data; empty when it holds none.
QStringList FileListFromMimeData(const QMimeData* data);
bool HasFileList(const QMimeData* data);
// Data carrying the paths as a shell file list, for the clipboard and drags.
QMimeData* MakeFileListMimeData(const QStringList& paths);
