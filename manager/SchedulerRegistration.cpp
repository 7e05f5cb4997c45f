// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/SchedulerRegistration.h"

#include "common/AutostartEntry.h"
#include "common/ProfileRegistry.h"

void RegisterScheduler(const std::function<void(const QString& path)>& start) {
    QString path;
    if (!RegReadString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\SchedulerAppPath"), QString(), path,
                       kRegStringMax))
        return;
    if (!RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                        QString::fromLatin1(kSchedulerAutostartName), path))
        return;
    // The Run value starts nothing at log-on here; the autostart entry does.
    WriteAutostartEntry(QString::fromLatin1(kSchedulerAutostartName), path);
    // The scheduler has no window, so starting it cannot take the focus from the manager.
    start(path);
}
