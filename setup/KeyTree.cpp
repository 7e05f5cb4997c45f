// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/KeyTree.h"

bool DeleteKeyTree(RegRoot root, const QString& parent, const QString& name) {
    CRegistry& registry = CRegistry::Default();
    const QString key = parent.isEmpty() ? name : parent + u'\\' + name;
    if (name.isEmpty() || !registry.KeyExists(root, key))
        return false;
    int index = 0;
    QString child;
    while (registry.EnumSubKey(root, key, index, child) == RegStatus::Ok) {
        DeleteKeyTree(root, key, child);
        // A child that survived stays at this position; look past it next time.
        if (registry.KeyExists(root, key + u'\\' + child))
            ++index;
    }
    registry.DeleteKey(root, key);
    return true;
}
