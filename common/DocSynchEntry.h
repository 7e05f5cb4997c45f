// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/StoreCheck.h"
#include "platform/registry/StoreStamp.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class CEntryValues;

// One binding: a PC file, an EPOC file and the rules that keep them in step. Field names
// are the stored value names. Stored under Users\(user)\DocSynchEntries\(entry number).

inline constexpr char kDocSynchArea[] = "DocSynchEntries";
inline constexpr int kMaxEntryNumber = 32767;

// Direction rule of a binding.
enum CopyRuleValue : int32_t { kCopyNewest = 0, kCopyPcToDevice = 1, kCopyDeviceToPc = 2 };

struct CRuleSet {
    int32_t CopyRule = kCopyNewest;
    bool Prompt24Hrs = false;
    bool PromptBothChanged = true;
    bool KeepCopy = false;
};

// What a binding's last synchronization established of its two files, recorded with its mark
// beside the fifteen values: for each side the size, the modification time as the run read it
// (the handheld's local FILETIME, the PC's nanoseconds since 1970) and a content fingerprint
// (32 hex digits); the handheld's machine id; and the four path values that were copied. Valid
// only when every value was there.
struct CSyncSide {
    uint64_t size = 0;
    uint64_t time = 0;
    QString print;
    friend bool operator==(const CSyncSide&, const CSyncSide&) = default;
};
struct CSyncState {
    bool valid = false;
    CSyncSide pc;
    CSyncSide epoc;
    QString machine;
    QString winPath, winFileName, epocPath, epocFileName;
};

struct CDocSynchEntry {
    QString WinFileName;
    QString EpocFileName;
    QString WinPath;   // ends with "/"
    QString EpocPath;  // ends with "\"
    QString WinFileType;
    QString EpocFileType;
    int32_t LinkStatus = 0;
    // Seconds since 1970 UTC, unsigned so that it stays valid after January 2038.
    uint32_t LastSyncTimeStamp = 0;
    bool WasUpdated = false;
    int32_t FileSize = 0;
    bool IsActive = true;
    int32_t ImageIndex = -1;  // manager only, never stored
    int32_t CopyRule = kCopyNewest;
    bool Prompt24Hrs = false;
    bool KeepCopy = false;
    bool PromptBothChanged = false;
    int32_t BindingNumber = -1;  // synchronizer only
    CSyncState Synced;           // synchronizer only: read with the strict read

    QString WinFullPath() const { return WinPath + WinFileName; }
    // The recorded state speaks of these very files on this handheld.
    bool SyncedStateApplies(const QString& machine) const {
        return Synced.valid && Synced.machine == machine && Synced.winPath == WinPath &&
               Synced.winFileName == WinFileName && Synced.epocPath == EpocPath && Synced.epocFileName == EpocFileName;
    }
    QString EpocFullPath() const { return EpocPath + EpocFileName; }

    // A new record as the manager starts it: texts "(unknown)", the given default rules.
    static CDocSynchEntry NewForManager(const CRuleSet& defaults, const QString& unknownText);
    // A new record as the synchronizer starts it: texts "UNKNOWN", timestamp now, rules off.
    static CDocSynchEntry NewForSynchronizer(const QString& unknownText, uint32_t now);
};

enum class ReadMode { Strict, Lenient };

// Strict: usable only when all fifteen values were read and the values that name files
// pass the checks below; otherwise the reason names the binding's first fault and the record
// must not be used, except IsActive, which holds the stored value whenever it was readable.
// Lenient: always fills the record; refreshes FileSize from the PC file and writes it back;
// iconLookup (full PC path -> image index) is called only when given. The result is the
// verdict on the PC file's path (CheckPcFile): a refused path is never looked at, so its
// size is not refreshed and no icon is asked for.
CStoreCheck ReadDocSynchEntry(const QString& user, int entry, CDocSynchEntry& record, ReadMode mode,
                              const std::function<int(const QString&)>& iconLookup = {});
// Same, addressing the entry by its sub-key name (the synchronizer marks a binding under
// the key it was read from, whatever digits lead its name).
CStoreCheck ReadDocSynchEntryKey(const QString& user, const QString& entryKey, CDocSynchEntry& record, ReadMode mode,
                                 const std::function<int(const QString&)>& iconLookup = {});
// A strict read from the entry's values as VisitAreaEntries gave them.
CStoreCheck ReadDocSynchEntryValues(const QString& user, const QString& entryKey, CEntryValues values,
                                    CDocSynchEntry& record);

// The values of a binding that name files: WinPath an absolute folder ending with "/",
// WinFileName and EpocFileName single names, EpocPath a folder of a handheld drive ending with
// "\", and the handheld's names such as its file system can keep (CheckEpocFolder).
CStoreCheck CheckBindingNames(const CDocSynchEntry& record);
// Only the PC side of it: WinPath and WinFileName.
CStoreCheck CheckPcFile(const CDocSynchEntry& record);
CStoreCheck CheckWinPath(const QString& winPath);
// False when the store took none of it (busy, unusable): the entry is as it was.
bool WriteDocSynchEntry(const QString& user, int entry, const CDocSynchEntry& record);
// Lowest entry number 0..32767 without "LinkStatus", or -1 when all are taken.
int FindFreeEntryNumber(const QString& user);
// False when the entry key could not be deleted, or was not there.
bool DeleteDocSynchEntry(const QString& user, int entry);
bool IsEntryActive(const QString& user, int entry);
// False when the value could not be written.
bool SetEntryActive(const QString& user, int entry, bool active);
// What a write into an existing binding did. A binding deleted meanwhile (its "LinkStatus" is
// gone) is left alone: writing its values anyway would bring back a key holding only those,
// which the manager lists as a broken row and a later add would not take for a free number.
// Changed: the binding's path values are no longer those the run copied (edited, or deleted and
// its number taken by another binding): nothing is written.
enum class BindingWrite { Written, Gone, Changed, Failed };

// "WasUpdated" = 1 and "LastSyncTimeStamp" = now (UTC seconds) + 3, in one transaction.
BindingWrite MarkSynchronized(const QString& user, int entry);
BindingWrite MarkSynchronizedKey(const QString& user, const QString& entryKey);
// Marks several bindings in one transaction, each with its own stamp (the moment its
// transfer ended, plus 3 seconds), and records its state: written when valid, else cleared.
// A state that names paths (winFileName not empty) is written only while the binding's four
// path values are still those. refreshOnly writes the state alone (times that moved over an
// unchanged content), not the mark. One result per mark; all Failed when the store took none.
struct CSynchronizedMark {
    QString entryKey;
    uint32_t lastSyncTimeStamp = 0;
    CSyncState state;
    bool refreshOnly = false;
    // The binding as the run read it, with the run's own writes since: what the store holds
    // while readAt still stands.
    const CDocSynchEntry* read = nullptr;
};
// readAt: the store's stamp taken before the run read its bindings. While the store holds
// nothing committed since but these calls' own commits, a refresh, and a mark given the binding
// as read, are written without reading the binding again; readAt then follows each commit.
std::vector<BindingWrite> MarkSynchronizedKeys(const QString& user, const std::vector<CSynchronizedMark>& marks,
                                               StoreStamp* readAt = nullptr);
// The stamp a mark made now writes.
uint32_t SynchronizedStampNow();
// One text value of an existing binding ("WinFileType" after a conversion).
BindingWrite WriteBindingString(const QString& user, const QString& entryKey, const QString& valueName,
                                const QString& text);
// The entry number at an enumeration position: the leading decimal digits of the sub-key
// name (0 when there are none). keyName, when given, receives the sub-key name itself.
bool GetEntryNumberAt(const QString& user, int position, int& entry, QString* keyName = nullptr);
// A binding's sub-key name: an entry number 0..32767 as "%d" writes it (no sign, no leading
// zero). Any other name ("-1", "abc", "99999", "012") is no binding: its digits would address
// another one.
bool IsEntryKeyName(const QString& key);
