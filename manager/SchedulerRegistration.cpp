// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/SchedulerRegistration.h"

#include "common/AutostartEntry.h"
#include "common/ProfileRegistry.h"

SchedulerRegistration RegisterScheduler(const std::function<bool(const QString& path)>& start) {
    SchedulerRegistration result;
    QString path;
    if (!RegReadString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\SchedulerAppPath"), QString(), path,
                       kRegStringMax) ||
        path.isEmpty())
        return result;
    result.path = path;
    if (!RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                        QString::fromLatin1(kSchedulerAutostartName), path))
        return result;
    // The Run value starts nothing at log-on here; the autostart entry does.
    result.atLogOn = WriteAutostartEntry(QString::fromLatin1(kSchedulerAutostartName), path);
    // The scheduler has no window, so starting it cannot take the focus from the manager.
    result.started = start(path);
    return result;
}
