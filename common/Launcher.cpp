// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Launcher.h"

#include "common/ProfileRegistry.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
const QString kProfileKey = u"Software\\Veroz\\Dovetail"_s;
const QString kValue = u"Launcher"_s;
}  // namespace

QString RecordedLauncher() {
    QString path;
    if (!RegReadString(HKEY_CURRENT_USER, kProfileKey, kValue, path))
        return {};
    return path;
}

bool RecordLauncher(const QString& path) {
    if (path.isEmpty()) {
        RegDeleteValue(HKEY_CURRENT_USER, kProfileKey, kValue);
        return RecordedLauncher().isEmpty();
    }
    return RegWriteString(HKEY_CURRENT_USER, kProfileKey, kValue, path);
}

bool PackageRemoved() {
    const QString launcher = RecordedLauncher();
    return !launcher.isEmpty() && !QFileInfo(launcher).isExecutable();
}

QStringList LaunchCommand(const QString& program) {
    const QString launcher = RecordedLauncher();
    if (launcher.isEmpty())
        return {program};
    return {launcher, u"--start"_s, program};
}
