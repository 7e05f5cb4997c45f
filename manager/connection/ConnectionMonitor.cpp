// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/connection/ConnectionMonitor.h"

#include "common/ProfileRegistry.h"
#include "manager/ConnectionStrings.h"
#include "manager/MessageBox.h"

namespace {
constexpr int32_t kConnectTimeoutMs = 15000;
constexpr int32_t kAttachMode = 2;
constexpr int32_t kMachineMode = 2;
}  // namespace

CConnectionMonitor::CConnectionMonitor(QWidget* messageParent, QObject* parent)
    : QObject(parent), m_messageParent(messageParent), m_sink(this) {}

CConnectionMonitor::~CConnectionMonitor() {
    if (m_engine)
        m_engine->SetEventSink(nullptr);
    m_sink.SetWindow(nullptr);
    m_machine.reset();
    m_engine.reset();
}

bool CConnectionMonitor::Start(std::unique_ptr<IEpocEngine> engine) {
    if (!engine) {
        CMessageBox::Information(m_messageParent, LoadConnectionString(kIdsCouldNotAccessEngine));
        return false;
    }
    m_engine = std::move(engine);
    m_engine->SetEventSink(&m_sink);
    return true;
}

bool CConnectionMonitor::event(QEvent* e) {
    if (CEngineEvent::IsEngineEvent(e)) {
        const auto* engineEvent = static_cast<CEngineEvent*>(e);
        HandleEvent(engineEvent->Event(), engineEvent->Result(), engineEvent->First());
        return true;
    }
    return QObject::event(e);
}

void CConnectionMonitor::HandleEvent(EngineEvent event, int32_t result, int32_t first) {
    Q_UNUSED(first);
    if (!m_engine)
        return;
    switch (event) {
        case EngineEvent::Initialized:
            if (result == 0)
                m_engine->Connect(kConnectTimeoutMs);
            else
                CMessageBox::Information(m_messageParent, LoadConnectionString(kIdsCouldNotStartEngine));
            break;
        case EngineEvent::Connected:
            if (result == 0) {
                m_engine->AttachRemote(kAttachMode);
                SetConnected(true);
            } else {
                CMessageBox::Information(m_messageParent, LoadConnectionString(kIdsCannotConnect));
                SetConnected(false);
            }
            break;
        case EngineEvent::Disconnected:
            SetOwner(QString());
            SetConnected(false);
            break;
        case EngineEvent::Status:
            // Every status event looks the owner up again.
            m_machine.reset();
            m_engine->GetMachine(kMachineMode, m_machine);
            break;
        case EngineEvent::MachineReady:
            if (result == 0)
                LookUpOwner();
            break;
        case EngineEvent::RemoteFileOpened:
            emit RemoteFileOpened(result);
            break;
        case EngineEvent::RemoteFileBusy:
            emit RemoteFileBusy();
            break;
        default:
            break;
    }
}

void CConnectionMonitor::SetConnected(bool connected) {
    m_connected = connected;
    emit ConnectedChanged(connected);
}

void CConnectionMonitor::SetOwner(const QString& owner) {
    m_owner = owner;
    emit OwnerTextChanged(owner);
}

void CConnectionMonitor::LookUpOwner() {
    if (!m_machine)
        return;
    MachineInfo info;
    if (m_machine->GetMachineInfo(info) != 0)
        return;
    QString user;
    if (FindUserForMachine(info.WordAt(0x24), info.WordAt(0x20), user)) {
        emit OwnerFound(user);
        SetOwner(user);
    } else {
        SetOwner(QString());
    }
}
