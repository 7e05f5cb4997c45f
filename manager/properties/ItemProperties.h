// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

class CDovetailManagerDoc;
class CDovetailManagerView;
class IConverterInterface;
class QWidget;

// The pages' fields over the record read when the sheet opened: rules from the rules page,
// PC name, folder, type and size from the Windows page, EPOC name, folder and type from the
// EPOC page; everything else as it was read.
CDocSynchEntry MergeItemProperties(const CDocSynchEntry& opened, const CDocSynchEntry& rules,
                                   const CDocSynchEntry& winFile, const CDocSynchEntry& epocFile);

// Shows "Item properties" (rules, Windows file, EPOC file) for the entry; on OK rewrites the
// whole entry in one registry transaction and returns true. "WasUpdated" and
// "LastSyncTimeStamp" are written as the store holds them then, so a synchronization that
// finished while the sheet was open is not forgotten. A store that does not take the entry
// keeps the sheet open with a message. Cancel writes nothing.
// converters may be null: the type lists then offer no conversion.
bool EditBindingProperties(QWidget* parent, CDovetailManagerDoc& doc, int entry, IConverterInterface* converters);

// "P&roperties" on the list's selected row; repaints the list after OK.
void OnItemProperties(CDovetailManagerView& view);
