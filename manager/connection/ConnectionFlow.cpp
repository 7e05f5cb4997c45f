// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/connection/ConnectionFlow.h"

#include "common/ProfileRegistry.h"
#include "manager/BackupFolder.h"
#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/CommandTable.h"
#include "manager/ConnectionStrings.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "manager/connection/ConnectionMonitor.h"
#include "manager/connection/PreviewSyncDlg.h"
#include "manager/connection/SynchronizerLaunch.h"

#include <QDir>

namespace {
constexpr char kTaskSchedulerKey[] = "Software\\Veroz\\TASKSCHEDULER";
}  // namespace

CConnectionFlow::CConnectionFlow(CDovetailManagerView& view, EngineFactory makeEngine)
    : m_view(view), m_makeEngine(std::move(makeEngine)) {
    if (!m_makeEngine)
        m_makeEngine = [] { return CreateEpocEngine(); };
    if (m_view.IsSetUp())
        Start();
    else
        connect(&m_view, &CDovetailManagerView::InitialUpdateDone, this, &CConnectionFlow::Start);
}

CConnectionFlow::~CConnectionFlow() {
    m_monitor.reset();
}

IEpocEngine* CConnectionFlow::Engine() const {
    return m_monitor ? m_monitor->Engine() : nullptr;
}

void CConnectionFlow::Start() {
    if (m_monitor || !CheckSetUp())
        return;
    AskForClockSetting();

    m_monitor = std::make_unique<CConnectionMonitor>(&m_view);
    connect(m_monitor.get(), &CConnectionMonitor::ConnectedChanged, this, &CConnectionFlow::ConnectedChanged);
    connect(m_monitor.get(), &CConnectionMonitor::OwnerTextChanged, this, &CConnectionFlow::OwnerTextChanged);
    connect(m_monitor.get(), &CConnectionMonitor::RemoteFileOpened, this, &CConnectionFlow::RemoteFileOpened);
    connect(m_monitor.get(), &CConnectionMonitor::RemoteFileBusy, this, &CConnectionFlow::RemoteFileBusy);
    connect(m_monitor.get(), &CConnectionMonitor::OwnerFound, this,
            [this](const QString& user) { m_view.Document().SetUser(user); });
    m_monitor->Start(m_makeEngine());
}

bool CConnectionFlow::CheckSetUp() {
    const BackupFolderResult backup = ResolveBackupFolder();
    if (!backup.ok) {
        CMessageBox::Stop(&m_view, backup.message);
        emit m_view.CloseApplicationRequested();
        return false;
    }
    // The folder itself is made by the first backup that needs it: an empty folder made at
    // the first start would only puzzle the person, and stay after an uninstallation.
    return true;
}

void CConnectionFlow::AskForClockSetting() {
    const QString key = QString::fromLatin1(kTaskSchedulerKey);
    uint32_t syncTime = 0;
    RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("SyncTime"), syncTime);
    if (syncTime != 0)
        return;
    // No is stored as 0, which asks again at the next start as a missing value does, but tells the
    // set-up window that the user has answered: it turns the setting on only where nobody did.
    const bool yes = CMessageBox::AskYesNo(&m_view, LoadConnectionString(kIdsAskSyncTime));
    RegWriteNumber(HKEY_CURRENT_USER, key, QStringLiteral("SyncTime"), yes ? 1 : 0);
}

void AddSynchronizeCommands(CCommandTable& commands, CDovetailManagerView& view,
                            std::function<QString()> connectedOwner) {
    CDovetailManagerView* list = &view;
    commands.Add(
        kCmdSynchronize,
        [list, connectedOwner] {
            const int entry = list->SelectedEntry();
            if (entry < 0)
                return;
            const QString owner = connectedOwner ? connectedOwner() : QString();
            const QString listed = list->Document().User();
            if (!owner.isEmpty() && !SameRegistryName(owner, listed)) {
                CMessageBox::Information(list, LoadConnectionString(kIdsHandheldOfAnotherUser).arg(owner, listed));
                return;
            }
            LaunchSynchronizer(list, entry);
        },
        [list] {
            const int row = list->SelectedRow();
            return row >= 0 && list->Model()->IsChecked(row);
        });
    commands.Add(
        kCmdSynchronizeAll, [list] { LaunchSynchronizer(list); }, [list] { return list->Model()->AnyChecked(); });
}

CConnectionFlow& InstallConnectionFlow(CMainFrame& frame, CConnectionFlow::EngineFactory makeEngine) {
    auto& flow = frame.KeepFlow(std::make_unique<CConnectionFlow>(*frame.View(), std::move(makeEngine)));
    QObject::connect(&flow, &CConnectionFlow::ConnectedChanged, &frame, &CMainFrame::SetConnected);
    QObject::connect(&flow, &CConnectionFlow::OwnerTextChanged, &frame, &CMainFrame::SetStatusText);
    CConnectionFlow* connection = &flow;
    AddSynchronizeCommands(frame.Commands(), *frame.View(), [connection] {
        const CConnectionMonitor* monitor = connection->Monitor();
        return monitor && monitor->IsConnected() ? monitor->OwnerText() : QString();
    });
    // Always enabled: without a handheld it says why there is nothing to show.
    CDovetailManagerView* view = frame.View();
    frame.Commands().Add(kCmdPreviewSync, [connection, view] {
        const CConnectionMonitor* monitor = connection->Monitor();
        ShowPreviewSynchronization(view, monitor && monitor->IsConnected());
    });
    frame.UpdateCommandUi();
    return flow;
}
