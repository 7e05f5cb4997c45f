// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"
#include "platform/engine/PWInfo.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

// The manager's own connection to the engine: follows the handheld coming and going and
// looks up its owner. The sink posts every event to this object, so all reactions run on
// the user-interface thread in the order the engine sent them.
class CConnectionMonitor : public QObject {
    Q_OBJECT
public:
    // messageParent owns the message boxes this monitor shows.
    explicit CConnectionMonitor(QWidget* messageParent, QObject* parent = nullptr);
    // Detaches the sink before the engine goes, so no event outlives the monitor.
    ~CConnectionMonitor() override;

    // Takes the engine and attaches the sink. A null engine (creation failed) is reported
    // and the monitor stays without a connection; false then.
    bool Start(std::unique_ptr<IEpocEngine> engine);
    IEpocEngine* Engine() const { return m_engine.get(); }
    bool IsConnected() const { return m_connected; }
    const QString& OwnerText() const { return m_owner; }

    // One engine message; the event loop calls this, tests may too.
    void HandleEvent(EngineEvent event, int32_t result, int32_t first = 0);

signals:
    void ConnectedChanged(bool connected);
    // The handheld's owner, empty when no profile knows it or it went away.
    void OwnerTextChanged(const QString& owner);
    // An owner was found for the connected handheld.
    void OwnerFound(const QString& user);
    void RemoteFileOpened(int32_t result);
    // The entry being opened is in use; the engine expects it to be opened again.
    void RemoteFileBusy();

protected:
    bool event(QEvent* e) override;

private:
    void SetConnected(bool connected);
    void SetOwner(const QString& owner);
    void LookUpOwner();

    QWidget* m_messageParent;
    CPWInfo m_sink;
    std::unique_ptr<IEpocMachine> m_machine;
    std::unique_ptr<IEpocEngine> m_engine;
    bool m_connected = false;
    QString m_owner;
};
