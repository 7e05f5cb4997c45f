// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manager/DovetailManagerView.h"
#include "platform/engine/EpocEngine.h"

#include <functional>
#include <memory>

class CConnectionMonitor;
class CEpocAdding;

// The binding list with its connection to the handheld and the synchronizer launch.
class CConnectedView : public CDovetailManagerView {
    Q_OBJECT
public:
    using EngineFactory = std::function<std::unique_ptr<IEpocEngine>()>;

    // makeEngine defaults to the suite's engine.
    CConnectedView(CDovetailManagerDoc& doc, QWidget* parent = nullptr, EngineFactory makeEngine = {});
    ~CConnectedView() override;

    // Null until the first update created it.
    CConnectionMonitor* Monitor() const { return m_monitor; }

    void OnSynchronize() override;
    void OnSynchronizeAll() override;
    void OnAddPcFile() override;
    void OnAddEpocFile() override;
    CEpocAdding& EpocAdding() { return *m_epocAdding; }
    void OnDropOnList(const QMimeData* data) override;
    // Shell file lists and items dragged from the handheld, recognised by their formats.
    bool CanTakeData(const QMimeData* data) const override;

protected:
    void OnFirstUpdateDone() override;

private:
    // User and PC folder checks, the backup folder and the clock question; false when the
    // manager must close.
    bool CheckSetUp();
    void AskForClockSetting();

    EngineFactory m_makeEngine;
    std::unique_ptr<CEpocAdding> m_epocAdding;
    CConnectionMonitor* m_monitor = nullptr;
};
