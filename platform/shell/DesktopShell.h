// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/shell/Shell.h"

#include <QHash>
#include <QMimeType>

#include <sys/stat.h>

// The real desktop: MIME database descriptions, the desktop's icon theme, and
// xdg-open style requests through QDesktopServices.
class CDesktopShell : public IShell {
public:
    QString GetTypeName(const QString& path) override;
    QIcon GetSmallIcon(const QString& path) override;
    bool Open(const QString& path, const QStringList& arguments = {}) override;
    bool Explore(const QString& folder) override;
    bool OpenInTextViewer(const QString& path) override;

    // What tells one state of a file from another: rewriting, replacing or retyping it
    // moves at least one of these.
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        mode_t mode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileStamp& other) const;
    };

private:
    // The file's MIME type; the last answer is reused while the same path shows the same
    // stamp, since a type name is mostly followed by the icon of the same file.
    QMimeType TypeOf(const QString& path, const FileStamp& stamp);

    QHash<QString, QIcon> m_icons;        // by MIME type
    QHash<QString, QString> m_typeNames;  // by MIME type: the description looks up the locale each time
    struct {
        QString path;
        FileStamp stamp;
        QMimeType type;
    } m_last;
};
