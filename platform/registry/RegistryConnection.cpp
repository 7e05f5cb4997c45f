// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryConnection.h"

CRegistry::Impl::~Impl() {
    // Statements before the connection they belong to, the mapping after it.
    stmts.clear();
    db.reset();
    index.Unmap();
}

void CRegistry::Impl::DropCaches() {
    children.valid = false;
    generation++;
    cacheStamp = StoreStamp();
}

void CRegistry::Impl::MapIndex(const QString& path) {
    if (db && !index.IsMapped())
        index.Map(path);
}

StoreStamp CRegistry::Impl::Stamp() {
    StoreStamp stamp;
    stamp.ownWrites = ownWrites;
    if (index.IsMapped()) {
        index.Read(stamp);  // invalid while a commit writes the header: comparable to nothing
        return stamp;
    }
    if (sqlite3_stmt* st = Prepare("PRAGMA data_version")) {
        const CStmtScope scope(st);
        if (sqlite3_step(st) == SQLITE_ROW) {
            stamp.dataVersion = sqlite3_column_int64(st, 0);
            stamp.valid = true;
        }
    }
    return stamp;
}

bool CRegistry::Impl::CachesCurrent() {
    const StoreStamp now = Stamp();
    if (now == cacheStamp)
        return true;
    DropCaches();
    cacheStamp = now;
    return false;
}

sqlite3_stmt* CRegistry::Impl::Prepare(const char* sql) {
    if (auto it = stmts.find(sql); it != stmts.end()) {
        sqlite3_reset(it->second.get());
        sqlite3_clear_bindings(it->second.get());
        return it->second.get();
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return nullptr;
    stmts.emplace(sql, CSqliteStmt(st));
    return st;
}
