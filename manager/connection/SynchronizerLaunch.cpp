// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/connection/SynchronizerLaunch.h"

#include "common/Profile.h"
#include "manager/ConnectionStrings.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "platform/shell/Shell.h"

#include <QStringList>

bool LaunchSynchronizer(QWidget* parent, int entry) {
    const QString path = CAppProfile().GetProfileString(QString(), QStringLiteral("SyncronizerPath"));
    if (path.size() < 3) {
        CMessageBox::Information(parent, WithSetUpHint(LoadConnectionString(kIdsSyncNotRegistered)));
        return false;
    }
    QStringList arguments;
    if (entry >= 0)
        arguments << QStringLiteral("/W\"%1\"").arg(entry);
    if (!IShell::Current().Open(path, arguments)) {
        CMessageBox::Information(parent, WithSetUpHint(LoadConnectionString(kIdsSyncNotFound)));
        return false;
    }
    return true;
}
