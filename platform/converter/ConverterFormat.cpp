// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ConverterFormat.h"

QString FormatLine(const QString& format, int line) {
    if (line < 0)
        return QString();
    qsizetype start = 0;
    for (int i = 0; i < line; ++i) {
        const qsizetype next = format.indexOf(u'\n', start);
        if (next < 0)
            return QString();
        start = next + 1;
    }
    const qsizetype end = format.indexOf(u'\n', start);
    return format.mid(start, end < 0 ? -1 : end - start);
}

bool FormatMatches(const QString& format, const QString& type) {
    if (type.isEmpty())
        return false;
    return FormatLine(format, 0).compare(type, Qt::CaseInsensitive) == 0 ||
           FormatLine(format, 1).compare(type, Qt::CaseInsensitive) == 0;
}
