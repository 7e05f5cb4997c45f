// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/DesktopShell.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {
// False when the desktop's associations name no program for the type nor for any type it
// derives from; the request would then end in nothing. Without xdg-mime nothing can be told
// and the request is made.
bool HasProgramFor(const QMimeType& type) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty() || !type.isValid())
        return true;
    const QStringList names = QStringList{type.name()} + type.allAncestors();
    for (const QString& name : names) {
        QProcess query;
        query.start(tool, {QStringLiteral("query"), QStringLiteral("default"), name});
        if (!query.waitForFinished(5000)) {
            query.kill();
            query.waitForFinished(1000);
            return true;
        }
        if (query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    return false;
}

bool OpenWithAssociation(const QFileInfo& info, const QMimeType& type) {
    if (!HasProgramFor(type))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

// False when path names nothing (a link is followed).
bool StampOf(const QString& path, CDesktopShell::FileStamp& stamp) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.mode = st.st_mode;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    stamp.changed = st.st_ctim;
    return true;
}
}  // namespace

bool CDesktopShell::FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && mode == other.mode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

QMimeType CDesktopShell::TypeOf(const QString& path, const FileStamp& stamp) {
    if (m_last.type.isValid() && m_last.path == path && m_last.stamp == stamp)
        return m_last.type;
    m_last = {path, stamp, QMimeDatabase().mimeTypeForFile(QFileInfo(path))};
    return m_last.type;
}

QString CDesktopShell::GetTypeName(const QString& path) {
    FileStamp stamp;
    if (!StampOf(path, stamp))
        return {};
    if (S_ISDIR(stamp.mode))
        return ShellFolderTypeName();
    const QMimeType type = TypeOf(path, stamp);
    if (!type.isValid())
        return {};
    auto it = m_typeNames.constFind(type.name());
    if (it == m_typeNames.cend())
        it = m_typeNames.insert(type.name(), type.comment().isEmpty() ? type.name() : type.comment());
    return it.value();
}

QIcon CDesktopShell::GetSmallIcon(const QString& path) {
    FileStamp stamp;
    if (!StampOf(path, stamp))
        return {};
    // One icon per type: the theme lookup walks icon folders and is far dearer than the
    // MIME lookup.
    const QMimeType type = TypeOf(path, stamp);
    const QString key = S_ISDIR(stamp.mode) ? QStringLiteral("inode/directory") : type.name();
    if (const auto it = m_icons.constFind(key); it != m_icons.cend())
        return it.value();
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QFileIconProvider().icon(QFileInfo(path));
    m_icons.insert(key, icon);
    return icon;
}

bool CDesktopShell::Open(const QString& path, const QStringList& arguments) {
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // Programs are started directly, so that arguments reach them; documents go to the
    // desktop's association.
    if (info.isFile() && info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), arguments, info.absolutePath());
    return OpenWithAssociation(info, QMimeDatabase().mimeTypeForFile(info));
}

bool CDesktopShell::Explore(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    return OpenWithAssociation(info, QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory")));
}

bool CDesktopShell::OpenInTextViewer(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    // $VISUAL is an editor for terminals; prefer a desktop text viewer, then the association.
    for (const char* viewer : {"gnome-text-editor", "gedit", "kate", "mousepad", "xed", "pluma"}) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(viewer));
        if (!program.isEmpty())
            return QProcess::startDetached(program, {info.absoluteFilePath()});
    }
    return OpenWithAssociation(info, QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")));
}
