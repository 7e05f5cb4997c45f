// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/StoreCheck.h"
#include "platform/registry/Registry.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// The one access layer to the registry: four primitives and the profile operations over
// the connectivity suite's keys. Plain functions without state; each opens and closes what
// it needs within the call, shows nothing, and reports failure by its result.

using HKEY = RegRoot;
inline constexpr HKEY HKEY_CURRENT_USER = RegRoot::CurrentUser;
inline constexpr HKEY HKEY_LOCAL_MACHINE = RegRoot::LocalMachine;
inline constexpr HKEY HKEY_CLASSES_ROOT = RegRoot::ClassesRoot;

// Every caller passes this as the string maximum: 259 bytes of text plus the NUL.
inline constexpr int kRegStringMax = 260;

inline constexpr char kUsersKey[] = "Software\\Veroz\\Users";
inline constexpr char kPsiWinKey[] = "Software\\Veroz\\PsiWin32";
inline constexpr char kCurrentUserKey[] = "Software\\Veroz\\CurrentUser";

// An empty value name addresses the key's default value.
// True when the value was read and its stored length is not zero. A missing key leaves
// out untouched; a missing or too long value empties it.
bool RegReadString(HKEY root, const QString& keyPath, const QString& valueName, QString& out,
                   int maxLength = kRegStringMax);
// A failed read leaves out unchanged, so callers preset their default.
bool RegReadNumber(HKEY root, const QString& keyPath, const QString& valueName, uint32_t& out);
bool RegWriteString(HKEY root, const QString& keyPath, const QString& valueName, const QString& text);
bool RegWriteNumber(HKEY root, const QString& keyPath, const QString& valueName, uint32_t number);

// Runs body with every read it makes seeing one snapshot of the store, at the cost of one
// snapshot instead of one per read: for walks over many values. body must not write; other
// processes' commits show after it returns. False when no snapshot could be taken (body then
// ran with each read on its own, or not at all when the store cannot be opened).
bool RegReadSnapshot(const std::function<void()>& body);
// Runs body in one write transaction: every write it makes lands together or not at all
// (body returns false, a write inside fails, or body throws). Calls nest into the outer one.
// False when nothing was written.
bool RegTransaction(const std::function<bool()>& body);
// The store as it is now: equal stamps mean nothing was committed in between (CRegistry::Stamp).
StoreStamp RegStamp();
// True when the store is a sound registry (or does not exist yet); otherwise message is the
// text that names the file and says what to do.
bool RegStoreUsable(QString& message);
// True when the store opens as a registry (or does not exist yet); cheaper than the check above.
bool RegStoreOpens();
// Caps the memory this process's store connections keep for cached pages; a program that
// reads the store once and then writes a little needs only a small cache.
void RegLimitCacheMemory(int64_t bytes);

// The primitives with their whole status, for callers that must tell a missing key or value
// from a store that failed.
bool RegKeyExists(HKEY root, const QString& keyPath);
RegStatus RegCreateKey(HKEY root, const QString& keyPath);
RegStatus RegEnumSubKey(HKEY root, const QString& keyPath, int index, QString& name);
RegStatus RegDeleteValue(HKEY root, const QString& keyPath, const QString& valueName);
RegStatus RegQueryValue(HKEY root, const QString& keyPath, const QString& valueName, RegValue& value);

// Deletes parent\name with everything below it, bottom-up. False only when the key does
// not exist; a sub-key that refuses deletion is stepped over, never retried, and then
// keeps its ancestors alive as well.
bool DeleteKeyTree(HKEY root, const QString& parent, const QString& name);

// The suite's and the users' values below are checked as they are read (common/StoreCheck.h):
// a refused value is never handed out, and out keeps what it held.

// True when "Installation Directory" can be read, whatever it holds: its presence is what
// marks the suite as installed.
bool IsEpocConnectInstalled();
// The folder text ends with the PC path separator "/" on success; refused unless absolute.
CStoreCheck GetEpocConnectDirectory(QString& out);
// The "Control File" path, refused unless it is the absolute path of a file.
CStoreCheck GetControlFile(QString& out);
// The same, empty when it is missing or refused.
QString GetControlFile();
QString GetControlDirectory();

// Refused unless the name is one component of a path and of a key (it names the log file,
// the backup folder and the user's keys).
CStoreCheck GetCurrentUser(QString& out);
// The folder text ends with "/" on success; refused unless absolute.
CStoreCheck GetUserPCDirectory(const QString& user, QString& out);
// Machine id "%X-%X" of first then second; out is assigned only on success. The first user
// in store order that knows the machine is the owner; when that name is refused no other
// profile is taken in its place.
CStoreCheck FindUserForMachine(uint32_t first, uint32_t second, QString& user);
QString FormatMachineId(uint32_t first, uint32_t second);

bool ReadUserString(const QString& user, const QString& area, const QString& valueName, QString& out);
bool WriteUserString(const QString& user, const QString& area, const QString& valueName, const QString& text);
bool ReadEntryString(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                     QString& out);
bool ReadEntryNumber(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                     uint32_t& out);

// Every value of one entry, read at once; String and Number answer as ReadEntryString and
// ReadEntryNumber would have at the moment of the read, a missing key included.
class CEntryValues {
public:
    bool String(const QString& valueName, QString& out) const;
    bool Number(const QString& valueName, uint32_t& out) const;
    // The entry holds this value already: same name, type and bytes.
    bool Holds(const RegValue& value) const;

private:
    friend bool ReadEntryValues(const QString&, const QString&, const QString&, CEntryValues&);
    friend bool VisitAreaEntries(const QString&, const QString&,
                                 const std::function<void(const QString&, CEntryValues&)>&);
    RegStatus Find(const QString& valueName, const RegValue*& value) const;

    RegStatus m_status = RegStatus::KeyNotFound;
    std::vector<RegValue> m_values;
};
// One read for all of an entry's values. False when the entry does not exist or could not
// be read; every question to out then fails as a single read of a missing key does, leaving
// the caller's variable as it was.
bool ReadEntryValues(const QString& user, const QString& area, const QString& entry, CEntryValues& out);
// Every entry of the area with all its values, in enumeration order, from one read, handed to
// visit one at a time (which must not use the store). False when the area cannot be read (a
// missing one is read as empty); entries visited before a failure stay visited.
bool VisitAreaEntries(const QString& user, const QString& area,
                      const std::function<void(const QString& entry, CEntryValues& values)>& visit);
bool WriteEntryString(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                      const QString& text);
bool WriteEntryNumber(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                      uint32_t number);
// Several values of an existing entry in one write; the values are made as the two above make
// them.
RegValue EntryStringValue(const QString& valueName, const QString& text);
RegValue EntryNumberValue(const QString& valueName, uint32_t number);
bool WriteEntryValues(const QString& user, const QString& area, const QString& entry,
                      const std::vector<RegValue>& values);
bool UserEntryExists(const QString& user, const QString& area, const QString& entry);
// 0 when the area cannot be opened.
int CountUserSubkeys(const QString& user, const QString& area);
bool GetUserSubkeyName(const QString& user, const QString& area, int index, QString& out);
// An empty entry deletes the area key itself.
bool DeleteUserKey(const QString& user, const QString& area, const QString& entry = QString());
