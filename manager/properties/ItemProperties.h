// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

class CDovetailManagerDoc;
class CDovetailManagerView;
class IConverterInterface;
class QWidget;

// The record OK writes: the pages' fields over the one read when the sheet opened, and the
// synchronizer's "WasUpdated" and "LastSyncTimeStamp" as the store holds them now, so a run
// that finished while the sheet was open is not forgotten.
CDocSynchEntry MergeItemProperties(const CDocSynchEntry& opened, const CDocSynchEntry& rules,
                                   const CDocSynchEntry& winFile, const CDocSynchEntry& epocFile);

// Shows "Item properties" (rules, Windows file, EPOC file) for the entry; on OK rewrites the
// whole entry in one registry transaction and returns true. Cancel writes nothing.
// converters may be null: the type lists then offer no conversion.
bool EditBindingProperties(QWidget* parent, CDovetailManagerDoc& doc, int entry, IConverterInterface* converters);

// "P&roperties" on the list's selected row; repaints the list after OK.
void OnItemProperties(CDovetailManagerView& view);
