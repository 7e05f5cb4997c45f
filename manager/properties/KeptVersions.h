// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

// What the synchronizer keeps of a binding in the backup folder: each side's content it
// replaced while the other had changed too ("name (PC, binding 3, 2026-12-09 17.01.02).ext",
// the side word as the synchronizer writes it), and the backup the binding's rules make of the
// PC document ("name", or "name (binding 3)" where bindings share the name).
enum class KeptSide { Pc, Handheld, Backup };

struct CKeptVersion {
    QString path;
    KeptSide side = KeptSide::Backup;
    QDateTime kept;  // when it was kept: from the name; a backup's is its modification time
    qint64 size = 0;
};

// The side words in kept names; the synchronizer's own ("PC", "MC 218").
struct CKeptSideWords {
    QString pc;
    QString handheld;
};

// The binding's kept copies in folder, newest first. Empty when the folder is missing.
std::vector<CKeptVersion> ListKeptVersions(const QString& folder, const CDocSynchEntry& binding,
                                           const CKeptSideWords& words);

struct CRestoreResult {
    bool ok = false;
    QString keptCurrent;  // the version the document's content was kept as; empty when it had none
    int32_t error = 0;    // the copy's error when not ok
};

// Puts version back as the binding's PC document. The document's content is first kept as a PC
// version in folder, so a restore can itself be undone by restoring that one. The document then
// carries now as its time: the next run counts it as changed and takes it to the handheld. On
// failure the document is as it was.
CRestoreResult RestoreKeptVersion(const CKeptVersion& version, const CDocSynchEntry& binding, const QString& folder,
                                  const CKeptSideWords& words, const QDateTime& now);
