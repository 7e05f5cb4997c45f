// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/AddingFlow.h"

#include "manager/CommandIds.h"
#include "manager/CommandTable.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/adding/EpocAdding.h"
#include "manager/adding/PcAdding.h"
#include "manager/connection/ConnectionFlow.h"
#include "platform/shell/Shell.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

CAddingFlow::CAddingFlow(CDovetailManagerView& view, const CConnectionFlow* connection)
    : m_view(view), m_connection(connection), m_epocAdding(std::make_unique<CEpocAdding>(view)) {
    if (m_connection) {
        connect(m_connection, &CConnectionFlow::RemoteFileOpened, this,
                [this](int32_t result) { m_epocAdding->OnEpocEntryDetails(result, m_connection->Engine()); });
        connect(m_connection, &CConnectionFlow::RemoteFileBusy, this,
                [this] { m_epocAdding->OnEntryBusy(m_connection->Engine()); });
    }
    m_view.SetDataTaker(&CAddingFlow::CanTakeData, [this](const QMimeData* data) { TakeData(data); });
}

CAddingFlow::~CAddingFlow() {
    m_view.SetDataTaker({}, {});
    m_epocAdding.reset();
}

bool CAddingFlow::CanTakeData(const QMimeData* data) {
    return HasFileList(data) || CEpocAdding::IsEpocDrop(data);
}

void CAddingFlow::TakeData(const QMimeData* data) {
    if (data && HasFileList(data)) {
        CPcAdding(m_view).OnDropFiles(FileListFromMimeData(data));
        return;
    }
    if (CEpocAdding::IsEpocDrop(data))
        m_epocAdding->OnDropItems(data, m_connection ? m_connection->Engine() : nullptr);
}

void CAddingFlow::AddCommands(CCommandTable& commands) {
    commands.Add(kCmdAddPcFile, [this] { CPcAdding(m_view).OnAddPcFile(); });
    commands.Add(kCmdAddEpocFile, [this] { m_epocAdding->OnAddEpocFile(); });
    commands.Add(
        kCmdPaste, [this] { TakeData(QApplication::clipboard()->mimeData()); },
        [] { return CanTakeData(QApplication::clipboard()->mimeData()); });
}

CAddingFlow& InstallAddingFlow(CMainFrame& frame, const CConnectionFlow* connection) {
    auto& flow = frame.KeepFlow(std::make_unique<CAddingFlow>(*frame.View(), connection));
    flow.AddCommands(frame.Commands());
    frame.UpdateCommandUi();
    return flow;
}
