// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The user's commands for removable volumes as handhelds: adopt a folder on a mounted volume
// for a user, list the adopted volumes, forget one, choose which engine the suite uses.
// Each reports what it did, or why it could not, in a few lines.
struct DeviceToolResult {
    int exitCode = 0;  // 0 done, 1 could not be done, 2 bad arguments
    QString message;
};

class CDeviceTool {
public:
    DeviceToolResult Run(const QStringList& arguments);
    static QString Usage();
    // Why adopt would refuse an existing folder for the volume it is on (a fixed disk, the
    // system's own file system ...); empty when it is on a removable volume.
    static QString VolumeRefusal(const QString& folder);

private:
    DeviceToolResult Adopt(const QStringList& args);
    DeviceToolResult List();
    DeviceToolResult Forget(const QStringList& args);
    DeviceToolResult Use(const QStringList& args);
};
