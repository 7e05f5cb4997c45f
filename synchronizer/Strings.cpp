// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/StringIds.h"

#include "common/StringTable.h"

void InstallSyncStrings() {
    CStringTable::Install({
        {IDS_APP_TITLE, "Dovetail Synchronization"},
        {kIdsAppTitle, "Dovetail Synchronization"},
        {IDS_EPOC_NOT_INSTALLED, "Ericsson EPOC connect not installed"},
        {IDS_CANNOT_CREATE_ENGINE, "Cannot create engine instance"},
        {IDS_NO_USER, "No user installed"},
        {IDS_NO_PC_DIRECTORY,
         "Please select 'My Epoc Properties'\nand confirm the 'Current Folder'\non the General page first."},
        {IDS_CANNOT_INIT_CONNECTION, "Cannot init connection"},
        {IDS_CONNECTING, "Connecting..."},
        {IDS_CONNECTION_FAILED_LOG, "Connection failed."},
        {IDS_CONNECTION_FAILED, "Connection failed"},
        {IDS_IDENTIFY, "Identify MC 218..."},
        {IDS_CONNECTION_TERMINATED, "Connection terminated!"},
        {IDS_NO_OWNER, "Enable to retrieve the machine owner"},
        {IDS_LOOKING_FOR_FILES, "Looking for files to update with "},
        {IDS_BAD_ARGUMENT, "Bad Argument"},
        {IDS_INACTIVE_BINDING, "Inactive Binding"},
        {IDS_NOTHING_TO_DO, "Nothing to do."},
        {IDS_OUT_OF_MEMORY, "Out of memory"},
        {IDS_CANNOT_CLOSE_EPOC_FILE, "Unable to close an EPOC file : "},
        {IDS_FILE_NOT_AVAILABLE, "The following file is not available; it may be used by another application."},
        {IDS_FILES_TO_SYNCHRONIZE, " files to synchronize."},
        {IDS_DONE, "Done."},
        {IDS_SYNCHRONIZATION_COMPLETE, "Synchronization complete."},
        {IDS_COPIED, "Copied "},
        {IDS_CONVERTED, "Converted "},
        {IDS_COPIED_TO_DEVICE, "File copied to MC 218 : "},
        {IDS_COPIED_TO_PC, "File copied to PC  : "},
        {IDS_CANNOT_COPY_TO_DEVICE, "Unable to copy file to MC 218 : "},
        {IDS_CANNOT_COPY_TO_PC, "Unable to copy file to Windows device : "},
        {IDS_NO_CONVERTER, "Unable to locate appropriate converter"},
        {IDS_CONVERTER_ERROR, "Converter error: "},
        {IDS_NO_BACKUP_FOLDER, "The Ericsson EPOC Connect user folder does not exist and is impossible to create."},
        {IDS_BACKING_UP, "Backing up file "},
        {IDS_BACKUP_DONE, "Done."},
        {IDS_BACKUP_ERROR, "Error."},
        {IDS_COMPLETED_CAPTION, "Synchronization Completed"},
        {IDS_ERROR_CAPTION, "Error."},
        {IDS_DESTINATION_CHANGED, "Not copied, the destination changed during synchronization : "},
        {IDS_NOT_SCANNED_DISCONNECTED, "Not synchronized, the connection to the MC 218 was lost : "},
    });
}
