// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

#include <QString>
#include <QStringList>

class IConverterInterface;

// The entries of a file page's type box and which one it shows.
struct CTypeList {
    QStringList entries;  // distinct, in converter order
    QString selected;     // the entry to show; empty: the box's first entry
    bool enabled = true;
};

// PC types for the Windows page: the source names of the converters that take the PC file,
// else the PC-side names of the converters from the EPOC type, else the binding's own type.
// "No conversion" only, disabled, for a plain copy or without converters.
CTypeList BuildPcTypeList(const CDocSynchEntry& record, IConverterInterface* converters);
// EPOC types for the EPOC page: the target names of the converters that take the PC file,
// else the binding's own EPOC type; "No conversion" as above.
CTypeList BuildEpocTypeList(const CDocSynchEntry& record, IConverterInterface* converters);
