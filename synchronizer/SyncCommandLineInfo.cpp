// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncCommandLineInfo.h"

CSyncCommandLineInfo CSyncCommandLineInfo::Parse(const QStringList& args) {
    CSyncCommandLineInfo info;
    for (const QString& word : args) {
        if (!word.startsWith(QLatin1Char('/')) && !word.startsWith(QLatin1Char('-')))
            continue;
        const QString flag = word.mid(1);
        if (flag.compare(QLatin1String("P"), Qt::CaseInsensitive) == 0) {
            info.plan = true;
            continue;
        }
        if (flag.isEmpty() || (flag[0] != QLatin1Char('W') && flag[0] != QLatin1Char('w')))
            continue;
        info.singleBinding = true;
        // /W"7" as the manager writes it: the quotes around the name go.
        if (flag.size() > 1 && flag[1] == QLatin1Char('"'))
            info.keyName = flag.mid(2, flag.size() - 3);
        else
            info.keyName = flag.mid(1);
    }
    return info;
}
