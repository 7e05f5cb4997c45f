// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/DesktopShell.h"

#include <QDesktopServices>
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
}  // namespace

QString CDesktopShell::GetTypeName(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {};
    if (info.isDir())
        return ShellFolderTypeName();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    if (!type.isValid())
        return {};
    return type.comment().isEmpty() ? type.name() : type.comment();
}

QIcon CDesktopShell::GetSmallIcon(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {};
    // One icon per type: the theme lookup walks icon folders and is far dearer than the
    // MIME lookup.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    const QString key = info.isDir() ? QStringLiteral("inode/directory") : type.name();
    if (const auto it = m_icons.constFind(key); it != m_icons.cend())
        return it.value();
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QFileIconProvider().icon(info);
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
