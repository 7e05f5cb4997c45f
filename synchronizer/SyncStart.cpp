// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncStart.h"

#include "common/ProfileRegistry.h"
#include "common/StringTable.h"
#include "synchronizer/StringIds.h"

QString SyncStartRefusal() {
    if (IsEpocConnectInstalled())
        return {};
    // Every read of a damaged store fails, which would pass for a missing suite: the store is
    // checked whole only then, so that a sound one is not read through at every start. A read
    // that fails later in the run is said where it fails.
    if (QString message; !RegStoreUsable(message))
        return message;
    return CStringTable::Load(IDS_EPOC_NOT_INSTALLED);
}
