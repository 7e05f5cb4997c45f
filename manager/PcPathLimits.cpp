// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/PcPathLimits.h"

#include "common/ProfileRegistry.h"
#include "platform/engine/EpocEngine.h"

namespace {
constexpr qsizetype kStoredTextBytes = kRegStringMax - 1;
constexpr qsizetype kFileSpecPathBytes = sizeof(FileSpec::path) - 1;
}  // namespace

bool IsBindablePcPath(const QString& folder, const QString& name) {
    const qsizetype folderBytes = folder.toUtf8().size();
    const qsizetype nameBytes = name.toUtf8().size();
    return folderBytes <= kStoredTextBytes && nameBytes <= kStoredTextBytes &&
           folderBytes + nameBytes <= kFileSpecPathBytes;
}
