// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncStart.h"

#include "common/ProfileRegistry.h"
#include "common/StringTable.h"
#include "synchronizer/StringIds.h"

QString SyncStartRefusal() {
    // Before anything reads the store: every read of a damaged one fails, which would pass
    // for a missing suite.
    if (QString message; !RegStoreUsable(message))
        return message;
    if (!IsEpocConnectInstalled())
        return CStringTable::Load(IDS_EPOC_NOT_INSTALLED);
    return {};
}
