// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/connection/ConnectedView.h"

#include "common/ProfileRegistry.h"
#include "manager/BackupFolder.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/adding/EpocAdding.h"
#include "manager/adding/PcAdding.h"
#include "manager/Strings.h"
#include "manager/connection/ConnectionMonitor.h"
#include "manager/connection/ConnectionStrings.h"
#include "manager/connection/SynchronizerLaunch.h"
#include "platform/shell/Shell.h"

#include <QDir>
#include <QMimeData>

namespace {
constexpr char kTaskSchedulerKey[] = "Software\\Veroz\\TASKSCHEDULER";
}

CConnectedView::CConnectedView(CDovetailManagerDoc& doc, QWidget* parent, EngineFactory makeEngine)
    : CDovetailManagerView(doc, parent),
      m_makeEngine(std::move(makeEngine)),
      m_epocAdding(std::make_unique<CEpocAdding>(*this)) {
    InstallConnectionStrings();
    if (!m_makeEngine)
        m_makeEngine = [] { return CreateEpocEngine(); };
}

CConnectedView::~CConnectedView() {
    // The engine goes before the view: no event may reach a half-destroyed view. A remote
    // file still awaited goes before its engine.
    m_epocAdding.reset();
    delete m_monitor;
    m_monitor = nullptr;
}

void CConnectedView::OnFirstUpdateDone() {
    if (m_monitor || !CheckSetUp())
        return;
    AskForClockSetting();

    m_monitor = new CConnectionMonitor(this);
    auto* frame = qobject_cast<CMainFrame*>(window());
    if (frame) {
        connect(m_monitor, &CConnectionMonitor::ConnectedChanged, frame, &CMainFrame::SetConnected);
        connect(m_monitor, &CConnectionMonitor::OwnerTextChanged, frame, &CMainFrame::SetStatusText);
    }
    connect(m_monitor, &CConnectionMonitor::RemoteFileOpened, this,
            [this](int32_t result) { m_epocAdding->OnEpocEntryDetails(result, m_monitor->Engine()); });
    connect(m_monitor, &CConnectionMonitor::RemoteFileBusy, this,
            [this] { m_epocAdding->OnEntryBusy(m_monitor->Engine()); });
    connect(m_monitor, &CConnectionMonitor::OwnerFound, this,
            [this](const QString& user) { Document().SetUser(user); });
    m_monitor->Start(m_makeEngine());
}

bool CConnectedView::CheckSetUp() {
    QString user;
    QString folder;
    int messageId = 0;
    if (!GetCurrentUser(user))
        messageId = kIdsNoUserInitialized;
    else if (!GetUserPCDirectory(user, folder))
        messageId = kIdsSelectCurrentFolder;
    if (messageId != 0) {
        CMessageBox::Stop(this, LoadManagerString(messageId));
        emit CloseApplicationRequested();
        return false;
    }
    const BackupFolderResult backup = ResolveBackupFolder();
    if (backup.ok)
        QDir().mkpath(backup.folder);  // a failure shows later, when the folder is used
    return true;
}

void CConnectedView::AskForClockSetting() {
    const QString key = QString::fromLatin1(kTaskSchedulerKey);
    uint32_t syncTime = 0;
    RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("SyncTime"), syncTime);
    if (syncTime != 0)
        return;
    if (CMessageBox::AskYesNo(this, LoadConnectionString(kIdsAskSyncTime)))
        RegWriteNumber(HKEY_CURRENT_USER, key, QStringLiteral("SyncTime"), 1);
}

void CConnectedView::OnSynchronize() {
    const int entry = SelectedEntry();
    if (entry < 0)
        return;
    LaunchSynchronizer(this, entry);
}

void CConnectedView::OnSynchronizeAll() {
    LaunchSynchronizer(this);
}

void CConnectedView::OnAddPcFile() {
    CPcAdding(*this).OnAddPcFile();
}

void CConnectedView::OnDropOnList(const QMimeData* data) {
    if (data && HasFileList(data)) {
        CPcAdding(*this).OnDropFiles(FileListFromMimeData(data));
        return;
    }
    if (CEpocAdding::IsEpocDrop(data))
        m_epocAdding->OnDropItems(data, m_monitor ? m_monitor->Engine() : nullptr);
}

bool CConnectedView::CanTakeData(const QMimeData* data) const {
    return CDovetailManagerView::CanTakeData(data) || CEpocAdding::IsEpocDrop(data);
}

void CConnectedView::OnAddEpocFile() {
    m_epocAdding->OnAddEpocFile();
}
