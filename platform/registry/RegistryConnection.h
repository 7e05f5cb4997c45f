// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/Registry.h"
#include "platform/registry/SqliteHandles.h"
#include "platform/registry/StoreStamp.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <unordered_map>
#include <vector>

// One answer remembered by a connection, valid while its generation is the current one.
struct CachedValue {
    uint64_t generation = 0;
    RegStatus status = RegStatus::Ok;
    RegValue value;
};

// A CRegistry's connection: the SQLite handle, its kept statements and the answers it
// remembers for as long as the store's stamp shows no commit by anyone.
struct CRegistry::Impl {
    CSqliteDb db;
    std::map<const char*, CSqliteStmt> stmts;  // keyed by the statement text's address
    int depth = 0;                             // open Transaction() / ReadTransaction() bodies
    bool failedInside = false;                 // a primitive failed inside a Transaction() body
    uint64_t ownWrites = 0;                    // bumped by every write of this connection

    CStoreIndexView index;

    // Answers given since the stamp; dropped as soon as the stamp moves. Inside a
    // transaction they are not used: the snapshot there is cheap to ask directly.
    StoreStamp cacheStamp;
    uint64_t generation = 1;  // values of older generations are stale; dropping is O(1)
    std::unordered_map<QByteArray, CachedValue> values;
    struct {
        RegRoot root = RegRoot::CurrentUser;
        QString key;
        std::vector<QString> names;
        uint64_t writes = 0;
        bool valid = false;
    } children;

    ~Impl();

    void DropCaches();
    // Maps the store's index once this connection has it open.
    void MapIndex(const QString& path);
    StoreStamp Stamp();
    // True when the cached answers still describe the store; otherwise the caches are
    // emptied and restamped with now, to be refilled by answers read after this moment.
    bool CachesCurrent();
    // The kept statement for sql (reset, bindings cleared), prepared on first use; null on
    // failure. sql must be a string literal: its address is the key.
    sqlite3_stmt* Prepare(const char* sql);
};
