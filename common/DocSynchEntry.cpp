// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DocSynchEntry.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

const QString& Area() {
    static const QString area = QString::fromLatin1(kDocSynchArea);
    return area;
}

QString EntryKey(int entry) {
    return QString::number(entry);
}

// Value names in the order they are written and strictly read.
const QString kWinFileName = QStringLiteral("WinFileName");
const QString kEpocFileName = QStringLiteral("EpocFileName");
const QString kWinPath = QStringLiteral("WinPath");
const QString kEpocPath = QStringLiteral("EpocPath");
const QString kWinFileType = QStringLiteral("WinFileType");
const QString kEpocFileType = QStringLiteral("EpocFileType");
const QString kLinkStatus = QStringLiteral("LinkStatus");
const QString kLastSyncTimeStamp = QStringLiteral("LastSyncTimeStamp");
const QString kWasUpdated = QStringLiteral("WasUpdated");
const QString kFileSize = QStringLiteral("FileSize");
const QString kIsActive = QStringLiteral("IsActive");
const QString kCopyRule = QStringLiteral("CopyRule");
const QString kPrompt24Hrs = QStringLiteral("Prompt24Hrs");
const QString kPromptBothChanged = QStringLiteral("PromptBothChanged");
const QString kKeepCopy = QStringLiteral("KeepCopy");

const QString kSyncPcSize = QStringLiteral("SyncPcSize");
const QString kSyncPcTime = QStringLiteral("SyncPcTime");
const QString kSyncPcPrint = QStringLiteral("SyncPcPrint");
const QString kSyncEpocSize = QStringLiteral("SyncEpocSize");
const QString kSyncEpocTime = QStringLiteral("SyncEpocTime");
const QString kSyncEpocPrint = QStringLiteral("SyncEpocPrint");
const QString kSyncMachine = QStringLiteral("SyncMachine");
const QString kSyncWinPath = QStringLiteral("SyncWinPath");
const QString kSyncWinFileName = QStringLiteral("SyncWinFileName");
const QString kSyncEpocPath = QStringLiteral("SyncEpocPath");
const QString kSyncEpocFileName = QStringLiteral("SyncEpocFileName");

struct STextField {
    const QString* name;
    QString CDocSynchEntry::*field;
};

const STextField kTexts[] = {
    {&kWinFileName, &CDocSynchEntry::WinFileName}, {&kEpocFileName, &CDocSynchEntry::EpocFileName},
    {&kWinPath, &CDocSynchEntry::WinPath},         {&kEpocPath, &CDocSynchEntry::EpocPath},
    {&kWinFileType, &CDocSynchEntry::WinFileType}, {&kEpocFileType, &CDocSynchEntry::EpocFileType},
};

class CEntryAccess {
public:
    CEntryAccess(const QString& user, const QString& key) : m_user(user), m_key(key) {}

    // Reads every value of the entry now; later reads answer from that one read instead of
    // asking the store once per value.
    // False when the entry does not exist or could not be read.
    bool ReadAll() {
        m_readAll = true;
        return ReadEntryValues(m_user, Area(), m_key, m_values);
    }
    // Answers from values read before, with the area's other entries.
    void Use(CEntryValues values) {
        m_readAll = true;
        m_values = std::move(values);
    }
    bool Text(const QString& name, QString& out) const {
        return m_readAll ? m_values.String(name, out) : ReadEntryString(m_user, Area(), m_key, name, out);
    }
    bool Number(const QString& name, uint32_t& out) const {
        return m_readAll ? m_values.Number(name, out) : ReadEntryNumber(m_user, Area(), m_key, name, out);
    }
    bool Signed(const QString& name, int32_t& out) const {
        uint32_t v = uint32_t(out);
        if (!Number(name, v))
            return false;
        out = int32_t(v);
        return true;
    }
    bool Flag(const QString& name, bool& out) const {
        uint32_t v = out ? 1 : 0;
        if (!Number(name, v))
            return false;
        out = v != 0;
        return true;
    }
    void WriteText(const QString& name, const QString& text) const {
        WriteEntryString(m_user, Area(), m_key, name, text);
    }
    void WriteNumber(const QString& name, uint32_t number) const {
        WriteEntryNumber(m_user, Area(), m_key, name, number);
    }

private:
    const QString& m_user;
    const QString& m_key;
    CEntryValues m_values;
    bool m_readAll = false;
};

QString Quoted(const QString& name) {
    return u'"' + name + u'"';
}

CStoreCheck MissingValue(const QString& name) {
    return CStoreCheck::Missing(QStringLiteral("%1 is missing or unreadable").arg(Quoted(name)));
}

// Anything missing or malformed leaves the state invalid: the binding is then decided by its
// times alone, as before it was ever recorded.
void ReadSyncState(const CEntryAccess& e, CSyncState& s) {
    s = {};
    QString texts[7];
    const QString* names[] = {&kSyncPcSize,  &kSyncPcTime,    &kSyncEpocSize, &kSyncEpocTime,
                              &kSyncPcPrint, &kSyncEpocPrint, &kSyncMachine};
    for (int i = 0; i < 7; ++i)
        if (!e.Text(*names[i], texts[i]))
            return;
    uint64_t* numbers[] = {&s.pc.size, &s.pc.time, &s.epoc.size, &s.epoc.time};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        *numbers[i] = texts[i].toULongLong(&ok);
        if (!ok)
            return;
    }
    s.pc.print = texts[4];
    s.epoc.print = texts[5];
    s.machine = texts[6];
    if (s.pc.print.size() != 32 || s.epoc.print.size() != 32 || s.machine.isEmpty() ||
        !e.Text(kSyncWinPath, s.winPath) || !e.Text(kSyncWinFileName, s.winFileName) ||
        !e.Text(kSyncEpocPath, s.epocPath) || !e.Text(kSyncEpocFileName, s.epocFileName))
        return;
    s.valid = true;
}

// The values that record a state; an invalid one clears the machine, which leaves any record
// from before unusable: it would describe other contents.
void AddSyncState(const CSyncState& s, std::vector<RegValue>& values) {
    const auto text = [&](const QString& name, const QString& value) {
        values.push_back(EntryStringValue(name, value));
    };
    const auto number = [](uint64_t n) { return QString::number(n); };
    if (!s.valid) {
        text(kSyncMachine, QString());
        return;
    }
    text(kSyncPcSize, number(s.pc.size));
    text(kSyncPcTime, number(s.pc.time));
    text(kSyncPcPrint, s.pc.print);
    text(kSyncEpocSize, number(s.epoc.size));
    text(kSyncEpocTime, number(s.epoc.time));
    text(kSyncEpocPrint, s.epoc.print);
    text(kSyncMachine, s.machine);
    text(kSyncWinPath, s.winPath);
    text(kSyncWinFileName, s.winFileName);
    text(kSyncEpocPath, s.epocPath);
    text(kSyncEpocFileName, s.epocFileName);
}

// A refresh moves the times alone: sizes and fingerprints were found as recorded.
std::vector<RegValue> RefreshedTimes(const CSyncState& s) {
    return {EntryStringValue(kSyncPcTime, QString::number(s.pc.time)),
            EntryStringValue(kSyncEpocTime, QString::number(s.epoc.time))};
}

// The values a mark writes (a refresh aside): the mark and the state.
std::vector<RegValue> MarkValues(const CSynchronizedMark& mark) {
    std::vector<RegValue> values;
    if (!mark.refreshOnly) {
        values.push_back(EntryNumberValue(kWasUpdated, 1));
        values.push_back(EntryNumberValue(kLastSyncTimeStamp, mark.lastSyncTimeStamp));
    }
    AddSyncState(mark.state, values);
    return values;
}

// The binding as read names the files the state does.
bool NamesOf(const CDocSynchEntry& read, const CSyncState& s) {
    return s.winFileName.isEmpty() || (read.WinPath == s.winPath && read.WinFileName == s.winFileName &&
                                       read.EpocPath == s.epocPath && read.EpocFileName == s.epocFileName);
}

// The binding still names the files the run copied.
bool StillNames(const CEntryValues& e, const CSyncState& s) {
    if (s.winFileName.isEmpty())
        return true;
    QString values[4];
    const QString* names[] = {&kWinPath, &kWinFileName, &kEpocPath, &kEpocFileName};
    for (int i = 0; i < 4; ++i)
        if (!e.String(*names[i], values[i]))
            return false;
    return values[0] == s.winPath && values[1] == s.winFileName && values[2] == s.epocPath &&
           values[3] == s.epocFileName;
}

CStoreCheck ReadStrict(const CEntryAccess& e, CDocSynchEntry& r) {
    // First, so that a caller can leave a disabled binding alone even when it is broken.
    e.Flag(kIsActive, r.IsActive);
    for (const auto& t : kTexts) {
        if (!e.Text(*t.name, r.*t.field))
            return MissingValue(*t.name);
    }
    const QString* missing = !e.Signed(kLinkStatus, r.LinkStatus)                 ? &kLinkStatus
                             : !e.Number(kLastSyncTimeStamp, r.LastSyncTimeStamp) ? &kLastSyncTimeStamp
                             : !e.Flag(kWasUpdated, r.WasUpdated)                 ? &kWasUpdated
                             : !e.Signed(kFileSize, r.FileSize)                   ? &kFileSize
                             : !e.Flag(kIsActive, r.IsActive)                     ? &kIsActive
                             : !e.Signed(kCopyRule, r.CopyRule)                   ? &kCopyRule
                             : !e.Flag(kPrompt24Hrs, r.Prompt24Hrs)               ? &kPrompt24Hrs
                             : !e.Flag(kPromptBothChanged, r.PromptBothChanged)   ? &kPromptBothChanged
                             : !e.Flag(kKeepCopy, r.KeepCopy)                     ? &kKeepCopy
                                                                                  : nullptr;
    if (missing)
        return MissingValue(*missing);
    ReadSyncState(e, r.Synced);
    // The same names as the binding's, as they mostly are, share its text: a run holds a
    // thousand records.
    for (auto [recorded, current] : {std::pair{&r.Synced.winPath, &r.WinPath},
                                     {&r.Synced.winFileName, &r.WinFileName},
                                     {&r.Synced.epocPath, &r.EpocPath},
                                     {&r.Synced.epocFileName, &r.EpocFileName}}) {
        if (*recorded == *current)
            *recorded = *current;
    }
    // Numbers out of their range are not refused: the rules say what each such value does
    // (a CopyRule other than 0 to 2, a time stamp in the future), and the synchronizer acts on it.
    return CheckBindingNames(r);
}

int32_t ClampedFileSize(qint64 size) {
    return size > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : int32_t(size);
}

CStoreCheck ReadLenient(const QString& user, const QString& key, const CEntryAccess& e, CDocSynchEntry& r,
                        const std::function<int(const QString&)>& iconLookup) {
    for (const auto& t : kTexts) {
        if (!e.Text(*t.name, r.*t.field))
            (r.*t.field).clear();
    }
    // Missing status values keep what the record already held.
    e.Signed(kLinkStatus, r.LinkStatus);
    e.Number(kLastSyncTimeStamp, r.LastSyncTimeStamp);
    e.Flag(kWasUpdated, r.WasUpdated);

    // A path the checks refuse is not looked at: as far as this read knows, no file is there.
    const CStoreCheck pcFile = CheckPcFile(r);
    if (pcFile) {
        const QFileInfo file(r.WinFullPath());
        // Asked first, isDir's stat answers exists() too, which on its own is one more call.
        const bool folder = file.isDir();
        if (file.exists())
            r.FileSize = folder ? 0 : ClampedFileSize(file.size());
    }
    // Written back only when it changed, and only while the entry still exists, checked in
    // the same transaction: an entry deleted since it was listed, even by another process a
    // moment ago, must not come back as a key holding nothing but a size.
    uint32_t stored = 0;
    if (!e.Number(kFileSize, stored) || stored != uint32_t(r.FileSize)) {
        RegTransaction([&] {
            if (UserEntryExists(user, Area(), key))
                e.WriteNumber(kFileSize, uint32_t(r.FileSize));
            return true;
        });
    }

    e.Flag(kIsActive, r.IsActive);
    if (iconLookup && pcFile)
        r.ImageIndex = iconLookup(r.WinFullPath());

    r.CopyRule = 0;
    r.Prompt24Hrs = false;
    r.PromptBothChanged = false;
    r.KeepCopy = false;
    e.Signed(kCopyRule, r.CopyRule);
    e.Flag(kPrompt24Hrs, r.Prompt24Hrs);
    e.Flag(kPromptBothChanged, r.PromptBothChanged);
    e.Flag(kKeepCopy, r.KeepCopy);
    return pcFile;
}

// "LinkStatus" marks an entry number as taken: without it there is no binding to write into.
bool BindingExists(const QString& user, const QString& key) {
    uint32_t status = 0;
    return ReadEntryNumber(user, Area(), key, kLinkStatus, status);
}

int LeadingNumber(const QString& name) {
    qint64 n = 0;
    for (const QChar c : name) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        n = n * 10 + (c.unicode() - '0');
        if (n > std::numeric_limits<int>::max())
            return std::numeric_limits<int>::max();
    }
    return int(n);
}

void WriteRecord(const QString& user, int entry, const CDocSynchEntry& r) {
    const QString key = EntryKey(entry);
    const CEntryAccess e(user, key);
    for (const auto& t : kTexts)
        e.WriteText(*t.name, r.*t.field);
    e.WriteNumber(kLinkStatus, uint32_t(r.LinkStatus));
    e.WriteNumber(kLastSyncTimeStamp, r.LastSyncTimeStamp);
    e.WriteNumber(kWasUpdated, r.WasUpdated ? 1 : 0);
    e.WriteNumber(kFileSize, uint32_t(r.FileSize));
    e.WriteNumber(kIsActive, r.IsActive ? 1 : 0);
    e.WriteNumber(kCopyRule, uint32_t(r.CopyRule));
    e.WriteNumber(kPrompt24Hrs, r.Prompt24Hrs ? 1 : 0);
    e.WriteNumber(kPromptBothChanged, r.PromptBothChanged ? 1 : 0);
    e.WriteNumber(kKeepCopy, r.KeepCopy ? 1 : 0);
}

}  // namespace

CDocSynchEntry CDocSynchEntry::NewForManager(const CRuleSet& defaults, const QString& unknownText) {
    CDocSynchEntry r;
    for (const auto& t : kTexts)
        r.*t.field = unknownText;
    r.CopyRule = defaults.CopyRule;
    r.Prompt24Hrs = defaults.Prompt24Hrs;
    r.PromptBothChanged = defaults.PromptBothChanged;
    r.KeepCopy = defaults.KeepCopy;
    return r;
}

CDocSynchEntry CDocSynchEntry::NewForSynchronizer(const QString& unknownText, uint32_t now) {
    CDocSynchEntry r;
    for (const auto& t : kTexts)
        r.*t.field = unknownText;
    r.LastSyncTimeStamp = now;
    r.CopyRule = kCopyNewest;
    r.Prompt24Hrs = false;
    r.PromptBothChanged = false;
    r.KeepCopy = false;
    return r;
}

CStoreCheck ReadDocSynchEntryKey(const QString& user, const QString& entryKey, CDocSynchEntry& record, ReadMode mode,
                                 const std::function<int(const QString&)>& iconLookup) {
    // One read of all the entry's values instead of fifteen; the lenient read's size
    // write-back touches only FileSize, so the answers are those of reading each in turn.
    CEntryAccess e(user, entryKey);
    const bool exists = e.ReadAll();
    if (mode == ReadMode::Strict) {
        record.BindingNumber = LeadingNumber(entryKey);
        if (!exists)
            return CStoreCheck::Missing(QStringLiteral("there is no such binding"));
        return ReadStrict(e, record);
    }
    return ReadLenient(user, entryKey, e, record, iconLookup);
}

CStoreCheck ReadDocSynchEntryValues(const QString& user, const QString& entryKey, CEntryValues values,
                                    CDocSynchEntry& record) {
    CEntryAccess e(user, entryKey);
    e.Use(std::move(values));
    record.BindingNumber = LeadingNumber(entryKey);
    return ReadStrict(e, record);
}

CStoreCheck ReadDocSynchEntry(const QString& user, int entry, CDocSynchEntry& record, ReadMode mode,
                              const std::function<int(const QString&)>& iconLookup) {
    return ReadDocSynchEntryKey(user, EntryKey(entry), record, mode, iconLookup);
}

CStoreCheck CheckWinPath(const QString& winPath) {
    static const QString label = Quoted(kWinPath);
    if (CStoreCheck check = CheckPcFolder(label, winPath); !check)
        return check;
    // Without it the name would be glued to the folder's last component: another file.
    if (!winPath.endsWith(u'/'))
        return CStoreCheck::Refused(QStringLiteral("%1 does not end with \"/\": \"%2\"").arg(label, winPath));
    return {};
}

CStoreCheck CheckPcFile(const CDocSynchEntry& record) {
    if (CStoreCheck check = CheckWinPath(record.WinPath); !check)
        return check;
    static const QString label = Quoted(kWinFileName);
    return CheckPcFileName(label, record.WinFileName);
}

CStoreCheck CheckBindingNames(const CDocSynchEntry& record) {
    if (CStoreCheck check = CheckPcFile(record); !check)
        return check;
    static const QString folderLabel = Quoted(kEpocPath);
    if (CStoreCheck check = CheckEpocFolder(folderLabel, record.EpocPath); !check)
        return check;
    static const QString label = Quoted(kEpocFileName);
    return CheckEpocFileName(label, record.EpocFileName);
}

bool WriteDocSynchEntry(const QString& user, int entry, const CDocSynchEntry& r) {
    // One transaction: a reader in another process (or a kill mid-way) must never see half
    // a record, which a strict read would reject as a broken binding.
    return RegTransaction([&] {
        WriteRecord(user, entry, r);
        return true;
    });
}

int FindFreeEntryNumber(const QString& user) {
    const auto scan = [&user] {
        for (int n = 0; n <= kMaxEntryNumber; ++n) {
            uint32_t status = 0;
            if (!ReadEntryNumber(user, Area(), EntryKey(n), kLinkStatus, status))
                return n;
        }
        return -1;
    };
    // A full store means 32768 reads; one read snapshot around them saves the per-read
    // locking and sees one consistent store.
    int result = -1;
    bool scanned = false;
    RegReadSnapshot([&] {
        result = scan();
        scanned = true;
    });
    return scanned ? result : scan();
}

bool DeleteDocSynchEntry(const QString& user, int entry) {
    return DeleteUserKey(user, Area(), EntryKey(entry));
}

bool IsEntryActive(const QString& user, int entry) {
    // A missing value counts as enabled, as every new record starts.
    uint32_t active = 1;
    ReadEntryNumber(user, Area(), EntryKey(entry), kIsActive, active);
    return active != 0;
}

bool SetEntryActive(const QString& user, int entry, bool active) {
    return WriteEntryNumber(user, Area(), EntryKey(entry), kIsActive, active ? 1 : 0);
}

uint32_t SynchronizedStampNow() {
    return CClock::CurrentSecondsUtc() + 3;
}

std::vector<BindingWrite> MarkSynchronizedKeys(const QString& user, const std::vector<CSynchronizedMark>& marks,
                                               StoreStamp* readAt) {
    std::vector<BindingWrite> results(marks.size(), BindingWrite::Failed);
    if (marks.empty())
        return results;
    bool asRead = false;
    StoreStamp before;
    const bool committed = RegTransaction([&] {
        // Nothing committed since the bindings were read: each is still the one its run saw.
        before = RegStamp();
        asRead = readAt && before == *readAt;
        std::vector<RegValue> values;
        for (std::size_t i = 0; i < marks.size(); ++i) {
            const CSynchronizedMark& mark = marks[i];
            if (asRead && mark.refreshOnly && mark.state.valid) {
                if (!WriteEntryValues(user, Area(), mark.entryKey, RefreshedTimes(mark.state)))
                    return false;
                results[i] = BindingWrite::Written;
                continue;
            }
            if (asRead && !mark.refreshOnly && mark.read && NamesOf(*mark.read, mark.state)) {
                values = MarkValues(mark);
                if (mark.read->Synced.valid) {
                    // The store holds what was read: only what moved is written.
                    std::vector<RegValue> held{EntryNumberValue(kWasUpdated, mark.read->WasUpdated ? 1 : 0),
                                               EntryNumberValue(kLastSyncTimeStamp, mark.read->LastSyncTimeStamp)};
                    AddSyncState(mark.read->Synced, held);
                    std::erase_if(values, [&held](const RegValue& value) {
                        return std::any_of(held.begin(), held.end(), [&value](const RegValue& h) {
                            return h.name == value.name && h.type == value.type && h.data == value.data;
                        });
                    });
                }
                if (!values.empty() && !WriteEntryValues(user, Area(), mark.entryKey, values))
                    return false;
                results[i] = BindingWrite::Written;
                continue;
            }
            // One read and one write a binding: a run marks a thousand of them at once.
            CEntryValues current;
            uint32_t status = 0;
            if (!ReadEntryValues(user, Area(), mark.entryKey, current) || !current.Number(kLinkStatus, status)) {
                results[i] = BindingWrite::Gone;
                continue;
            }
            if (!StillNames(current, mark.state)) {
                results[i] = BindingWrite::Changed;
                continue;
            }
            values = mark.refreshOnly && mark.state.valid ? RefreshedTimes(mark.state) : MarkValues(mark);
            // The paths, the machine and often the sizes are as they were: only what moved is written.
            std::erase_if(values, [&current](const RegValue& value) { return current.Holds(value); });
            if (!values.empty() && !WriteEntryValues(user, Area(), mark.entryKey, values))
                return false;
            results[i] = BindingWrite::Written;
        }
        return true;
    });
    if (!committed) {
        for (BindingWrite& result : results)
            if (result == BindingWrite::Written)
                result = BindingWrite::Failed;
    }
    // The run's own commit alone since: what it read still stands, with what it just wrote.
    if (readAt && committed && asRead) {
        const StoreStamp after = RegStamp();
        *readAt = after.OneCommitAfter(before) ? after : StoreStamp{};
    }
    return results;
}

BindingWrite MarkSynchronizedKey(const QString& user, const QString& entryKey) {
    return MarkSynchronizedKeys(user, {{entryKey, SynchronizedStampNow(), {}, false}}).front();
}

BindingWrite MarkSynchronized(const QString& user, int entry) {
    return MarkSynchronizedKey(user, EntryKey(entry));
}

BindingWrite WriteBindingString(const QString& user, const QString& entryKey, const QString& valueName,
                                const QString& text) {
    BindingWrite result = BindingWrite::Failed;
    const bool committed = RegTransaction([&] {
        if (!BindingExists(user, entryKey)) {
            result = BindingWrite::Gone;
            return true;
        }
        result = BindingWrite::Written;
        return WriteEntryString(user, Area(), entryKey, valueName, text);
    });
    return committed || result == BindingWrite::Gone ? result : BindingWrite::Failed;
}

bool GetEntryNumberAt(const QString& user, int position, int& entry, QString* keyName) {
    QString name;
    if (!GetUserSubkeyName(user, Area(), position, name))
        return false;
    entry = LeadingNumber(name);
    if (keyName)
        *keyName = name;
    return true;
}

bool IsEntryKeyName(const QString& key) {
    bool ok = false;
    const int number = key.toInt(&ok);
    return ok && number >= 0 && number <= kMaxEntryNumber && key == EntryKey(number);
}
