// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dtdevice/DeviceTool.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CDeviceTool tool;
    const DeviceToolResult result = tool.Run(QCoreApplication::arguments().mid(1));
    if (result.exitCode == 0) {
        std::fprintf(stdout, "%s\n", result.message.toUtf8().constData());
    } else {
        std::fprintf(stderr, "dtdevice: %s\n", result.message.toUtf8().constData());
        if (result.exitCode == 2)
            std::fprintf(stderr, "%s\n", CDeviceTool::Usage().toUtf8().constData());
    }
    return result.exitCode;
}
