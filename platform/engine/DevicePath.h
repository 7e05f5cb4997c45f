// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// Maps EPOC paths ("C:\Documents\Report") onto the simulated handheld's folder on the PC:
// DeviceRoot/C/Documents/Report. Names match case-insensitively (an exact match wins) and
// keep their case when created. Paths that could leave the device root are refused, never
// followed.

struct DeviceTarget {
    QByteArray hostPath;  // the PC path (existing or to be created)
    QString name;         // on-disk name of the last component; "C:" for a drive itself
    bool exists = false;
};

// The path text of a FileSpec: 0, or EngineError::kBadName when it is not NUL-terminated
// within the record or is not valid UTF-8.
int32_t FileSpecPath(const FileSpec& spec, QByteArray& path);

// Resolves an EPOC path below deviceRoot. 0 on success (the last component may be absent:
// see exists); otherwise an EngineError code: kBadName for a refused path, kNotReady when the
// device root is unusable, kPathNotFound when the drive or a folder on the way is missing.
// foldsCase: the file system itself ignores case (FAT, exFAT), so a name that is found may be
// spelt otherwise on disk; the on-disk spelling is looked up, so replacing a file keeps it.
int32_t ResolveDevicePath(const QString& deviceRoot, const QByteArray& epocPath, DeviceTarget& out,
                          bool foldsCase = false);
