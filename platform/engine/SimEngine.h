// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/WorkerEngine.h"

class CSimEngineCore;

// The simulated handheld behind IEpocEngine. Its configuration and injected faults live in
// the registry (see SimulatorConfig.h) and are read afresh by every operation, so a test or
// the simulator tool can change them while an engine runs. Each engine owns one worker
// thread: operations are queued to it and their events are delivered from it, in the order
// the operations were issued.
//
// Event details: OnStatus(result, mode, plugged) answers AttachRemote; OnRemoteFileBusy
// carries 0. After the first Connect the worker follows the "Connected" value (every 250 ms)
// and reports OnDisconnected(0) / OnConnected(result) when it changes. Failures carry the
// EngineError codes of SimulatorConfig.h.
//
// The engine may be destroyed from inside one of its own events: the worker then finishes on
// its own once that event returns.
class CSimEngine final : public CWorkerEngine<CSimEngineCore> {
public:
    CSimEngine();
    ~CSimEngine() override;
};
