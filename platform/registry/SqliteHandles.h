// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sqlite3.h>

#include <memory>

// Owning types for SQLite's handles, so that every exit path, a throw included, closes,
// finalizes, resets or rolls back what it opened.

struct SqliteDbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using CSqliteDb = std::unique_ptr<sqlite3, SqliteDbCloser>;

struct SqliteStmtFinalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using CSqliteStmt = std::unique_ptr<sqlite3_stmt, SqliteStmtFinalizer>;

// Resets a kept statement when leaving scope so it never holds a read transaction open.
class CStmtScope {
public:
    explicit CStmtScope(sqlite3_stmt* st) : m_st(st) {}
    ~CStmtScope() {
        if (m_st)
            sqlite3_reset(m_st);
    }
    CStmtScope(const CStmtScope&) = delete;
    CStmtScope& operator=(const CStmtScope&) = delete;

private:
    sqlite3_stmt* m_st;
};

// A transaction begun with the given statement ("BEGIN", "BEGIN IMMEDIATE"); rolled back
// when left without a successful Commit().
class CSqliteTransaction {
public:
    CSqliteTransaction(sqlite3* db, const char* begin)
        : m_db(db), m_beginResult(sqlite3_exec(db, begin, nullptr, nullptr, nullptr)) {
        m_open = m_beginResult == SQLITE_OK;
    }
    ~CSqliteTransaction() { Rollback(); }
    CSqliteTransaction(const CSqliteTransaction&) = delete;
    CSqliteTransaction& operator=(const CSqliteTransaction&) = delete;

    // SQLITE_OK when the transaction is open.
    int BeginResult() const { return m_beginResult; }
    // SQLITE_OK once committed; on failure the transaction is still open and rolls back.
    int Commit() {
        const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            m_open = false;
        return rc;
    }
    void Rollback() {
        if (m_open)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_open = false;
    }

private:
    sqlite3* m_db;
    int m_beginResult;
    bool m_open = false;
};
