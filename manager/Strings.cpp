// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/Strings.h"

#include "common/StringTable.h"
#include "manager/ConnectionStrings.h"
#include "manager/PropertyStrings.h"

#include <utility>
#include <vector>

namespace {
const std::vector<std::pair<int, const char*>>& Table() {
    static const std::vector<std::pair<int, const char*>> table = {
        {kIdsOleInitFailed, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
        {kIdrMainFrame, "Dovetail\n\nDovetl\n\n\nDovetailManager.Document\nDovetl Document"},
        {kIdsUnknown, "(unknown)"},
        {kIdsNoEpocConnect, "Ericsson EPOC Connect is not installed"},
        {kIdsAppTitle, "Dovetail"},
        {kIdsIdleObjects, "object(s)"},
        {kIdsNotConnected, "Not connected"},
        {kIdsSimilarItemExists, "Similar item already exists"},
        {kIdsConfirmDelete, "You are about to delete a binding.\nPlease confirm."},
        {kIdsNoExecutable, "No executable defined or file does not yet exist"},
        {kIdsNoUserInitialized, "No user initialized"},
        {kIdsSelectCurrentFolder,
         "Please select 'My Ericsson Properties'\nand confirm the 'Current Folder'\non the General page first."},
        {kIdsBytesFormat, "%d bytes"},
        {kIdsDevelopedFor, "Developed for Ericsson"},
        {kIdsVersionFormat, "Dovetail Version %s"},
        {kIdsNoProgramToOpen, "The desktop has no program to open\n%1"},
        {kIdsSetUpHint,
         "Dovetail may not be set up for you yet. To set it up, choose \"Dovetail\" or \"Dovetail handheld\" in "
         "the desktop's menu of applications: that window registers you, your documents folder and your "
         "handheld, and installs Dovetail's programs."},
        {kIdsUserRefused, "The name of the current Ericsson EPOC Connect user cannot name the backup folder:\n%1"},
        {kIdsPcFolderRefused,
         "The 'Current Folder' of the current user cannot be used:\n%1\n\nPlease select 'My Ericsson "
         "Properties'\nand confirm the 'Current Folder'\non the General page first."},
        {kIdsPcFileRefused, "The PC file of this binding cannot be used:\n%1\n\nChoose another one in its Properties."},
        {kIdsLogPathRefused, "The synchronization log cannot be opened:\n%1"},
        {kIdsCannotStoreBinding,
         "The binding could not be stored: the settings store is busy or cannot be written.\nNothing was added."},
        {kIdsCannotSwitchBinding,
         "The binding could not be switched on or off: the settings store is busy or cannot "
         "be written.\nThe list shows it as it is stored."},
        {kIdsCannotDeleteBinding,
         "The binding could not be deleted: the settings store is busy or cannot be written.\nIt stays in the list."},
        {kIdsCannotSaveProperties,
         "The properties could not be saved: the settings store is busy or cannot be written.\nPress OK to try again, "
         "or Cancel to keep the binding as it is stored."},
        {kIdsCannotSaveOptions,
         "The options could not be saved: the settings store is busy or cannot be written.\nPress OK to try again, or "
         "Cancel to keep the options as they are stored."},
        {kIdsPcPathTooLong,
         "This PC file cannot be bound, its path is too long:\n%1\nThe folder and the file name may take 259 bytes "
         "each, and 261 bytes together (a character beyond ASCII takes 2 to 4 bytes)."},
        {kIdsNotBindingKeys,
         "These keys under \"DocSynchEntries\" are not binding numbers and are not listed: %1\nThe manager and the "
         "synchronizer leave them alone."},
        {kIdsEpocNameInvalid, "This file cannot be bound: the MC 218 cannot hold its name there.\n%1"},
        {kIdsColumnFirst + 0, "PC Name"},
        {kIdsColumnFirst + 1, "PC Path"},
        {kIdsColumnFirst + 2, "PC Type"},
        {kIdsColumnFirst + 3, "EPOC Name"},
        {kIdsColumnFirst + 4, "EPOC Path"},
        {kIdsColumnFirst + 5, "EPOC Type"},
        {kIdsColumnFirst + 6, "Size"},
        {kIdsColumnFirst + 7, "Last Synch"},
        // Command prompts and tooltips.
        {32771, "Explore the PC folder containing the selected file.\nExplore"},
        {32772, "Launch the selected file.\nLaunch"},
        {32773, "Enable/Disable."},
        {32775, "Delete selected item.\nDelete"},
        {32781, "Add a file to synchronize from your PC.\nAdd PC file"},
        {32782, "Display Help.\nHelp"},
        {32783, "Add a file to synchronize from your MC 218.\nAdd EPOC file"},
        {32784, "Synchronize all enabled items.\nSynchronize All"},
        {32785, "Synchronize selected item.\nSynchronize"},
        {32786, "Display properties of selected item.\nProperties"},
        {32787, "Delete selected item.\nDelete"},
        {32788, "Go to the backup folder"},
        {32790, "Show information about last synchronization.\nLog"},
        {32795, "Change options."},
        {32796, "Show what a synchronization would do now, before it does it.\nPreview Synchronization"},
        {57637, "Insert Clipboard contents.\nPaste"},
        {57664, "Application Information.\nAbout"},
        {57665, "Quit the application\nExit"},
        {59392, "Show/hide the toolbar."},
        {59393, "Show/hide the status bar."},
    };
    return table;
}
}  // namespace

void InstallManagerStrings() {
    CStringTable::Install(Table());
    InstallConnectionStrings();
    InstallPropertyStrings();
}

QString LoadManagerString(int id) {
    bool ok = false;
    const QString text = CStringTable::Load(id, &ok);
    return ok ? text : QStringLiteral("???");
}

QString WithSetUpHint(const QString& text) {
    return text + QStringLiteral("\n\n") + LoadManagerString(kIdsSetUpHint);
}

QString PromptPart(const QString& text) {
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.left(newline);
}

QString TooltipPart(const QString& text) {
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? QString() : text.mid(newline + 1);
}
