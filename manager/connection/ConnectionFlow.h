// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CCommandTable;
class CConnectionMonitor;
class CDovetailManagerView;
class CMainFrame;

// The list's connection to the handheld: once the list had its first update it checks the
// user's set-up, asks for the clock setting and starts following the engine.
class CConnectionFlow : public QObject {
    Q_OBJECT
public:
    using EngineFactory = std::function<std::unique_ptr<IEpocEngine>()>;

    // makeEngine defaults to the suite's engine. Starts at once when the list is set up.
    explicit CConnectionFlow(CDovetailManagerView& view, EngineFactory makeEngine = {});
    // The engine goes before the view: no event may reach a half-destroyed list.
    ~CConnectionFlow() override;

    // Null until the list's first update started it (and when the set-up check failed).
    CConnectionMonitor* Monitor() const { return m_monitor.get(); }
    // Null without a connection to the engine.
    IEpocEngine* Engine() const;

signals:
    void ConnectedChanged(bool connected);
    void OwnerTextChanged(const QString& owner);
    void RemoteFileOpened(int32_t result);
    void RemoteFileBusy();

private:
    void Start();
    // User and PC folder checks, the backup folder and the clock question; false when the
    // manager must close.
    bool CheckSetUp();
    void AskForClockSetting();

    CDovetailManagerView& m_view;
    EngineFactory m_makeEngine;
    std::unique_ptr<CConnectionMonitor> m_monitor;
};

// Synchronize (the selected, enabled binding) and Synchronize All (while any is enabled):
// both start the synchronizer through the shell. connectedOwner, when given, names the owner
// of the handheld connected now (empty when none is, or none is known): the synchronizer runs
// that owner's binding of the number it is given, so Synchronize refuses, saying why, while
// the handheld is another user's than the one listed.
void AddSynchronizeCommands(CCommandTable& commands, CDovetailManagerView& view,
                            std::function<QString()> connectedOwner = {});

// The connection flow of frame's list, kept by the frame: the status bar follows the
// handheld, and the synchronize commands join the frame's table.
CConnectionFlow& InstallConnectionFlow(CMainFrame& frame, CConnectionFlow::EngineFactory makeEngine = {});
