// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

#include "platform/shell/DesktopShell.h"

#include <QMimeData>
#include <QUrl>

namespace {
IShell* g_current = nullptr;
}  // namespace

IShell& IShell::Current() {
    if (g_current)
        return *g_current;
    static CDesktopShell desktop;
    return desktop;
}

void IShell::SetCurrent(IShell* shell) {
    g_current = shell;
}

QString ShellFolderTypeName() {
    return QStringLiteral("File Folder");
}

QStringList FileListFromMimeData(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

bool HasFileList(const QMimeData* data) {
    return !FileListFromMimeData(data).isEmpty();
}

QMimeData* MakeFileListMimeData(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}
