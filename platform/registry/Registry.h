// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/StoreStamp.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The registry stand-in: a hierarchical key/value store in one SQLite file shared by every
// program of the system. Key and value names are case-insensitive (ASCII) and case-preserving,
// a backslash separates key levels and the empty value name is the key's default value.
// Every call is atomic and holds no lock afterwards. Answers are remembered only for as long
// as the store's commit stamp shows no change by any process, so every answer equals a
// fresh read.

enum class RegRoot : int { CurrentUser = 1, LocalMachine = 2, ClassesRoot = 3 };

// Value types as the Windows registry numbers them; others are kept as raw bytes.
enum RegType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
};

enum class RegStatus {
    Ok,
    KeyNotFound,    // the key (or a parent) does not exist
    ValueNotFound,  // the key exists but the value does not
    NoMoreItems,    // enumeration index past the end
    HasSubKeys,     // DeleteKey on a key that still has sub-keys
    InvalidName,    // empty component, NUL, longer than 255 bytes
    Busy,           // the store stayed locked past the retry time
    BadStore,       // the file is not a registry database, corrupt or unreadable
    IoError,        // anything else the database reported
};

struct RegValue {
    QString name;
    uint32_t type = kRegNone;
    QByteArray data;
};

class CRegistry {
public:
    // Opens (lazily) the store at the given file. Nothing is created until the first write.
    explicit CRegistry(QString path);
    ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // $DOVETAIL_REGISTRY, else $XDG_CONFIG_HOME/dovetail/registry.db (XDG default ~/.config).
    static QString DefaultPath();
    // The calling thread's connection to DefaultPath(); reopened when the path changes,
    // so tests may point DOVETAIL_REGISTRY elsewhere between calls.
    static CRegistry& Default();
    // A soft cap on the page caches of every connection in the process; values the
    // connections cache themselves are not affected.
    static void LimitCacheMemory(int64_t bytes);
    // How long a write waits for another process's write to end before it fails as Busy
    // (10 s); tests that hold the store busy on purpose shorten it.
    static void SetBusyWait(int milliseconds);

    const QString& Path() const { return m_path; }

    // False when the file exists but is not a usable registry (LastError() says why); a
    // missing file is usable (it reads as empty and is created on the first write).
    bool IsUsable();

    bool KeyExists(RegRoot root, const QString& key);
    RegStatus CreateKey(RegRoot root, const QString& key);
    RegStatus QueryValue(RegRoot root, const QString& key, const QString& name, RegValue& out);
    // Every value of the key, in creation order, from one statement: for callers that need
    // many values of one key (QueryValue would ask once per value). KeyNotFound leaves out
    // empty.
    RegStatus QueryValues(RegRoot root, const QString& key, std::vector<RegValue>& out);
    // Every sub-key of key with all its values, in one read, handed to visit one sub-key at a
    // time in enumeration order: for walks over a thousand entries. visit must not use the
    // registry.
    RegStatus VisitSubKeyValues(RegRoot root, const QString& key,
                                const std::function<void(const QString& name, std::vector<RegValue>& values)>& visit);
    RegStatus SetValue(RegRoot root, const QString& key, const QString& name, uint32_t type, const QByteArray& data);
    // Several values of one key, all or none.
    RegStatus SetValues(RegRoot root, const QString& key, const std::vector<RegValue>& values);
    RegStatus DeleteValue(RegRoot root, const QString& key, const QString& name);
    // Fails with HasSubKeys when the key still has sub-keys.
    RegStatus DeleteKey(RegRoot root, const QString& key);
    // Removes the key and everything below it in one transaction.
    RegStatus DeleteTree(RegRoot root, const QString& key);
    // Sub-keys enumerate in case-insensitive name order, values in creation order.
    RegStatus CountSubKeys(RegRoot root, const QString& key, int& count);
    RegStatus EnumSubKey(RegRoot root, const QString& key, int index, QString& name);
    RegStatus CountValues(RegRoot root, const QString& key, int& count);
    RegStatus EnumValue(RegRoot root, const QString& key, int index, RegValue& out);

    // Convenience wrappers used by the stand-ins and tools (not by the system's own layer).
    bool SetString(RegRoot root, const QString& key, const QString& name, const QString& text);
    bool SetNumber(RegRoot root, const QString& key, const QString& name, uint32_t number);
    bool GetString(RegRoot root, const QString& key, const QString& name, QString& text);
    bool GetNumber(RegRoot root, const QString& key, const QString& name, uint32_t& number);

    // Runs body inside one write transaction: every change it makes lands together or not at
    // all. body returns false to roll back. Nested calls join the outer transaction.
    RegStatus Transaction(const std::function<bool()>& body);

    // Runs body with every read seeing one snapshot of the store, without the cost of
    // opening a snapshot per read: for walks over many keys. body must not write; other
    // processes' writes wait for nothing and show after it returns.
    RegStatus ReadTransaction(const std::function<void()>& body);

    // The store as this connection finds it now: two equal stamps mean that no connection
    // committed anything between them. Taken before a read, an equal stamp later shows that
    // what was read is still what the store holds. Invalid (equal to none) when it cannot tell.
    StoreStamp Stamp();

    // SQLite's integrity check; true when the file is sound (or does not exist yet).
    bool CheckIntegrity(QString* report = nullptr);

    // Text of the last failure, naming the file, for messages such as a corrupt store.
    QString LastError() const { return m_lastError; }

    static bool IsValidKeyPath(const QString& key);
    static QString RootName(RegRoot root);  // "HKEY_CURRENT_USER" ...
    static bool ParseRootName(const QString& text, RegRoot& root);

    struct Impl;  // opaque connection state

private:
    std::unique_ptr<Impl> m_impl;
    QString m_path;
    QString m_lastError;
};

// Message shown by the programs when the store itself is unusable (names the file): on a disk
// that is full, that the disk is full; otherwise that the file is damaged and may be moved aside.
QString RegistryUnusableMessage(const QString& path);

// Whether two key or value names are the same name to the registry: ASCII letters compare
// without case, every other byte as it is.
bool SameRegistryName(const QString& a, const QString& b);
