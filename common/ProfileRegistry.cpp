// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProfileRegistry.h"

namespace {

QString Latin(const char* text) {
    return QString::fromLatin1(text);
}

QString AreaPath(const QString& user, const QString& area) {
    return QStringLiteral("%1\\%2\\%3").arg(Latin(kUsersKey), user, area);
}

QString EntryPath(const QString& user, const QString& area, const QString& entry) {
    return QStringLiteral("%1\\%2\\%3\\%4").arg(Latin(kUsersKey), user, area, entry);
}

// Creates the key and any missing parents when the value cannot be set on an existing key.
bool SetValueCreatingKey(HKEY root, const QString& keyPath, const QString& valueName, uint32_t type,
                         const QByteArray& data) {
    CRegistry& reg = CRegistry::Default();
    RegStatus status = reg.SetValue(root, keyPath, valueName, type, data);
    if (status == RegStatus::KeyNotFound) {
        if (reg.CreateKey(root, keyPath) != RegStatus::Ok)
            return false;
        status = reg.SetValue(root, keyPath, valueName, type, data);
    }
    return status == RegStatus::Ok;
}

void EnsureTrailingSlash(QString& folder) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder.append(QLatin1Char('/'));
}

CStoreCheck MissingValue(const QString& label) {
    return CStoreCheck::Missing(QStringLiteral("%1 is missing or unreadable").arg(label));
}

// A folder value ending with "/" on success; the stored text is checked, not the one with
// the separator added, so an empty folder cannot become the root.
CStoreCheck ReadFolder(HKEY root, const QString& key, const QString& valueName, QString& out) {
    const QString label = u'"' + (valueName.isEmpty() ? key.section(u'\\', -1) : valueName) + u'"';
    QString folder;
    if (!RegReadString(root, key, valueName, folder))
        return MissingValue(label);
    if (CStoreCheck check = CheckPcFolder(label, folder); !check)
        return check;
    EnsureTrailingSlash(folder);
    out = folder;
    return {};
}

}  // namespace

namespace {

// The answer of RegReadString for a query's status and value.
bool StringFromValue(RegStatus status, const RegValue& value, QString& out, int maxLength) {
    if (status == RegStatus::ValueNotFound) {
        out.clear();
        return false;
    }
    if (status != RegStatus::Ok)
        return false;  // the key could not be opened: out stays as it was
    if (value.data.size() > qsizetype(maxLength < 0 ? 0 : maxLength)) {
        out.clear();
        return false;
    }
    if (value.data.isEmpty()) {
        out.clear();
        return false;
    }
    QByteArray text = value.data.left(value.data.size() - 1);
    // A C string ends at its first NUL, whatever follows it.
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    out = QString::fromUtf8(text);
    return true;
}

// The answer of RegReadNumber for a query's status and value.
bool NumberFromValue(RegStatus status, const RegValue& value, uint32_t& out) {
    if (status != RegStatus::Ok || value.data.size() > 4)
        return false;
    uint32_t number = 0;
    for (qsizetype i = 0; i < value.data.size(); ++i)
        number |= uint32_t(uint8_t(value.data[i])) << (8 * i);
    out = number;
    return true;
}

// Registry names match case-insensitively in ASCII only.
bool SameValueName(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a.at(i).unicode(), y = b.at(i).unicode();
        if (x >= u'A' && x <= u'Z')
            x = char16_t(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z')
            y = char16_t(y - u'A' + u'a');
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

bool RegReadString(HKEY root, const QString& keyPath, const QString& valueName, QString& out, int maxLength) {
    RegValue value;
    const RegStatus status = CRegistry::Default().QueryValue(root, keyPath, valueName, value);
    return StringFromValue(status, value, out, maxLength);
}

bool RegReadNumber(HKEY root, const QString& keyPath, const QString& valueName, uint32_t& out) {
    RegValue value;
    return NumberFromValue(CRegistry::Default().QueryValue(root, keyPath, valueName, value), value, out);
}

RegValue EntryStringValue(const QString& valueName, const QString& text) {
    QByteArray data = text.toUtf8();
    data.append('\0');
    return {valueName, kRegSz, data};
}

RegValue EntryNumberValue(const QString& valueName, uint32_t number) {
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((number >> (8 * i)) & 0xff);
    return {valueName, kRegDword, data};
}

bool RegWriteString(HKEY root, const QString& keyPath, const QString& valueName, const QString& text) {
    const RegValue value = EntryStringValue(valueName, text);
    return SetValueCreatingKey(root, keyPath, valueName, value.type, value.data);
}

bool RegWriteNumber(HKEY root, const QString& keyPath, const QString& valueName, uint32_t number) {
    const RegValue value = EntryNumberValue(valueName, number);
    return SetValueCreatingKey(root, keyPath, valueName, value.type, value.data);
}

bool IsEpocConnectInstalled() {
    QString folder;
    return RegReadString(HKEY_LOCAL_MACHINE, Latin(kPsiWinKey), QStringLiteral("Installation Directory"), folder);
}

CStoreCheck GetEpocConnectDirectory(QString& out) {
    return ReadFolder(HKEY_LOCAL_MACHINE, Latin(kPsiWinKey), QStringLiteral("Installation Directory"), out);
}

CStoreCheck GetControlFile(QString& out) {
    const QString label = QStringLiteral("\"Control File\"");
    QString path;
    if (!RegReadString(HKEY_LOCAL_MACHINE, Latin(kPsiWinKey), QStringLiteral("Control File"), path))
        return MissingValue(label);
    if (CStoreCheck check = CheckPcFilePath(label, path); !check)
        return check;
    out = path;
    return {};
}

QString GetControlFile() {
    QString path;
    GetControlFile(path);
    return path;
}

QString GetControlDirectory() {
    const QString path = GetControlFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

CStoreCheck GetCurrentUser(QString& out) {
    const QString label = QStringLiteral("\"CurrentUser\"");
    QString user;
    if (!RegReadString(HKEY_CURRENT_USER, Latin(kCurrentUserKey), QString(), user))
        return MissingValue(label);
    if (CStoreCheck check = CheckUserName(label, user); !check)
        return check;
    out = user;
    return {};
}

CStoreCheck GetUserPCDirectory(const QString& user, QString& out) {
    const QString key = QStringLiteral("%1\\%2\\PCDirectory").arg(Latin(kUsersKey), user);
    return ReadFolder(HKEY_CURRENT_USER, key, QString(), out);
}

QString FormatMachineId(uint32_t first, uint32_t second) {
    return QStringLiteral("%1-%2").arg(first, 0, 16).arg(second, 0, 16).toUpper();
}

CStoreCheck FindUserForMachine(uint32_t first, uint32_t second, QString& user) {
    CRegistry& reg = CRegistry::Default();
    const QString usersKey = Latin(kUsersKey);
    const CStoreCheck none = CStoreCheck::Missing(QStringLiteral("no user profile knows the handheld"));
    if (!reg.KeyExists(HKEY_CURRENT_USER, usersKey))
        return none;
    const QString machine = FormatMachineId(first, second);
    for (int i = 0;; ++i) {
        QString name;
        if (reg.EnumSubKey(HKEY_CURRENT_USER, usersKey, i, name) != RegStatus::Ok)
            return none;
        const QString path = QStringLiteral("%1\\%2\\Machines\\%3").arg(usersKey, name, machine);
        if (reg.KeyExists(HKEY_CURRENT_USER, path)) {
            if (CStoreCheck check = CheckUserName(QStringLiteral("The handheld owner's name"), name); !check)
                return check;
            user = name;
            return {};
        }
    }
}

bool ReadUserString(const QString& user, const QString& area, const QString& valueName, QString& out) {
    return RegReadString(HKEY_CURRENT_USER, AreaPath(user, area), valueName, out);
}

bool WriteUserString(const QString& user, const QString& area, const QString& valueName, const QString& text) {
    return RegWriteString(HKEY_CURRENT_USER, AreaPath(user, area), valueName, text);
}

bool ReadEntryString(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                     QString& out) {
    return RegReadString(HKEY_CURRENT_USER, EntryPath(user, area, entry), valueName, out);
}

bool ReadEntryNumber(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                     uint32_t& out) {
    return RegReadNumber(HKEY_CURRENT_USER, EntryPath(user, area, entry), valueName, out);
}

bool ReadEntryValues(const QString& user, const QString& area, const QString& entry, CEntryValues& out) {
    out.m_status = CRegistry::Default().QueryValues(HKEY_CURRENT_USER, EntryPath(user, area, entry), out.m_values);
    return out.m_status == RegStatus::Ok;
}

bool VisitAreaEntries(const QString& user, const QString& area,
                      const std::function<void(const QString& entry, CEntryValues& values)>& visit) {
    CEntryValues values;
    values.m_status = RegStatus::Ok;
    const RegStatus status = CRegistry::Default().VisitSubKeyValues(
        HKEY_CURRENT_USER, AreaPath(user, area), [&](const QString& name, std::vector<RegValue>& read) {
            values.m_values.swap(read);
            visit(name, values);
        });
    return status == RegStatus::Ok || status == RegStatus::KeyNotFound;
}

RegStatus CEntryValues::Find(const QString& valueName, const RegValue*& value) const {
    value = nullptr;
    if (m_status != RegStatus::Ok)
        return m_status;
    // Names the registry refuses are refused here too (at most 255 UTF-8 bytes, no NUL).
    if (valueName.contains(QChar(0)) || (valueName.size() > 85 && valueName.toUtf8().size() > 255))
        return RegStatus::InvalidName;
    for (const RegValue& candidate : m_values) {
        if (SameValueName(candidate.name, valueName)) {
            value = &candidate;
            return RegStatus::Ok;
        }
    }
    return RegStatus::ValueNotFound;
}

bool CEntryValues::String(const QString& valueName, QString& out) const {
    const RegValue* value = nullptr;
    const RegStatus status = Find(valueName, value);
    return StringFromValue(status, value ? *value : RegValue(), out, kRegStringMax);
}

bool CEntryValues::Number(const QString& valueName, uint32_t& out) const {
    const RegValue* value = nullptr;
    const RegStatus status = Find(valueName, value);
    return NumberFromValue(status, value ? *value : RegValue(), out);
}

bool CEntryValues::Holds(const RegValue& value) const {
    const RegValue* held = nullptr;
    return Find(value.name, held) == RegStatus::Ok && held && held->type == value.type && held->data == value.data;
}

bool WriteEntryString(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                      const QString& text) {
    return RegWriteString(HKEY_CURRENT_USER, EntryPath(user, area, entry), valueName, text);
}

bool WriteEntryValues(const QString& user, const QString& area, const QString& entry,
                      const std::vector<RegValue>& values) {
    return CRegistry::Default().SetValues(HKEY_CURRENT_USER, EntryPath(user, area, entry), values) == RegStatus::Ok;
}

bool WriteEntryNumber(const QString& user, const QString& area, const QString& entry, const QString& valueName,
                      uint32_t number) {
    return RegWriteNumber(HKEY_CURRENT_USER, EntryPath(user, area, entry), valueName, number);
}

int CountUserSubkeys(const QString& user, const QString& area) {
    int count = 0;
    if (CRegistry::Default().CountSubKeys(HKEY_CURRENT_USER, AreaPath(user, area), count) != RegStatus::Ok)
        return 0;
    return count;
}

bool GetUserSubkeyName(const QString& user, const QString& area, int index, QString& out) {
    if (index < 0)
        return false;
    // Asking for the index directly gives the same answer as counting first and walking up
    // to it, without making a full walk quadratic.
    QString name;
    switch (CRegistry::Default().EnumSubKey(HKEY_CURRENT_USER, AreaPath(user, area), index, name)) {
        case RegStatus::Ok:
            out = name;
            return !out.isEmpty();
        case RegStatus::NoMoreItems:
        case RegStatus::KeyNotFound:
            return false;  // past the end or no area: nothing enumerated, out untouched
        default:
            out.clear();
            return false;
    }
}

bool DeleteUserKey(const QString& user, const QString& area, const QString& entry) {
    const QString key = entry.isEmpty() ? AreaPath(user, area) : EntryPath(user, area, entry);
    return CRegistry::Default().DeleteKey(HKEY_CURRENT_USER, key) == RegStatus::Ok;
}

bool RegReadSnapshot(const std::function<void()>& body) {
    return CRegistry::Default().ReadTransaction(body) == RegStatus::Ok;
}

bool RegTransaction(const std::function<bool()>& body) {
    return CRegistry::Default().Transaction(body) == RegStatus::Ok;
}

StoreStamp RegStamp() {
    return CRegistry::Default().Stamp();
}

bool RegStoreUsable(QString& message) {
    CRegistry& registry = CRegistry::Default();
    if (registry.CheckIntegrity())
        return true;
    message = RegistryUnusableMessage(registry.Path());
    return false;
}

bool UserEntryExists(const QString& user, const QString& area, const QString& entry) {
    return CRegistry::Default().KeyExists(HKEY_CURRENT_USER, EntryPath(user, area, entry));
}

bool RegStoreOpens() {
    return CRegistry::Default().IsUsable();
}

void RegLimitCacheMemory(int64_t bytes) {
    CRegistry::LimitCacheMemory(bytes);
}

bool RegKeyExists(HKEY root, const QString& keyPath) {
    return CRegistry::Default().KeyExists(root, keyPath);
}

RegStatus RegCreateKey(HKEY root, const QString& keyPath) {
    return CRegistry::Default().CreateKey(root, keyPath);
}

RegStatus RegDeleteValue(HKEY root, const QString& keyPath, const QString& valueName) {
    return CRegistry::Default().DeleteValue(root, keyPath, valueName);
}

RegStatus RegEnumSubKey(HKEY root, const QString& keyPath, int index, QString& name) {
    return CRegistry::Default().EnumSubKey(root, keyPath, index, name);
}

RegStatus RegQueryValue(HKEY root, const QString& keyPath, const QString& valueName, RegValue& value) {
    return CRegistry::Default().QueryValue(root, keyPath, valueName, value);
}

bool DeleteKeyTree(HKEY root, const QString& parent, const QString& name) {
    CRegistry& registry = CRegistry::Default();
    const QString key = parent.isEmpty() ? name : parent + u'\\' + name;
    if (name.isEmpty() || !registry.KeyExists(root, key))
        return false;
    int index = 0;
    QString child;
    while (registry.EnumSubKey(root, key, index, child) == RegStatus::Ok) {
        DeleteKeyTree(root, key, child);
        // A child that survived stays at this position; look past it next time.
        if (registry.KeyExists(root, key + u'\\' + child))
            ++index;
    }
    registry.DeleteKey(root, key);
    return true;
}
