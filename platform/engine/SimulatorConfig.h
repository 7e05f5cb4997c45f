// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// Where the simulated handheld keeps its configuration (HKEY_LOCAL_MACHINE). The names are
// a contract with the simulator tool and the acceptance checks.
namespace SimulatorConfig {

inline QString Key() {
    return QStringLiteral("Software\\Veroz\\PsiWin32\\Simulator");
}
inline QString FaultsKey() {
    return QStringLiteral("Software\\Veroz\\PsiWin32\\Simulator\\Faults");
}
// What the engine records for tests: "ReleasedCount" (number of ReleaseRemoteFile calls for
// files that had been reported busy) and "LastReleased" (the EPOC path of the latest one).
inline QString LogKey() {
    return QStringLiteral("Software\\Veroz\\PsiWin32\\Simulator\\Log");
}

inline QString DeviceRoot() {
    return QStringLiteral("DeviceRoot");
}
inline QString MachineIdLow() {
    return QStringLiteral("MachineIdLow");
}
inline QString MachineIdHigh() {
    return QStringLiteral("MachineIdHigh");
}
inline QString Connected() {
    return QStringLiteral("Connected");
}
// A number; 0 makes copies skip their flush to disk, for measurements against tools that
// never flush. Absent or any other value: every copy is flushed before it is renamed in.
inline QString FlushCopies() {
    return QStringLiteral("FlushCopies");
}

inline QString FaultInit() {
    return QStringLiteral("Init");
}
inline QString FaultConnect() {
    return QStringLiteral("Connect");
}
inline QString FaultBusy() {
    return QStringLiteral("Busy");
}
inline QString FaultCopyFail() {
    return QStringLiteral("CopyFail");
}
inline QString FaultCloseFail() {
    return QStringLiteral("CloseFail");
}

inline QString ReleasedCount() {
    return QStringLiteral("ReleasedCount");
}
inline QString LastReleased() {
    return QStringLiteral("LastReleased");
}

}  // namespace SimulatorConfig

// Results the simulated engine reports in its events (0 is success).
namespace EngineError {
inline constexpr int32_t kNotFound = -1;             // no such file or folder
inline constexpr int32_t kGeneral = -2;              // anything else the file system reported
inline constexpr int32_t kBadName = -3;              // refused path
inline constexpr int32_t kNotReady = -4;             // handheld unplugged or not configured
inline constexpr int32_t kDiskFull = -5;             // no space left for a copy
inline constexpr int32_t kAccessDenied = -6;         // permissions, read-only file system
inline constexpr int32_t kPathNotFound = -7;         // a folder on the way does not exist
inline constexpr int32_t kInjected = -8;             // a fault configured in the registry
inline constexpr int32_t kIsFolder = -9;             // a file operation on a folder
inline constexpr int32_t kSourceChanged = -10;       // the source was written to while it was copied
inline constexpr int32_t kCancelled = -11;           // the copy was stopped (CancelCopies)
inline constexpr int32_t kDestinationChanged = -13;  // not as the caller saw it (CopyFileOver)
}  // namespace EngineError
