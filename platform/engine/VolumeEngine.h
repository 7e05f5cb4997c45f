// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/WorkerEngine.h"

class CVolumeEngineCore;

// The handheld as a removable volume adopted with dtdevice: "C:\Documents\Report" is
// C/Documents/Report below the adopted folder, wherever the volume is mounted. The volume is
// connected while it is mounted and its folder is there; the engine follows the mount table
// through the kernel's change signal (no polling) and reports OnDisconnected(0) and
// OnConnected(0) as volumes come and go. With several adopted volumes mounted, the one
// mounted first is the handheld until it goes.
//
// Threading, event order and lifetime are those of the simulated engine: one worker thread
// per engine runs the operations in issue order and delivers their events; the engine may be
// destroyed from inside one of its own events. A copy to or from a volume that is unmounted
// meanwhile fails with kNotReady and leaves both sides as they were.
class CVolumeEngine final : public CWorkerEngine<CVolumeEngineCore> {
public:
    CVolumeEngine();
    ~CVolumeEngine() override;
};
