// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerDoc.h"

#include "common/ProfileRegistry.h"
#include "manager/Strings.h"
#include "platform/base/ScopeExit.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <limits>
#include <vector>

namespace {
const QString kArea = QString::fromLatin1(kDocSynchArea);

QString EntryKey(int entry) {
    return QString::number(entry);
}

// Visits the store's entries in its own order until visit returns false. Sub-keys whose name
// is no entry number are no bindings: they are passed over (and named in notBindings), never
// taken for the entry their digits would give.
template <typename Visit>
void ForEachEntry(const QString& user, Visit visit, QStringList* notBindings = nullptr) {
    for (int position = 0; position <= kMaxEntryNumber; ++position) {
        int entry = 0;
        QString key;
        if (!GetEntryNumberAt(user, position, entry, &key))
            break;
        if (!IsEntryKeyName(key)) {
            if (notBindings)
                notBindings->append(u'"' + key + u'"');
            continue;
        }
        if (!visit(entry))
            break;
    }
}
}  // namespace

int32_t ClampedFileSize(qint64 size) {
    return size > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : int32_t(size);
}

QString FileSizeText(qint64 size) {
    return LoadManagerString(kIdsBytesFormat).replace(QStringLiteral("%d"), QString::number(size));
}

qint64 ShownFileSize(const QString& fullPath, int32_t storedSize) {
    const QFileInfo file(fullPath);
    return file.isFile() ? file.size() : storedSize;
}

CDovetailManagerDoc::CDovetailManagerDoc(QObject* parent) : QObject(parent), m_user(LoadManagerString(kIdsUnknown)) {}

bool CDovetailManagerDoc::OnNewDocument() {
    SetTitle(LoadManagerString(kIdsNotConnected));
    QString user;
    if (GetCurrentUser(user))
        SetUser(user);
    return true;
}

bool CDovetailManagerDoc::HasUser() const {
    return m_user != LoadManagerString(kIdsUnknown);
}

void CDovetailManagerDoc::SetTitle(const QString& title) {
    if (m_title == title)
        return;
    m_title = title;
    emit TitleChanged(title);
}

void CDovetailManagerDoc::SetUser(const QString& user) {
    if (m_loaded)
        return;
    m_user = user;
    SetTitle(user);
    if (m_view)
        LoadEntries();
}

void CDovetailManagerDoc::SetView(IBindingList* view) {
    m_view = view;
    if (!m_loaded && HasUser())
        LoadEntries();
}

CDocSynchEntry CDovetailManagerDoc::NewRecord() const {
    return CDocSynchEntry::NewForManager(m_defaultRules, LoadManagerString(kIdsUnknown));
}

void CDovetailManagerDoc::LoadEntries() {
    if (!m_view)
        return;
    IBindingList* view = m_view;
    QStringList notBindings;
    {
        view->BeginLoad();
        // The views see the load as one reset, which must end whatever ends the load.
        const CScopeExit endLoad([view] { view->EndLoad(); });
        view->RemoveAllItems();
        const auto iconLookup = [view](const QString& path) { return view->GetFileIcon(path); };
        // One transaction for the whole walk: each lenient read writes the file size back, and
        // thousands of separate commits would dominate the start-up.
        // The numbers are taken first: each write drops the store's enumeration hint, which
        // would make every later position lookup walk from the start.
        std::vector<int> entries;
        ForEachEntry(
            m_user,
            [&](int entry) {
                entries.push_back(entry);
                return true;
            },
            &notBindings);
        RegTransaction([&] {
            for (int entry : entries) {
                CDocSynchEntry record = NewRecord();
                ReadDocSynchEntry(m_user, entry, record, ReadMode::Lenient, iconLookup);
                view->AddItem(record, entry);
            }
            return true;
        });
        m_loaded = true;
    }
    // Once the list stands: said, so that what the store holds is never silently ignored.
    if (!notBindings.isEmpty())
        view->ShowMessage(LoadManagerString(kIdsNotBindingKeys).arg(notBindings.join(QStringLiteral(", "))));
}

CStoreCheck CDovetailManagerDoc::ReadEntry(int entry, CDocSynchEntry& record) {
    return ReadDocSynchEntry(m_user, entry, record, ReadMode::Lenient);
}

bool CDovetailManagerDoc::AddEntry(CDocSynchEntry& record) {
    // Every copy of such a binding would fail, so it is refused here, saying why.
    CStoreCheck epocSide = CheckEpocFolder(QStringLiteral("\"EpocPath\""), record.EpocPath);
    if (epocSide)
        epocSide = CheckEpocFileName(QStringLiteral("\"EpocFileName\""), record.EpocFileName);
    if (!epocSide) {
        if (m_view)
            m_view->ShowMessage(LoadManagerString(kIdsEpocNameInvalid).arg(epocSide.Reason()));
        return false;
    }
    bool duplicate = false;
    // One read snapshot for the whole walk instead of one per value.
    RegReadSnapshot([&] {
        ForEachEntry(m_user, [&](int entry) {
            using enum BindingColumn;
            // One file, however it is spelled: the handheld's names ignore case (and so do the
            // sticks that stand in for it), and a PC path may carry "." or a doubled "/".
            duplicate = QDir::cleanPath(GetEntryText(entry, int(PcPath)) + GetEntryText(entry, int(PcName))) ==
                            QDir::cleanPath(record.WinPath + record.WinFileName) ||
                        (GetEntryText(entry, int(EpocPath)) + GetEntryText(entry, int(EpocName)))
                                .compare(record.EpocPath + record.EpocFileName, Qt::CaseInsensitive) == 0;
            return !duplicate;
        });
    });
    if (duplicate) {
        if (m_view)
            m_view->ShowMessage(LoadManagerString(kIdsSimilarItemExists));
        return false;
    }
    const int entry = FindFreeEntryNumber(m_user);
    if (entry < 0)
        return false;
    if (!WriteDocSynchEntry(m_user, entry, record)) {
        if (m_view)
            m_view->ShowMessage(LoadManagerString(kIdsCannotStoreBinding));
        return false;
    }
    if (m_view) {
        if (record.ImageIndex < 0)
            record.ImageIndex = m_view->GetFileIcon(record.WinPath + record.WinFileName);
        m_view->AddItem(record, entry);
        m_view->EndWaitCursor();
    }
    return true;
}

bool CDovetailManagerDoc::UpdateEntry(int entry, const CDocSynchEntry& record) {
    return WriteDocSynchEntry(m_user, entry, record);
}

bool CDovetailManagerDoc::DeleteEntry(int entry) {
    // Another program may have deleted it meanwhile: gone is what was asked for.
    return DeleteDocSynchEntry(m_user, entry) || !UserEntryExists(m_user, kArea, EntryKey(entry));
}

bool CDovetailManagerDoc::IsEntryActive(int entry) {
    return ::IsEntryActive(m_user, entry);
}

bool CDovetailManagerDoc::SetEntryActive(int entry, bool active) {
    return ::SetEntryActive(m_user, entry, active);
}

QString CDovetailManagerDoc::GetEntryText(int entry, int column) const {
    const QString key = EntryKey(entry);
    const QString unknown = LoadManagerString(kIdsUnknown);
    QString text;
    uint32_t number = 0;
    switch (BindingColumn(column)) {
        case BindingColumn::PcName:
            return ReadEntryString(m_user, kArea, key, QStringLiteral("WinFileName"), text) ? text : unknown;
        case BindingColumn::PcPath:
            return ReadEntryString(m_user, kArea, key, QStringLiteral("WinPath"), text) ? text : unknown;
        case BindingColumn::PcType:
            return ReadEntryString(m_user, kArea, key, QStringLiteral("WinFileType"), text) ? text : unknown;
        case BindingColumn::EpocName:
            return ReadEntryString(m_user, kArea, key, QStringLiteral("EpocFileName"), text) ? text : QString();
        case BindingColumn::EpocPath:
            return ReadEntryString(m_user, kArea, key, QStringLiteral("EpocPath"), text) ? text : unknown;
        case BindingColumn::EpocType:
            return ReadEntryString(m_user, kArea, key, QStringLiteral("EpocFileType"), text) ? text : unknown;
        case BindingColumn::Size: {
            bool known = ReadEntryNumber(m_user, kArea, key, QStringLiteral("FileSize"), number);
            qint64 size = int32_t(number);
            // The PC file's size as it is now: it may have been created or edited since the
            // value was last written.
            CDocSynchEntry pcFile;
            if (ReadEntryString(m_user, kArea, key, QStringLiteral("WinPath"), pcFile.WinPath) &&
                ReadEntryString(m_user, kArea, key, QStringLiteral("WinFileName"), pcFile.WinFileName) &&
                CheckPcFile(pcFile)) {
                const QFileInfo file(pcFile.WinFullPath());
                if (file.isFile()) {
                    size = file.size();
                    known = true;
                }
            }
            if (!known)
                return unknown;
            return FileSizeText(size);
        }
        case BindingColumn::LastSynch: {
            uint32_t updated = 0;
            if (!ReadEntryNumber(m_user, kArea, key, QStringLiteral("LastSyncTimeStamp"), number) ||
                !ReadEntryNumber(m_user, kArea, key, QStringLiteral("WasUpdated"), updated) || updated == 0)
                return unknown;
            return FormatLocalDateTime(number);
        }
    }
    return {};
}
