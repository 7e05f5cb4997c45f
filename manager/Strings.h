// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/StringTable.h"

#include <QString>

// Identifiers of the manager's string table. Command prompts share the command's number;
// the text after "\n" is the command's tooltip.
enum ManagerString : int {
    kIdsOleInitFailed = 100,
    kIdrMainFrame = 128,  // document template string
    kIdsUnknown = 61225,
    kIdsNoEpocConnect = 61230,
    kIdsIdleObjects = 57345,

    kIdsNotConnected = 61900,
    kIdsSimilarItemExists = 61901,
    kIdsConfirmDelete = 61902,
    kIdsNoExecutable = 61903,
    kIdsNoUserInitialized = 61904,
    kIdsSelectCurrentFolder = 61905,
    kIdsBytesFormat = 61906,
    kIdsDevelopedFor = 61907,
    kIdsVersionFormat = 61909,
    kIdsColumnFirst = 61910,  // 61910..61917: the eight list column headings
    kIdsNoProgramToOpen = 61920,
    kIdsSetUpHint = 61921,
    // Store values that must not name files, each with the reason in %1.
    kIdsUserRefused = 61922,
    kIdsPcFolderRefused = 61923,
    kIdsPcFileRefused = 61924,
    kIdsLogPathRefused = 61925,
    // Store writes that did not land, and PC paths the store or the engine cannot take.
    kIdsCannotStoreBinding = 61930,
    kIdsCannotSwitchBinding = 61931,
    kIdsCannotDeleteBinding = 61932,
    kIdsCannotSaveProperties = 61933,
    kIdsCannotSaveOptions = 61934,
    kIdsPcPathTooLong = 61935,
    // Store contents the manager leaves alone, and handheld names it cannot bind.
    kIdsNotBindingKeys = 61940,
    kIdsEpocNameInvalid = 61941,
};

// Registers the manager's three tables (its own, the connection and adding texts, the
// property texts) with CStringTable; call once at start-up (tests too).
void InstallManagerStrings();
// The text of id; "???" when the table has none, so a missing text never shows blank.
QString LoadManagerString(int id);
// text followed by what to do where Dovetail was never set up for this user (the set-up
// window and its menu entries).
QString WithSetUpHint(const QString& text);
// The part of a prompt string before "\n" (status prompt) and after it (tooltip).
QString PromptPart(const QString& text);
QString TooltipPart(const QString& text);
