// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/DesktopShell.h"

#include <QDesktopServices>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

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
    // The MIME theme icon first: the provider's generic fallback would hide "no icon".
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QFileIconProvider().icon(info);
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
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

bool CDesktopShell::Explore(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
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
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}
