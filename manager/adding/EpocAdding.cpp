// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/EpocAdding.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "manager/ConnectionStrings.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerView.h"
#include "manager/EpocDropStream.h"
#include "manager/MessageBox.h"
#include "manager/PcPathLimits.h"
#include "manager/PcTargetFilter.h"
#include "manager/Strings.h"
#include "manager/WaitCursor.h"
#include "manager/adding/EpocChooser.h"
#include "manager/adding/PcAdding.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

#include <optional>

namespace {
const QString kSettings = QStringLiteral("Settings");
const QString kLastWindowsPath = QStringLiteral("Last Windows Path");
const QString kLastEpocPath = QStringLiteral("Last Epoc Path");
constexpr int kManyBindings = 8;

// The entry of the chosen filter; the dialog may report it by its name alone.
int FilterEntry(const QStringList& filters, const QString& chosen) {
    for (int i = 0; i < int(filters.size()); ++i) {
        const QString& filter = filters[i];
        if (filter == chosen || filter.left(filter.lastIndexOf(QStringLiteral(" ("))) == chosen)
            return i;
    }
    return -1;
}

QString FromBuffer(const char* buffer, std::size_t size) {
    return QString::fromUtf8(buffer, qsizetype(qstrnlen(buffer, uint(size))));
}
}  // namespace

CEpocAdding::CEpocAdding(CDovetailManagerView& view, std::chrono::milliseconds openTimeout) : m_view(view) {
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(openTimeout);
    QObject::connect(&m_watchdog, &QTimer::timeout, &m_watchdog, [this] {
        // The engine never answered (unplugged mid-way, lost the request): skip the entry.
        if (!m_opening)
            return;
        m_opening = false;
        m_remoteFile.reset();
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsEntryNoAnswer).arg(m_queue.Current()));
        FinishCurrent(m_engine);
    });
}

bool CEpocDropQueue::Add(const QString& path) {
    if (m_paths.size() >= kCapacity)
        return false;
    m_paths.push_back(path);
    return true;
}

bool CEpocDropQueue::TakeNext() {
    if (m_paths.empty())
        return false;
    m_current = m_paths.front();
    m_paths.pop_front();
    return true;
}

QString CEpocAdding::EpocClassText(uint32_t uid1, uint32_t uid2, uint32_t uid3) {
    QString text;
    const QString key = QStringLiteral("EPOC\\{%1,%2,%3}")
                            .arg(QString::number(uid1, 16).toUpper(), QString::number(uid2, 16).toUpper(),
                                 QString::number(uid3, 16).toUpper());
    RegReadString(HKEY_CLASSES_ROOT, key, QString(), text, 256);
    return text;
}

QString CEpocAdding::WithTargetExtension(const QString& path, const QString& extension) {
    if (extension.isEmpty() || path.contains(extension.toLower()) || path.contains(extension.toUpper()))
        return path;
    return path + extension.toUpper();
}

void CEpocAdding::OnAddEpocFile() {
    const CAppProfile profile;
    QString error;
    FileDllPtr chooser;
    {
        const CWaitCursor wait;
        chooser = CreateEpocChooser(error);
    }
    if (!chooser) {
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsChooserMissing).arg(error));
        return;
    }
    const QString last = profile.GetProfileString(kSettings, kLastEpocPath);
    chooser->Init(1, LoadConnectionString(kIdsSelectNewFile), LoadConnectionString(kIdsOk),
                  last.isEmpty() ? QStringLiteral("C:\\") : last + QStringLiteral("*.*"), 1);
    if (chooser->DoModal() <= 0)
        return;
    CDovetailManagerDoc& doc = m_view.Document();
    CDocSynchEntry record = doc.NewRecord();
    char buffer[256] = {};
    chooser->GetPathName(buffer);
    const QString folder = FromBuffer(buffer, sizeof buffer);
    record.EpocPath = folder + QLatin1Char('\\');
    std::fill(std::begin(buffer), std::end(buffer), '\0');
    chooser->GetFileName(buffer);
    record.EpocFileName = FromBuffer(buffer, sizeof buffer).mid(folder.size() + 1);
    uint32_t uid1 = 0, uid2 = 0, uid3 = 0;
    chooser->GetFileType(uid1, uid2, uid3);
    const QString type = EpocClassText(uid1, uid2, uid3);
    record.EpocFileType = type.isEmpty() ? LoadManagerString(kIdsUnknown) : type;
    if (ChoosePcTarget(&m_view, record) && doc.AddEntry(record))
        m_view.ShowAddedBinding();
    profile.WriteProfileString(kSettings, kLastEpocPath, record.EpocPath);
}

bool CEpocAdding::IsEpocDrop(const QMimeData* data) {
    if (!data)
        return false;
    for (const QString& name : EpocDropFormat::Names()) {
        if (!data->hasFormat(name))
            return false;
    }
    return true;
}

void CEpocAdding::OnDropItems(const QMimeData* data, IEpocEngine* engine) {
    if (!IsEpocDrop(data))
        return;
    const EpocDropItems items = ParseEpocDropStream(data->data(EpocDropFormat::StreamName()));
    if (!items.ok) {
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsBadEpocDrop).arg(items.error));
        return;
    }
    const int count = int(items.paths.size());
    if (count >= kManyBindings &&
        !CMessageBox::AskYesNo(
            &m_view, LoadConnectionString(kIdsManyBindings).replace(QStringLiteral("%d"), QString::number(count))))
        return;
    if (count > 0 && !engine) {
        CMessageBox::Information(&m_view, LoadManagerString(kIdsNotConnected));
        return;
    }
    for (const QString& path : items.paths)
        m_queue.Add(path);
    // A drop while an earlier one is still being worked through joins its queue.
    if (!m_opening && m_queue.TakeNext())
        OpenCurrent(engine);
    QWidget* window = m_view.window();
    window->raise();
    window->activateWindow();
}

void CEpocAdding::OpenCurrent(IEpocEngine* engine) {
    // A path nothing will answer for is skipped, and said so.
    while (!IssueOpen(engine)) {
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsEntryNotOpened).arg(m_queue.Current()));
        if (!m_queue.TakeNext())
            return;
    }
}

bool CEpocAdding::IssueOpen(IEpocEngine* engine) {
    m_engine = engine;
    m_remoteFile.reset();
    FileSpec spec;
    if (!engine || !MakeFileSpec(kLocationDevice, m_queue.Current().toUtf8().constData(), spec))
        return false;
    if (engine->OpenRemoteFile(spec, m_remoteFile) != 0) {
        m_remoteFile.reset();
        return false;
    }
    m_opening = true;
    m_watchdog.start();
    return true;
}

void CEpocAdding::FinishCurrent(IEpocEngine* engine) {
    FileSpec spec;
    if (m_busyAnswers > 0 && engine && MakeFileSpec(kLocationDevice, m_queue.Current().toUtf8().constData(), spec))
        engine->ReleaseRemoteFile(spec);
    m_busyAnswers = 0;
    if (m_queue.TakeNext())
        OpenCurrent(engine);
}

void CEpocAdding::OnEntryBusy(IEpocEngine* engine) {
    if (!m_opening)
        return;
    m_watchdog.stop();
    m_opening = false;
    m_remoteFile.reset();
    if (++m_busyAnswers >= kMaxBusyOpens) {
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsEntryStaysBusy).arg(m_queue.Current()));
        FinishCurrent(engine);
        return;
    }
    if (!IssueOpen(engine)) {
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsEntryNotOpened).arg(m_queue.Current()));
        FinishCurrent(engine);
    }
}

void CEpocAdding::OnEpocEntryDetails(int32_t result, IEpocEngine* engine) {
    // Only the answer to the open in progress counts; one that comes after the entry was
    // given up belongs to nothing.
    if (!m_opening)
        return;
    m_watchdog.stop();
    m_opening = false;
    std::unique_ptr<IEpocRemoteFile> remote = std::move(m_remoteFile);
    RemoteFileInfo info;
    // Only an entry that opened has information to bind.
    if (remote && result == 0 && remote->GetFileInfo(info) == 0) {
        remote.reset();
        if (info.bytes[2] & kAttrFolder) {
            CMessageBox::Stop(&m_view, LoadConnectionString(kIdsNoWholeFolder));
        } else {
            CDovetailManagerDoc& doc = m_view.Document();
            CDocSynchEntry record = doc.NewRecord();
            record.EpocFileName = QString::fromUtf8(info.Name(), qsizetype(qstrnlen(info.Name(), 256)));
            const QString& current = m_queue.Current();
            record.EpocPath = current.left(std::max<qsizetype>(0, current.size() - record.EpocFileName.size()));
            const QString type = EpocClassText(info.TypeId(0), info.TypeId(1), info.TypeId(2));
            if (!type.isEmpty())
                record.EpocFileType = type;
            if (ChoosePcTarget(&m_view, record) && doc.AddEntry(record))
                m_view.ShowAddedBinding();
        }
    } else {
        // Unplugged meanwhile, or the item is gone: the user dropped it and must learn why
        // no save dialog follows.
        remote.reset();
        CMessageBox::Stop(&m_view, LoadConnectionString(kIdsEntryNotOpened).arg(m_queue.Current()));
    }
    FinishCurrent(engine);
}

bool CEpocAdding::ChoosePcTarget(QWidget* parent, CDocSynchEntry& record) {
    const CAppProfile profile;
    QFileDialog dialog(parent, LoadConnectionString(kIdsSelectPcTarget) + record.EpocFileName, InitialPcFolder());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Entries show by their names alone ("No conversion"); the patterns still filter.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setObjectName(QStringLiteral("PcTargetDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(record.EpocFileName);

    std::optional<CPcTargetFilter> waited;
    {
        const CWaitCursor wait;
        waited.emplace(record.EpocFileType, ManagerConverters());
    }
    const CPcTargetFilter& filter = *waited;
    const QStringList filters = filter.DialogFilters();
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(std::max(0, filter.DefaultEntry())));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    QString path = dialog.selectedFiles().first();
    const int entry = FilterEntry(filters, dialog.selectedNameFilter());
    const bool converted = filter.IsValid() && entry >= 0 && !filter.IsNoConversion(entry);
    if (converted)
        path = WithTargetExtension(path, filter.TargetExtension(entry));

    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (!IsBindablePcPath(path.left(slash + 1), path.mid(slash + 1))) {
        CMessageBox::Stop(parent, LoadManagerString(kIdsPcPathTooLong).arg(path));
        return false;
    }
    record.WinFileName = path.mid(slash + 1);
    record.WinPath = path.left(slash + 1);
    const QFileInfo info(path);
    if (info.exists())
        record.FileSize = ClampedFileSize(info.size());
    // Without converters (or a filter entry) the binding is a plain copy: the types must be
    // equal, or every run would look for a converter that is not there.
    if (!converted) {
        record.WinFileType = record.EpocFileType;
    } else {
        const QString pcName = filter.TargetName(entry);
        const QString epocName = filter.SourceName(entry);
        if (!pcName.isEmpty())
            record.WinFileType = pcName;
        if (!epocName.isEmpty())
            record.EpocFileType = epocName;
    }
    if (auto* view = qobject_cast<CDovetailManagerView*>(parent))
        record.ImageIndex = view->GetFileIcon(path);
    profile.WriteProfileString(kSettings, kLastWindowsPath, path.left(std::max<qsizetype>(slash, 0)));
    return true;
}
