// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/Registry.h"

#include "platform/registry/StoreLocks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <atomic>
#include <cstring>
#include <map>
#include <sys/mman.h>
#include <unordered_map>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Written into every store so that an unrelated SQLite file is never taken for one.
constexpr char kMagic[] = "dovetail-registry-1";
constexpr int kBusyTimeoutMs = 10000;
constexpr int kMaxNameBytes = 255;
constexpr size_t kMaxCachedValues = 262144;

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

// Registry names compare case-insensitively in ASCII only; other bytes compare as they are.
QByteArray LowerAscii(const QByteArray& in) {
    QByteArray out = in;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

QByteArray RootPrefix(RegRoot root) {
    return QByteArray::number(int(root));
}

// Checks a key path in one pass and builds its lower-cased "root\path" form, the lookup
// column of the store: no empty component, none over 255 bytes, no NUL.
bool NormalizeKey(RegRoot root, const QString& key, QByteArray& lpath) {
    lpath = RootPrefix(root);
    if (key.isEmpty())
        return true;
    const QByteArray utf8 = key.toUtf8();
    lpath.reserve(lpath.size() + 1 + utf8.size());
    lpath += '\\';
    int component = 0;
    for (char c : utf8) {
        if (c == '\0')
            return false;
        if (c == '\\') {
            if (component == 0)
                return false;
            component = 0;
        } else if (++component > kMaxNameBytes) {
            return false;
        }
        lpath += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return component > 0;
}

}  // namespace

// A moment of the store as this connection can tell it cheaply. Every commit of any process
// rewrites the WAL index header in the shared-memory file (change counter, last frame,
// salts); reading it needs no system call. Where it cannot be read, PRAGMA data_version
// stands in (one statement).
struct StoreStamp {
    bool valid = false;
    bool fromHeader = false;
    uint8_t header[48] = {};
    int64_t dataVersion = -1;
    uint64_t ownWrites = 0;

    bool operator==(const StoreStamp& o) const {
        return valid && o.valid && fromHeader == o.fromHeader && ownWrites == o.ownWrites &&
               (fromHeader ? std::memcmp(header, o.header, sizeof header) == 0 : dataVersion == o.dataVersion);
    }
};

struct CachedValue {
    uint64_t generation = 0;
    RegStatus status = RegStatus::Ok;
    RegValue value;
};

struct CRegistry::Impl {
    sqlite3* db = nullptr;
    std::map<const char*, sqlite3_stmt*> stmts;
    int depth = 0;              // open Transaction() / ReadTransaction() bodies
    bool failedInside = false;  // a primitive failed inside a Transaction() body
    uint64_t ownWrites = 0;     // bumped by every write of this connection

    void* shm = nullptr;
    size_t shmSize = 0;

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

    ~Impl() { Close(); }

    void Close() {
        for (auto& [sql, st] : stmts)
            sqlite3_finalize(st);
        stmts.clear();
        if (db)
            sqlite3_close_v2(db);
        db = nullptr;
        UnmapShm();
        DropCaches();
    }

    void DropCaches() {
        children.valid = false;
        generation++;
        cacheStamp = StoreStamp();
    }

    void UnmapShm() {
        if (shm)
            ::munmap(shm, shmSize);
        shm = nullptr;
    }

    // Maps the WAL index once this connection has opened it (it then stays alive and
    // untruncated for as long as the connection is open).
    void MapShm(const QString& path) {
        if (shm || !db)
            return;
        const QByteArray name = QFile::encodeName(path) + "-shm";
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_size < 136) {
            ::close(fd);
            return;
        }
        void* map = ::mmap(nullptr, 136, PROT_READ, MAP_SHARED, fd, 0);
        // The mapping outlives the descriptor. Closing it is harmless only because the
        // store's locks are not classic POSIX locks (StoreLocks.h).
        ::close(fd);
        if (map == MAP_FAILED)
            return;
        shm = map;
        shmSize = 136;
    }

    StoreStamp Stamp() {
        StoreStamp stamp;
        stamp.ownWrites = ownWrites;
        if (shm) {
            uint8_t a[48], b[48];
            const auto* base = static_cast<const volatile uint8_t*>(shm);
            std::atomic_thread_fence(std::memory_order_acquire);
            for (size_t i = 0; i < 48; ++i)
                a[i] = base[i];
            std::atomic_thread_fence(std::memory_order_acquire);
            for (size_t i = 0; i < 48; ++i)
                b[i] = base[48 + i];
            // Two equal, initialised copies: no commit was writing the header meanwhile.
            if (std::memcmp(a, b, 48) == 0 && a[12] != 0) {
                std::memcpy(stamp.header, a, 48);
                stamp.fromHeader = true;
                stamp.valid = true;
                return stamp;
            }
            return stamp;  // a commit is under way: not comparable to anything
        }
        if (sqlite3_stmt* st = Prepare("PRAGMA data_version")) {
            if (sqlite3_step(st) == SQLITE_ROW) {
                stamp.dataVersion = sqlite3_column_int64(st, 0);
                stamp.valid = true;
            }
            sqlite3_reset(st);
        }
        return stamp;
    }

    // True when the cached answers still describe the store; otherwise the caches are
    // emptied and restamped with now, to be refilled by answers read after this moment.
    bool CachesCurrent() {
        const StoreStamp now = Stamp();
        if (now == cacheStamp)
            return true;
        DropCaches();
        cacheStamp = now;
        return false;
    }

    sqlite3_stmt* Prepare(const char* sql) {
        auto it = stmts.find(sql);
        if (it != stmts.end()) {
            sqlite3_reset(it->second);
            sqlite3_clear_bindings(it->second);
            return it->second;
        }
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
            return nullptr;
        stmts.emplace(sql, st);
        return st;
    }
};

namespace {

// Resets a cached statement when leaving scope so it never holds a read transaction open.
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

void BindText(sqlite3_stmt* st, int i, const QByteArray& text) {
    sqlite3_bind_text(st, i, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

QString ColumnText(sqlite3_stmt* st, int i) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
}

RegStatus StatusOf(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return RegStatus::Ok;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return RegStatus::Busy;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_READONLY:
            return RegStatus::BadStore;
        default:
            return RegStatus::IoError;
    }
}

bool ValidName(const QByteArray& utf8) {
    return utf8.size() <= kMaxNameBytes && !utf8.contains('\0');
}

}  // namespace

CRegistry::CRegistry(QString path) : m_impl(std::make_unique<Impl>()), m_path(std::move(path)) {}

CRegistry::~CRegistry() = default;

QString CRegistry::DefaultPath() {
    if (const char* env = ::getenv("DOVETAIL_REGISTRY"); env && *env)
        return QString::fromLocal8Bit(env);
    QString config;
    if (const char* xdg = ::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = QString::fromLocal8Bit(xdg);
    else
        config = QDir::homePath() + u"/.config"_s;
    return config + u"/dovetail/registry.db"_s;
}

CRegistry& CRegistry::Default() {
    thread_local std::unique_ptr<CRegistry> instance;
    const QString path = DefaultPath();
    if (!instance || instance->m_path != path)
        instance = std::make_unique<CRegistry>(path);
    return *instance;
}

QString CRegistry::RootName(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser:
            return u"HKEY_CURRENT_USER"_s;
        case RegRoot::LocalMachine:
            return u"HKEY_LOCAL_MACHINE"_s;
        case RegRoot::ClassesRoot:
            return u"HKEY_CLASSES_ROOT"_s;
    }
    return QString();
}

bool CRegistry::ParseRootName(const QString& text, RegRoot& root) {
    const QString t = text.toUpper();
    if (t == u"HKEY_CURRENT_USER"_s || t == u"HKCU"_s)
        root = RegRoot::CurrentUser;
    else if (t == u"HKEY_LOCAL_MACHINE"_s || t == u"HKLM"_s)
        root = RegRoot::LocalMachine;
    else if (t == u"HKEY_CLASSES_ROOT"_s || t == u"HKCR"_s)
        root = RegRoot::ClassesRoot;
    else
        return false;
    return true;
}

bool CRegistry::IsValidKeyPath(const QString& key) {
    QByteArray lpath;
    return NormalizeKey(RegRoot::CurrentUser, key, lpath);
}

QString RegistryUnusableMessage(const QString& path) {
    return u"The settings store \"%1\" cannot be used: it is not a Dovetail registry file, it is damaged, or it "
           u"cannot be read.\nMove it aside or restore it from a backup, then start the program again."_s.arg(path);
}

// Opens the connection. With create=false a missing file is not created (reads of a
// store that does not exist simply find nothing).
namespace {

enum class OpenResult { Open, Missing, Failed };

}  // namespace

static OpenResult OpenStore(CRegistry::Impl& impl, const QString& path, bool create, QString& error);

static bool ExecSql(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

static bool CheckMagic(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE key='magic'", -1, &st, nullptr) != SQLITE_OK)
        return false;
    bool ok = sqlite3_step(st) == SQLITE_ROW &&
              QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == QByteArray(kMagic);
    sqlite3_finalize(st);
    return ok;
}

static void Configure(sqlite3* db) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    ExecSql(db, "PRAGMA synchronous=NORMAL");
    ExecSql(db, "PRAGMA foreign_keys=OFF");
}

// Builds a new store beside the target and links it into place, so a store is never seen
// half-initialised and two processes creating it at once agree on one file.
static bool CreateStoreFile(const QString& path, QString& error) {
    InstallStoreLocks();
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    if (!QFileInfo::exists(dir)) {
        if (!QDir().mkpath(dir)) {
            error = u"cannot create the folder %1"_s.arg(dir);
            return false;
        }
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    }
    const QByteArray tmp = QFile::encodeName(path + u".new-%1"_s.arg(::getpid()));
    ::unlink(tmp.constData());
    const int fd = ::open(tmp.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = u"cannot create %1: %2"_s.arg(QFile::decodeName(tmp), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    ::close(fd);
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(tmp.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok) {
        ok = ExecSql(db, "PRAGMA journal_mode=WAL") && ExecSql(db, "BEGIN") && ExecSql(db, kSchema);
        if (ok) {
            const QByteArray sql = "INSERT INTO meta(key, value) VALUES('magic', '" + QByteArray(kMagic) + "')";
            ok = ExecSql(db, sql.constData()) && ExecSql(db, "COMMIT");
        }
        if (!ok)
            error = QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_close_v2(db);
    const QByteArray target = QFile::encodeName(path);
    if (ok && ::link(tmp.constData(), target.constData()) != 0 && errno != EEXIST) {
        error = u"cannot create %1: %2"_s.arg(path, QString::fromLocal8Bit(strerror(errno)));
        ok = false;
    }
    ::unlink(tmp.constData());
    ::unlink((tmp + "-wal").constData());
    ::unlink((tmp + "-shm").constData());
    return ok;
}

static OpenResult OpenStore(CRegistry::Impl& impl, const QString& path, bool create, QString& error) {
    if (impl.db)
        return OpenResult::Open;
    InstallStoreLocks();
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (!create)
            return OpenResult::Missing;
        if (!CreateStoreFile(path, error))
            return OpenResult::Failed;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        error = db ? QString::fromUtf8(sqlite3_errmsg(db)) : u"cannot open"_s;
        sqlite3_close_v2(db);
        return OpenResult::Failed;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (!CheckMagic(db)) {
        error = u"not a registry database or damaged"_s;
        sqlite3_close_v2(db);
        return OpenResult::Failed;
    }
    Configure(db);
    impl.db = db;
    return OpenResult::Open;
}

// ---------------------------------------------------------------------------------------
// Internal helpers working on an open connection.

namespace {

struct KeyRef {
    QByteArray lpath;  // lower-cased "root\path"
    QString key;
};

KeyRef MakeRef(RegRoot root, const QString& key) {
    KeyRef ref;
    NormalizeKey(root, key, ref.lpath);
    ref.key = key;
    return ref;
}

// -1: not found, -2: database error (rc set).
int64_t FindKey(CRegistry::Impl& impl, const QByteArray& lpath, int& rc) {
    sqlite3_stmt* st = impl.Prepare("SELECT id FROM keys WHERE lpath=?1");
    if (!st) {
        rc = sqlite3_errcode(impl.db);
        return -2;
    }
    CStmtScope scope(st);
    BindText(st, 1, lpath);
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        rc = SQLITE_OK;
        return sqlite3_column_int64(st, 0);
    }
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
        return -1;
    }
    return -2;
}

int64_t EnsureKey(CRegistry::Impl& impl, RegRoot root, const KeyRef& ref, int& rc) {
    int64_t parent = int64_t(root);
    QByteArray lpath = RootPrefix(root);
    const QByteArray utf8 = ref.key.toUtf8();
    for (const QByteArray& part : utf8.isEmpty() ? QList<QByteArray>() : utf8.split('\\')) {
        lpath += '\\' + LowerAscii(part);
        int64_t id = FindKey(impl, lpath, rc);
        if (id == -2)
            return -2;
        if (id == -1) {
            sqlite3_stmt* st = impl.Prepare("INSERT INTO keys(parent, name, lname, lpath) VALUES(?1, ?2, ?3, ?4)");
            if (!st) {
                rc = sqlite3_errcode(impl.db);
                return -2;
            }
            CStmtScope scope(st);
            sqlite3_bind_int64(st, 1, parent);
            BindText(st, 2, part);
            BindText(st, 3, LowerAscii(part));
            BindText(st, 4, lpath);
            rc = sqlite3_step(st);
            if (rc != SQLITE_DONE)
                return -2;
            rc = SQLITE_OK;
            id = sqlite3_last_insert_rowid(impl.db);
        }
        parent = id;
    }
    return parent;
}

}  // namespace

// Runs fn inside a transaction of the connection (or the caller's open Transaction()).
template <typename Fn>
static RegStatus RunWrite(CRegistry::Impl& impl, const QString& path, QString& lastError, Fn&& fn) {
    QString error;
    const OpenResult open = OpenStore(impl, path, true, error);
    if (open != OpenResult::Open) {
        lastError = u"%1: %2"_s.arg(path, error);
        return RegStatus::BadStore;
    }
    const bool outer = impl.depth == 0;
    if (outer) {
        const int rc = sqlite3_exec(impl.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db)));
            return StatusOf(rc);
        }
    }
    int rc = SQLITE_OK;
    RegStatus status = fn(rc);
    if (status == RegStatus::Ok && rc != SQLITE_OK)
        status = StatusOf(rc);
    if (status != RegStatus::Ok && rc != SQLITE_OK)
        lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db)));
    if (outer) {
        if (status == RegStatus::Ok) {
            rc = sqlite3_exec(impl.db, "COMMIT", nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) {
                lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db)));
                sqlite3_exec(impl.db, "ROLLBACK", nullptr, nullptr, nullptr);
                status = StatusOf(rc);
            }
        } else {
            sqlite3_exec(impl.db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    } else if (status != RegStatus::Ok && status != RegStatus::KeyNotFound && status != RegStatus::ValueNotFound &&
               status != RegStatus::HasSubKeys) {
        impl.failedInside = true;
    }
    impl.ownWrites++;
    impl.DropCaches();
    return status;
}

// Read access: a missing store reads as empty, a bad one fails.
static RegStatus OpenForRead(CRegistry::Impl& impl, const QString& path, QString& lastError, bool& missing) {
    QString error;
    missing = false;
    switch (OpenStore(impl, path, false, error)) {
        case OpenResult::Open:
            return RegStatus::Ok;
        case OpenResult::Missing:
            missing = true;
            return RegStatus::Ok;
        case OpenResult::Failed:
            break;
    }
    lastError = u"%1: %2"_s.arg(path, error);
    return RegStatus::BadStore;
}

bool CRegistry::IsUsable() {
    bool missing = false;
    return OpenForRead(*m_impl, m_path, m_lastError, missing) == RegStatus::Ok;
}

bool CRegistry::KeyExists(RegRoot root, const QString& key) {
    if (!IsValidKeyPath(key))
        return false;
    bool missing = false;
    if (OpenForRead(*m_impl, m_path, m_lastError, missing) != RegStatus::Ok || missing)
        return false;
    int rc = SQLITE_OK;
    return FindKey(*m_impl, MakeRef(root, key).lpath, rc) >= 0;
}

RegStatus CRegistry::CreateKey(RegRoot root, const QString& key) {
    if (!IsValidKeyPath(key))
        return RegStatus::InvalidName;
    const KeyRef ref = MakeRef(root, key);
    return RunWrite(*m_impl, m_path, m_lastError, [&](int& rc) {
        return EnsureKey(*m_impl, root, ref, rc) >= 0 ? RegStatus::Ok : RegStatus::IoError;
    });
}

RegStatus CRegistry::QueryValue(RegRoot root, const QString& key, const QString& name, RegValue& out) {
    const QByteArray uname = name.toUtf8();
    QByteArray lpath;
    if (!NormalizeKey(root, key, lpath) || !ValidName(uname))
        return RegStatus::InvalidName;
    bool missing = false;
    if (RegStatus s = OpenForRead(*m_impl, m_path, m_lastError, missing); s != RegStatus::Ok)
        return s;
    if (missing)
        return RegStatus::KeyNotFound;
    const QByteArray lname = LowerAscii(uname);
    const bool useCache = m_impl->depth == 0;
    QByteArray cacheKey;
    if (useCache) {
        cacheKey = lpath + '\x01' + lname;
        if (m_impl->CachesCurrent()) {
            const auto it = m_impl->values.find(cacheKey);
            if (it != m_impl->values.end() && it->second.generation == m_impl->generation) {
                if (it->second.status == RegStatus::Ok)
                    out = it->second.value;
                return it->second.status;
            }
        }
    }
    // One statement, so the key and its value are seen in one consistent snapshot.
    sqlite3_stmt* st = m_impl->Prepare(
        "SELECT v.type, v.data, v.name, v.id FROM keys k LEFT JOIN vals v ON v.key=k.id AND v.lname=?2 "
        "WHERE k.lpath=?1");
    if (!st)
        return StatusOf(sqlite3_errcode(m_impl->db));
    CachedValue answer;
    {
        CStmtScope scope(st);
        BindText(st, 1, lpath);
        BindText(st, 2, lname);
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) {
            answer.status = RegStatus::KeyNotFound;
        } else if (rc != SQLITE_ROW) {
            m_lastError = u"%1: %2"_s.arg(m_path, QString::fromUtf8(sqlite3_errmsg(m_impl->db)));
            return StatusOf(rc);
        } else if (sqlite3_column_type(st, 3) == SQLITE_NULL) {
            answer.status = RegStatus::ValueNotFound;
        } else {
            answer.value.type = uint32_t(sqlite3_column_int64(st, 0));
            answer.value.data =
                QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 1)), sqlite3_column_bytes(st, 1));
            answer.value.name = ColumnText(st, 2);
        }
    }
    if (answer.status == RegStatus::Ok)
        out = answer.value;
    if (useCache) {
        m_impl->MapShm(m_path);
        if (m_impl->values.size() >= kMaxCachedValues)
            m_impl->values.clear();
        answer.generation = m_impl->generation;
        const RegStatus status = answer.status;
        m_impl->values.insert_or_assign(cacheKey, std::move(answer));
        return status;
    }
    return answer.status;
}

RegStatus CRegistry::SetValue(RegRoot root, const QString& key, const QString& name, uint32_t type,
                              const QByteArray& data) {
    const QByteArray uname = name.toUtf8();
    if (!IsValidKeyPath(key) || !ValidName(uname))
        return RegStatus::InvalidName;
    const KeyRef ref = MakeRef(root, key);
    return RunWrite(*m_impl, m_path, m_lastError, [&](int& rc) {
        const int64_t id = EnsureKey(*m_impl, root, ref, rc);
        if (id < 0)
            return RegStatus::IoError;
        // An existing value keeps its place in the enumeration and its original name.
        sqlite3_stmt* st = m_impl->Prepare(
            "INSERT INTO vals(key, name, lname, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
            "ON CONFLICT(key, lname) DO UPDATE SET type=excluded.type, data=excluded.data");
        if (!st) {
            rc = sqlite3_errcode(m_impl->db);
            return RegStatus::IoError;
        }
        CStmtScope scope(st);
        sqlite3_bind_int64(st, 1, id);
        BindText(st, 2, uname);
        BindText(st, 3, LowerAscii(uname));
        sqlite3_bind_int64(st, 4, type);
        sqlite3_bind_blob(st, 5, data.constData(), int(data.size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(st);
        if (rc != SQLITE_DONE)
            return RegStatus::IoError;
        rc = SQLITE_OK;
        return RegStatus::Ok;
    });
}

// Runs fn(id, rc) in a write on an existing key; a missing store or key answers KeyNotFound
// without creating anything.
template <typename Fn>
static RegStatus WriteExistingKey(CRegistry::Impl& impl, const QString& path, QString& lastError,
                                  const QByteArray& lpath, Fn&& fn) {
    bool missing = false;
    if (RegStatus s = OpenForRead(impl, path, lastError, missing); s != RegStatus::Ok || missing)
        return missing ? RegStatus::KeyNotFound : s;
    return RunWrite(impl, path, lastError, [&](int& rc) {
        const int64_t id = FindKey(impl, lpath, rc);
        if (id == -2)
            return RegStatus::IoError;
        if (id == -1)
            return RegStatus::KeyNotFound;
        return fn(id, rc);
    });
}

// Prepares one statement, lets bind fill its parameters and steps it to its end.
template <typename Bind>
static bool StepToEnd(CRegistry::Impl& impl, const char* sql, int& rc, Bind&& bind) {
    sqlite3_stmt* st = impl.Prepare(sql);
    if (!st) {
        rc = sqlite3_errcode(impl.db);
        return false;
    }
    CStmtScope scope(st);
    bind(st);
    rc = sqlite3_step(st);
    if (rc != SQLITE_DONE)
        return false;
    rc = SQLITE_OK;
    return true;
}

RegStatus CRegistry::DeleteValue(RegRoot root, const QString& key, const QString& name) {
    const QByteArray uname = name.toUtf8();
    if (!IsValidKeyPath(key) || !ValidName(uname))
        return RegStatus::InvalidName;
    return WriteExistingKey(*m_impl, m_path, m_lastError, MakeRef(root, key).lpath, [&](int64_t id, int& rc) {
        if (!StepToEnd(*m_impl, "DELETE FROM vals WHERE key=?1 AND lname=?2", rc, [&](sqlite3_stmt* st) {
                sqlite3_bind_int64(st, 1, id);
                BindText(st, 2, LowerAscii(uname));
            }))
            return RegStatus::IoError;
        return sqlite3_changes(m_impl->db) > 0 ? RegStatus::Ok : RegStatus::ValueNotFound;
    });
}

RegStatus CRegistry::DeleteKey(RegRoot root, const QString& key) {
    if (key.isEmpty() || !IsValidKeyPath(key))
        return RegStatus::InvalidName;
    return WriteExistingKey(*m_impl, m_path, m_lastError, MakeRef(root, key).lpath, [&](int64_t id, int& rc) {
        sqlite3_stmt* st = m_impl->Prepare("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
        if (!st) {
            rc = sqlite3_errcode(m_impl->db);
            return RegStatus::IoError;
        }
        {
            CStmtScope scope(st);
            sqlite3_bind_int64(st, 1, id);
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW) {
                rc = SQLITE_OK;
                return RegStatus::HasSubKeys;
            }
            if (rc != SQLITE_DONE)
                return RegStatus::IoError;
        }
        for (const char* sql : {"DELETE FROM vals WHERE key=?1", "DELETE FROM keys WHERE id=?1"}) {
            if (!StepToEnd(*m_impl, sql, rc, [&](sqlite3_stmt* del) { sqlite3_bind_int64(del, 1, id); }))
                return RegStatus::IoError;
        }
        return RegStatus::Ok;
    });
}

RegStatus CRegistry::DeleteTree(RegRoot root, const QString& key) {
    if (key.isEmpty() || !IsValidKeyPath(key))
        return RegStatus::InvalidName;
    const QByteArray lpath = MakeRef(root, key).lpath;
    // Every key below lpath sorts between "lpath\" and "lpath]" (']' follows '\').
    const QByteArray lo = lpath + '\\';
    const QByteArray hi = lpath + ']';
    return WriteExistingKey(*m_impl, m_path, m_lastError, lpath, [&](int64_t, int& rc) {
        for (const char* sql : {"DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE lpath=?1 OR "
                                "(lpath>=?2 AND lpath<?3))",
                                "DELETE FROM keys WHERE lpath=?1 OR (lpath>=?2 AND lpath<?3)"}) {
            if (!StepToEnd(*m_impl, sql, rc, [&](sqlite3_stmt* st) {
                    BindText(st, 1, lpath);
                    BindText(st, 2, lo);
                    BindText(st, 3, hi);
                }))
                return RegStatus::IoError;
        }
        return RegStatus::Ok;
    });
}

// Fills the sub-key list of key unless the one held still describes the store: outside a
// transaction while the store stamp has not moved, inside one while this connection has
// not written (nobody else can commit into our snapshot).
static RegStatus LoadChildren(CRegistry::Impl& impl, const QString& path, QString& lastError, RegRoot root,
                              const QString& key) {
    bool missing = false;
    if (RegStatus s = OpenForRead(impl, path, lastError, missing); s != RegStatus::Ok)
        return s;
    if (missing)
        return RegStatus::KeyNotFound;
    auto& c = impl.children;
    const bool current = impl.depth > 0 ? c.valid && c.writes == impl.ownWrites : impl.CachesCurrent() && c.valid;
    if (current && c.root == root && c.key == key)
        return RegStatus::Ok;
    c.valid = false;
    const QByteArray lpath = MakeRef(root, key).lpath;
    int rc = SQLITE_OK;
    const int64_t id = FindKey(impl, lpath, rc);
    if (id == -2) {
        lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db)));
        return StatusOf(rc);
    }
    if (id == -1)
        return RegStatus::KeyNotFound;
    sqlite3_stmt* st = impl.Prepare("SELECT name FROM keys WHERE parent=?1 ORDER BY lname");
    if (!st)
        return StatusOf(sqlite3_errcode(impl.db));
    CStmtScope scope(st);
    sqlite3_bind_int64(st, 1, id);
    c.names.clear();
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        c.names.push_back(ColumnText(st, 0));
    if (rc != SQLITE_DONE) {
        c.names.clear();
        return StatusOf(rc);
    }
    c.root = root;
    c.key = key;
    c.writes = impl.ownWrites;
    c.valid = true;
    impl.MapShm(path);
    return RegStatus::Ok;
}

RegStatus CRegistry::CountSubKeys(RegRoot root, const QString& key, int& count) {
    if (!IsValidKeyPath(key))
        return RegStatus::InvalidName;
    const RegStatus s = LoadChildren(*m_impl, m_path, m_lastError, root, key);
    if (s == RegStatus::Ok)
        count = int(m_impl->children.names.size());
    return s;
}

RegStatus CRegistry::EnumSubKey(RegRoot root, const QString& key, int index, QString& name) {
    if (!IsValidKeyPath(key))
        return RegStatus::InvalidName;
    const RegStatus s = LoadChildren(*m_impl, m_path, m_lastError, root, key);
    if (s != RegStatus::Ok)
        return s;
    const auto& names = m_impl->children.names;
    if (index < 0 || size_t(index) >= names.size())
        return RegStatus::NoMoreItems;
    name = names[size_t(index)];
    return RegStatus::Ok;
}

RegStatus CRegistry::CountValues(RegRoot root, const QString& key, int& count) {
    if (!IsValidKeyPath(key))
        return RegStatus::InvalidName;
    bool missing = false;
    if (RegStatus s = OpenForRead(*m_impl, m_path, m_lastError, missing); s != RegStatus::Ok || missing)
        return missing ? RegStatus::KeyNotFound : s;
    sqlite3_stmt* st =
        m_impl->Prepare("SELECT k.id, (SELECT count(*) FROM vals v WHERE v.key=k.id) FROM keys k WHERE k.lpath=?1");
    if (!st)
        return StatusOf(sqlite3_errcode(m_impl->db));
    CStmtScope scope(st);
    BindText(st, 1, MakeRef(root, key).lpath);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE)
        return RegStatus::KeyNotFound;
    if (rc != SQLITE_ROW)
        return StatusOf(rc);
    count = sqlite3_column_int(st, 1);
    return RegStatus::Ok;
}

RegStatus CRegistry::EnumValue(RegRoot root, const QString& key, int index, RegValue& out) {
    if (!IsValidKeyPath(key))
        return RegStatus::InvalidName;
    if (index < 0)
        return RegStatus::NoMoreItems;
    bool missing = false;
    if (RegStatus s = OpenForRead(*m_impl, m_path, m_lastError, missing); s != RegStatus::Ok || missing)
        return missing ? RegStatus::KeyNotFound : s;
    sqlite3_stmt* st = m_impl->Prepare(
        "SELECT k.id, v.name, v.type, v.data FROM keys k LEFT JOIN "
        "(SELECT * FROM vals WHERE key=(SELECT id FROM keys WHERE lpath=?1) ORDER BY id LIMIT 1 OFFSET ?2) v "
        "ON v.key=k.id WHERE k.lpath=?1");
    if (!st)
        return StatusOf(sqlite3_errcode(m_impl->db));
    CStmtScope scope(st);
    BindText(st, 1, MakeRef(root, key).lpath);
    sqlite3_bind_int(st, 2, index);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE)
        return RegStatus::KeyNotFound;
    if (rc != SQLITE_ROW)
        return StatusOf(rc);
    if (sqlite3_column_type(st, 1) == SQLITE_NULL)
        return RegStatus::NoMoreItems;
    out.name = ColumnText(st, 1);
    out.type = uint32_t(sqlite3_column_int64(st, 2));
    out.data = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 3)), sqlite3_column_bytes(st, 3));
    return RegStatus::Ok;
}

RegStatus CRegistry::Transaction(const std::function<bool()>& body) {
    if (m_impl->depth > 0) {
        m_impl->depth++;
        const bool ok = body();
        m_impl->depth--;
        if (!ok)
            m_impl->failedInside = true;
        return ok ? RegStatus::Ok : RegStatus::IoError;
    }
    QString error;
    if (OpenStore(*m_impl, m_path, true, error) != OpenResult::Open) {
        m_lastError = u"%1: %2"_s.arg(m_path, error);
        return RegStatus::BadStore;
    }
    const int rc = sqlite3_exec(m_impl->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError = u"%1: %2"_s.arg(m_path, QString::fromUtf8(sqlite3_errmsg(m_impl->db)));
        return StatusOf(rc);
    }
    m_impl->DropCaches();
    m_impl->depth = 1;
    m_impl->failedInside = false;
    const bool ok = body();
    m_impl->depth = 0;
    m_impl->ownWrites++;
    m_impl->DropCaches();
    if (!ok || m_impl->failedInside) {
        sqlite3_exec(m_impl->db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_impl->failedInside = false;
        return RegStatus::IoError;
    }
    const int crc = sqlite3_exec(m_impl->db, "COMMIT", nullptr, nullptr, nullptr);
    if (crc != SQLITE_OK) {
        m_lastError = u"%1: %2"_s.arg(m_path, QString::fromUtf8(sqlite3_errmsg(m_impl->db)));
        sqlite3_exec(m_impl->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return StatusOf(crc);
    }
    return RegStatus::Ok;
}

RegStatus CRegistry::ReadTransaction(const std::function<void()>& body) {
    if (m_impl->depth > 0) {
        body();
        return RegStatus::Ok;
    }
    bool missing = false;
    if (RegStatus s = OpenForRead(*m_impl, m_path, m_lastError, missing); s != RegStatus::Ok)
        return s;
    if (missing) {
        body();  // every read finds nothing, as it would one by one
        return RegStatus::Ok;
    }
    const int rc = sqlite3_exec(m_impl->db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError = u"%1: %2"_s.arg(m_path, QString::fromUtf8(sqlite3_errmsg(m_impl->db)));
        return StatusOf(rc);
    }
    m_impl->DropCaches();
    m_impl->depth = 1;
    body();
    m_impl->depth = 0;
    m_impl->DropCaches();
    sqlite3_exec(m_impl->db, "COMMIT", nullptr, nullptr, nullptr);
    return RegStatus::Ok;
}

bool CRegistry::CheckIntegrity(QString* report) {
    bool missing = false;
    if (OpenForRead(*m_impl, m_path, m_lastError, missing) != RegStatus::Ok) {
        if (report)
            *report = m_lastError;
        return false;
    }
    if (missing)
        return true;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_impl->db, "PRAGMA integrity_check", -1, &st, nullptr) != SQLITE_OK)
        return false;
    QStringList lines;
    while (sqlite3_step(st) == SQLITE_ROW)
        lines << ColumnText(st, 0);
    sqlite3_finalize(st);
    const bool ok = lines == QStringList{u"ok"_s};
    if (report)
        *report = lines.join(u'\n');
    return ok;
}

bool CRegistry::SetString(RegRoot root, const QString& key, const QString& name, const QString& text) {
    QByteArray data = text.toUtf8();
    data.append('\0');
    return SetValue(root, key, name, kRegSz, data) == RegStatus::Ok;
}

bool CRegistry::SetNumber(RegRoot root, const QString& key, const QString& name, uint32_t number) {
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((number >> (8 * i)) & 0xff);
    return SetValue(root, key, name, kRegDword, data) == RegStatus::Ok;
}

bool CRegistry::GetString(RegRoot root, const QString& key, const QString& name, QString& text) {
    RegValue v;
    if (QueryValue(root, key, name, v) != RegStatus::Ok)
        return false;
    QByteArray data = v.data;
    if (data.endsWith('\0'))
        data.chop(1);
    text = QString::fromUtf8(data);
    return true;
}

bool CRegistry::GetNumber(RegRoot root, const QString& key, const QString& name, uint32_t& number) {
    RegValue v;
    if (QueryValue(root, key, name, v) != RegStatus::Ok || v.data.size() > 4)
        return false;
    uint32_t n = 0;
    for (int i = 0; i < v.data.size(); ++i)
        n |= uint32_t(uint8_t(v.data[i])) << (8 * i);
    number = n;
    return true;
}
