// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/StringTable.h"

#include <QHash>

namespace {
QHash<int, QString>& Table() {
    static QHash<int, QString> table;
    return table;
}
}  // namespace

void CStringTable::Install(const std::vector<std::pair<int, const char*>>& table) {
    for (const auto& [id, text] : table)
        Table().insert(id, QString::fromUtf8(text ? text : ""));
}

QString CStringTable::Load(int id, bool* ok) {
    const auto it = Table().constFind(id);
    const bool found = it != Table().constEnd();
    if (ok)
        *ok = found;
    return found ? *it : QString();
}

void CStringTable::Clear() {
    Table().clear();
}
