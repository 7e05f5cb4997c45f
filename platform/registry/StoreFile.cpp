// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/StoreFile.h"

#include "platform/base/UniqueFd.h"
#include "platform/registry/StoreLocks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Written into every store so that an unrelated SQLite file is never taken for one.
constexpr char kMagic[] = "dovetail-registry-1";
std::atomic<int> g_busyWaitMs{10000};

const char* const kSchema = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    lname TEXT NOT NULL,
    lpath TEXT NOT NULL UNIQUE);
CREATE INDEX keys_children ON keys(parent, lname);
CREATE TABLE vals(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    lname TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, lname));
INSERT INTO keys(id, parent, name, lname, lpath) VALUES
    (1, 0, 'HKEY_CURRENT_USER', 'hkey_current_user', '1'),
    (2, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine', '2'),
    (3, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root', '3');
)sql";

bool ExecSql(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CheckMagic(sqlite3* db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE key='magic'", -1, &raw, nullptr) != SQLITE_OK)
        return false;
    const CSqliteStmt st(raw);
    return sqlite3_step(raw) == SQLITE_ROW &&
           QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))) == QByteArray(kMagic);
}

void Configure(sqlite3* db) {
    sqlite3_busy_timeout(db, StoreBusyWait());
    sqlite3_extended_result_codes(db, 1);
    ExecSql(db, "PRAGMA synchronous=NORMAL");
    ExecSql(db, "PRAGMA foreign_keys=OFF");
}

QString ErrnoText() {
    return QString::fromLocal8Bit(strerror(errno));
}

// Removes the store being built and its journal files, whatever happened.
class CBuildFiles {
public:
    explicit CBuildFiles(QByteArray path) : m_path(std::move(path)) {}
    ~CBuildFiles() {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((m_path + suffix).constData());
    }
    CBuildFiles(const CBuildFiles&) = delete;
    CBuildFiles& operator=(const CBuildFiles&) = delete;

private:
    QByteArray m_path;
};

bool CreateStoreFile(const QString& path, QString& error) {
    const QString dir = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(dir)) {
        if (!QDir().mkpath(dir)) {
            error = u"cannot create the folder %1"_s.arg(dir);
            return false;
        }
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    }
    const QByteArray tmp = QFile::encodeName(path + u".new-%1"_s.arg(::getpid()));
    ::unlink(tmp.constData());
    if (!CUniqueFd(::open(tmp.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600)).IsValid()) {
        error = u"cannot create %1: %2"_s.arg(QFile::decodeName(tmp), ErrnoText());
        return false;
    }
    const CBuildFiles cleanup(tmp);
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(tmp.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        const CSqliteDb db(raw);
        if (rc != SQLITE_OK) {
            error = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : u"cannot open %1"_s.arg(QFile::decodeName(tmp));
            return false;
        }
        const QByteArray magic = "INSERT INTO meta(key, value) VALUES('magic', '" + QByteArray(kMagic) + "')";
        if (!ExecSql(raw, "PRAGMA journal_mode=WAL") || !ExecSql(raw, "BEGIN") || !ExecSql(raw, kSchema) ||
            !ExecSql(raw, magic.constData()) || !ExecSql(raw, "COMMIT")) {
            error = QString::fromUtf8(sqlite3_errmsg(raw));
            return false;
        }
    }  // closed: the last connection folds the log into the file before it is linked
    if (::link(tmp.constData(), QFile::encodeName(path).constData()) != 0 && errno != EEXIST) {
        error = u"cannot create %1: %2"_s.arg(path, ErrnoText());
        return false;
    }
    return true;
}

}  // namespace

void SetStoreBusyWait(int milliseconds) {
    g_busyWaitMs = milliseconds;
}

int StoreBusyWait() {
    return g_busyWaitMs;
}

StoreOpenResult OpenStoreFile(const QString& path, bool create, CSqliteDb& db, QString& error) {
    if (db)
        return StoreOpenResult::Open;
    InstallStoreLocks();
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (!create)
            return StoreOpenResult::Missing;
        if (!CreateStoreFile(path, error))
            return StoreOpenResult::Failed;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(native.constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    CSqliteDb opened(raw);
    if (rc != SQLITE_OK) {
        error = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : u"cannot open"_s;
        return StoreOpenResult::Failed;
    }
    sqlite3_busy_timeout(raw, StoreBusyWait());
    if (!CheckMagic(raw)) {
        error = u"not a registry database or damaged"_s;
        return StoreOpenResult::Failed;
    }
    Configure(raw);
    db = std::move(opened);
    return StoreOpenResult::Open;
}
