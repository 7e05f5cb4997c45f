// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/Registry.h"

#include "platform/registry/RegistryConnection.h"
#include "platform/registry/StoreFile.h"

#include "platform/base/ScopeExit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/statvfs.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxNameBytes = 255;
constexpr size_t kMaxCachedValues = 262144;

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

namespace {

void BindText(sqlite3_stmt* st, int i, const QByteArray& text) {
    sqlite3_bind_text(st, i, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

QString ColumnText(sqlite3_stmt* st, int i) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
}

QByteArray ColumnBlob(sqlite3_stmt* st, int i) {
    return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
}

// A value's name, type and data from the columns first, first + 1 and first + 2.
RegValue ColumnValue(sqlite3_stmt* st, int first) {
    return {ColumnText(st, first), uint32_t(sqlite3_column_int64(st, first + 1)), ColumnBlob(st, first + 2)};
}

// The sub-keys of one key mostly hold values of the same names, met in the same order: the
// name at each place is decoded once and shared, which spares a read of a thousand bindings
// most of its allocations.
class CValueNames {
public:
    QString At(std::size_t place, sqlite3_stmt* st, int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
        const int bytes = sqlite3_column_bytes(st, column);
        if (place >= m_names.size())
            m_names.resize(place + 1);
        CName& held = m_names[place];
        if (!held.set || held.utf8.size() != bytes ||
            (bytes > 0 && std::memcmp(held.utf8.constData(), text, std::size_t(bytes)) != 0)) {
            held.utf8 = QByteArray(text, bytes);
            held.name = QString::fromUtf8(held.utf8);
            held.set = true;
        }
        return held.name;
    }

private:
    struct CName {
        bool set = false;
        QByteArray utf8;
        QString name;
    };
    std::vector<CName> m_names;
};

// Values read with their row ids, handed out in creation order and cleared. Sorted here: an
// ORDER BY would build a temporary b-tree for every read.
using ValueRows = std::vector<std::pair<sqlite3_int64, RegValue>>;
void TakeInCreationOrder(ValueRows& rows, std::vector<RegValue>& out) {
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out.clear();
    out.reserve(rows.size());
    for (auto& row : rows)
        out.push_back(std::move(row.second));
    rows.clear();
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

void CRegistry::LimitCacheMemory(int64_t bytes) {
    sqlite3_soft_heap_limit64(bytes);
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

void CRegistry::SetBusyWait(int milliseconds) {
    SetStoreBusyWait(milliseconds);
}

bool CRegistry::IsValidKeyPath(const QString& key) {
    QByteArray lpath;
    return NormalizeKey(RegRoot::CurrentUser, key, lpath);
}

namespace {
// Less room than this beside the store: opening it may fail for want of space alone.
constexpr uint64_t kStoreRoomNeeded = uint64_t(1) << 20;
}  // namespace

QString RegistryUnusableMessage(const QString& path) {
    // A sound store on a full disk cannot be opened either (its journal needs room); such a
    // store must never be called damaged, nor moved aside.
    struct statvfs space {};
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::statvfs(folder.constData(), &space) == 0 && uint64_t(space.f_bavail) * space.f_frsize < kStoreRoomNeeded)
        return u"The settings store \"%1\" cannot be used: the disk holding it is full.\nFree some space on it, "
               u"then start the program again. The store itself is kept as it is."_s.arg(path);
    return u"The settings store \"%1\" cannot be used: it is not a Dovetail registry file, it is damaged, or it "
           u"cannot be read.\nMove it aside or restore it from a backup, then start the program again."_s.arg(path);
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
        rc = sqlite3_errcode(impl.db.get());
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
    // A key's ancestors exist whenever the key does, so one lookup settles the usual case
    // (a write to an existing key) instead of one per level.
    if (!ref.key.isEmpty()) {
        if (const int64_t existing = FindKey(impl, ref.lpath, rc); existing != -1)
            return existing;
    }
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
                rc = sqlite3_errcode(impl.db.get());
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
            id = sqlite3_last_insert_rowid(impl.db.get());
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
    if (OpenStoreFile(path, true, impl.db, error) != StoreOpenResult::Open) {
        lastError = u"%1: %2"_s.arg(path, error);
        return RegStatus::BadStore;
    }
    const auto failure = [&](int rc) {
        lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db.get())));
        return StatusOf(rc);
    };
    // Whatever happens below, the caches no longer describe the store.
    const CScopeExit forget([&] {
        impl.ownWrites++;
        impl.DropCaches();
    });
    if (impl.depth > 0) {
        int rc = SQLITE_OK;
        RegStatus status = fn(rc);
        if (status == RegStatus::Ok && rc != SQLITE_OK)
            status = StatusOf(rc);
        if (status != RegStatus::Ok && rc != SQLITE_OK)
            failure(rc);
        if (status != RegStatus::Ok && status != RegStatus::KeyNotFound && status != RegStatus::ValueNotFound &&
            status != RegStatus::HasSubKeys)
            impl.failedInside = true;
        return status;
    }
    sqlite3_busy_timeout(impl.db.get(), StoreBusyWait());
    CSqliteTransaction transaction(impl.db.get(), "BEGIN IMMEDIATE");
    if (transaction.BeginResult() != SQLITE_OK)
        return failure(transaction.BeginResult());
    int rc = SQLITE_OK;
    RegStatus status = fn(rc);
    if (status == RegStatus::Ok && rc != SQLITE_OK)
        status = StatusOf(rc);
    if (status != RegStatus::Ok) {
        if (rc != SQLITE_OK)
            failure(rc);
        return status;  // rolled back
    }
    if (const int commit = transaction.Commit(); commit != SQLITE_OK)
        return failure(commit);
    return RegStatus::Ok;
}

// Read access: a missing store reads as empty, a bad one fails.
static RegStatus OpenForRead(CRegistry::Impl& impl, const QString& path, QString& lastError, bool& missing) {
    QString error;
    missing = false;
    switch (OpenStoreFile(path, false, impl.db, error)) {
        case StoreOpenResult::Open:
            return RegStatus::Ok;
        case StoreOpenResult::Missing:
            missing = true;
            return RegStatus::Ok;
        case StoreOpenResult::Failed:
            break;
    }
    lastError = u"%1: %2"_s.arg(path, error);
    return RegStatus::BadStore;
}

// The key's normalized path, the store open for reading; KeyNotFound where there is no store.
static RegStatus OpenKeyForRead(CRegistry::Impl& impl, const QString& path, QString& lastError, RegRoot root,
                                const QString& key, QByteArray& lpath) {
    if (!NormalizeKey(root, key, lpath))
        return RegStatus::InvalidName;
    bool missing = false;
    if (RegStatus s = OpenForRead(impl, path, lastError, missing); s != RegStatus::Ok)
        return s;
    return missing ? RegStatus::KeyNotFound : RegStatus::Ok;
}

// A read that stopped with rc: said in the last error, with the store's name.
static RegStatus ReadFailed(CRegistry::Impl& impl, const QString& path, QString& lastError, int rc) {
    lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db.get())));
    return StatusOf(rc);
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
        return StatusOf(sqlite3_errcode(m_impl->db.get()));
    CachedValue answer;
    {
        CStmtScope scope(st);
        BindText(st, 1, lpath);
        BindText(st, 2, lname);
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) {
            answer.status = RegStatus::KeyNotFound;
        } else if (rc != SQLITE_ROW) {
            return ReadFailed(*m_impl, m_path, m_lastError, rc);
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
        m_impl->MapIndex(m_path);
        if (m_impl->values.size() >= kMaxCachedValues)
            m_impl->values.clear();
        answer.generation = m_impl->generation;
        const RegStatus status = answer.status;
        m_impl->values.insert_or_assign(cacheKey, std::move(answer));
        return status;
    }
    return answer.status;
}

RegStatus CRegistry::QueryValues(RegRoot root, const QString& key, std::vector<RegValue>& out) {
    out.clear();
    QByteArray lpath;
    if (RegStatus s = OpenKeyForRead(*m_impl, m_path, m_lastError, root, key, lpath); s != RegStatus::Ok)
        return s;
    // The key row comes back even without values, so a key without values is told from a
    // missing key in the same snapshot.
    sqlite3_stmt* st = m_impl->Prepare(
        "SELECT v.id, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key=k.id WHERE k.lpath=?1");
    if (!st)
        return StatusOf(sqlite3_errcode(m_impl->db.get()));
    CStmtScope scope(st);
    BindText(st, 1, lpath);
    bool keyFound = false;
    int rc = SQLITE_OK;
    ValueRows rows;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        keyFound = true;
        if (sqlite3_column_type(st, 0) != SQLITE_NULL)
            rows.emplace_back(sqlite3_column_int64(st, 0), ColumnValue(st, 1));
    }
    if (rc != SQLITE_DONE)
        return ReadFailed(*m_impl, m_path, m_lastError, rc);
    TakeInCreationOrder(rows, out);
    return keyFound ? RegStatus::Ok : RegStatus::KeyNotFound;
}

RegStatus CRegistry::VisitSubKeyValues(
    RegRoot root, const QString& key,
    const std::function<void(const QString& name, std::vector<RegValue>& values)>& visit) {
    QByteArray lpath;
    if (RegStatus s = OpenKeyForRead(*m_impl, m_path, m_lastError, root, key, lpath); s != RegStatus::Ok)
        return s;
    // The parent's row comes back even without sub-keys, so an empty key is told from a missing
    // one. Sub-keys come in the children index's order; each one's values are put in creation
    // order here, since sorting every row would hold them all at once.
    sqlite3_stmt* st = m_impl->Prepare(
        "SELECT c.id, c.name, v.id, v.name, v.type, v.data FROM keys p LEFT JOIN keys c ON c.parent=p.id "
        "LEFT JOIN vals v ON v.key=c.id WHERE p.lpath=?1 ORDER BY c.lname");
    if (!st)
        return StatusOf(sqlite3_errcode(m_impl->db.get()));
    CStmtScope scope(st);
    BindText(st, 1, lpath);
    bool keyFound = false;
    int rc = SQLITE_OK;
    sqlite3_int64 child = -1;
    QString name;
    ValueRows rows;
    std::vector<RegValue> values;
    CValueNames names;
    const auto hand = [&] {
        if (child < 0)
            return;
        TakeInCreationOrder(rows, values);
        visit(name, values);
    };
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        keyFound = true;
        if (sqlite3_column_type(st, 0) == SQLITE_NULL)
            continue;
        if (sqlite3_column_int64(st, 0) != child) {
            hand();
            child = sqlite3_column_int64(st, 0);
            name = ColumnText(st, 1);
        }
        if (sqlite3_column_type(st, 2) != SQLITE_NULL)
            rows.emplace_back(
                sqlite3_column_int64(st, 2),
                RegValue{names.At(rows.size(), st, 3), uint32_t(sqlite3_column_int64(st, 4)), ColumnBlob(st, 5)});
    }
    if (rc != SQLITE_DONE)
        return ReadFailed(*m_impl, m_path, m_lastError, rc);
    hand();
    return keyFound ? RegStatus::Ok : RegStatus::KeyNotFound;
}

RegStatus CRegistry::SetValue(RegRoot root, const QString& key, const QString& name, uint32_t type,
                              const QByteArray& data) {
    return SetValues(root, key, {RegValue{name, type, data}});
}

RegStatus CRegistry::SetValues(RegRoot root, const QString& key, const std::vector<RegValue>& values) {
    std::vector<QByteArray> names;
    names.reserve(values.size());
    for (const RegValue& value : values) {
        names.push_back(value.name.toUtf8());
        if (!ValidName(names.back()))
            return RegStatus::InvalidName;
    }
    if (!IsValidKeyPath(key))
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
            rc = sqlite3_errcode(m_impl->db.get());
            return RegStatus::IoError;
        }
        CStmtScope scope(st);
        for (std::size_t i = 0; i < values.size(); ++i) {
            sqlite3_reset(st);
            sqlite3_bind_int64(st, 1, id);
            BindText(st, 2, names[i]);
            BindText(st, 3, LowerAscii(names[i]));
            sqlite3_bind_int64(st, 4, values[i].type);
            sqlite3_bind_blob(st, 5, values[i].data.constData(), int(values[i].data.size()), SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
            if (rc != SQLITE_DONE)
                return RegStatus::IoError;
        }
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
        rc = sqlite3_errcode(impl.db.get());
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
        return sqlite3_changes(m_impl->db.get()) > 0 ? RegStatus::Ok : RegStatus::ValueNotFound;
    });
}

RegStatus CRegistry::DeleteKey(RegRoot root, const QString& key) {
    if (key.isEmpty() || !IsValidKeyPath(key))
        return RegStatus::InvalidName;
    return WriteExistingKey(*m_impl, m_path, m_lastError, MakeRef(root, key).lpath, [&](int64_t id, int& rc) {
        sqlite3_stmt* st = m_impl->Prepare("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
        if (!st) {
            rc = sqlite3_errcode(m_impl->db.get());
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
        lastError = u"%1: %2"_s.arg(path, QString::fromUtf8(sqlite3_errmsg(impl.db.get())));
        return StatusOf(rc);
    }
    if (id == -1)
        return RegStatus::KeyNotFound;
    sqlite3_stmt* st = impl.Prepare("SELECT name FROM keys WHERE parent=?1 ORDER BY lname");
    if (!st)
        return StatusOf(sqlite3_errcode(impl.db.get()));
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
    impl.MapIndex(path);
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
        return StatusOf(sqlite3_errcode(m_impl->db.get()));
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
        return StatusOf(sqlite3_errcode(m_impl->db.get()));
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
    Impl& impl = *m_impl;
    if (impl.depth > 0) {
        impl.depth++;
        const CScopeExit leave([&] { impl.depth--; });
        const bool ok = body();
        if (!ok)
            impl.failedInside = true;
        return ok ? RegStatus::Ok : RegStatus::IoError;
    }
    QString error;
    if (OpenStoreFile(m_path, true, impl.db, error) != StoreOpenResult::Open) {
        m_lastError = u"%1: %2"_s.arg(m_path, error);
        return RegStatus::BadStore;
    }
    const auto failure = [&](int rc) {
        m_lastError = u"%1: %2"_s.arg(m_path, QString::fromUtf8(sqlite3_errmsg(impl.db.get())));
        return StatusOf(rc);
    };
    // A body that throws leaves through the guards: rolled back, depth and caches reset.
    sqlite3_busy_timeout(impl.db.get(), StoreBusyWait());
    CSqliteTransaction transaction(impl.db.get(), "BEGIN IMMEDIATE");
    if (transaction.BeginResult() != SQLITE_OK)
        return failure(transaction.BeginResult());
    impl.DropCaches();
    impl.depth = 1;
    impl.failedInside = false;
    const CScopeExit leave([&] {
        impl.depth = 0;
        impl.ownWrites++;
        impl.DropCaches();
    });
    const bool ok = body();
    if (!ok || impl.failedInside) {
        impl.failedInside = false;
        return RegStatus::IoError;  // rolled back
    }
    if (const int commit = transaction.Commit(); commit != SQLITE_OK)
        return failure(commit);
    return RegStatus::Ok;
}

RegStatus CRegistry::ReadTransaction(const std::function<void()>& body) {
    Impl& impl = *m_impl;
    if (impl.depth > 0) {
        body();
        return RegStatus::Ok;
    }
    bool missing = false;
    if (RegStatus s = OpenForRead(impl, m_path, m_lastError, missing); s != RegStatus::Ok)
        return s;
    if (missing) {
        body();  // every read finds nothing, as it would one by one
        return RegStatus::Ok;
    }
    CSqliteTransaction snapshot(impl.db.get(), "BEGIN");
    if (snapshot.BeginResult() != SQLITE_OK) {
        m_lastError = u"%1: %2"_s.arg(m_path, QString::fromUtf8(sqlite3_errmsg(impl.db.get())));
        return StatusOf(snapshot.BeginResult());
    }
    impl.DropCaches();
    impl.depth = 1;
    const CScopeExit leave([&] {
        impl.depth = 0;
        impl.DropCaches();
    });
    body();
    snapshot.Commit();
    return RegStatus::Ok;
}

StoreStamp CRegistry::Stamp() {
    bool missing = false;
    if (OpenForRead(*m_impl, m_path, m_lastError, missing) != RegStatus::Ok || missing)
        return {};
    m_impl->MapIndex(m_path);
    return m_impl->Stamp();
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
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_impl->db.get(), "PRAGMA integrity_check", -1, &raw, nullptr) != SQLITE_OK)
        return false;
    const CSqliteStmt st(raw);
    QStringList lines;
    while (sqlite3_step(raw) == SQLITE_ROW)
        lines << ColumnText(raw, 0);
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

bool SameRegistryName(const QString& a, const QString& b) {
    return LowerAscii(a.toUtf8()) == LowerAscii(b.toUtf8());
}
