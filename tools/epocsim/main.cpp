// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/epocsim/DeviceBrowser.h"
#include "tools/epocsim/SimTool.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "browse") == 0)
        return RunDeviceBrowser(argc, argv);
    QCoreApplication app(argc, argv);
    CSimTool tool(QCoreApplication::applicationDirPath());
    const SimToolResult result = tool.Run(QCoreApplication::arguments().mid(1));
    if (result.exitCode == 0) {
        std::fprintf(stdout, "%s\n", result.message.toUtf8().constData());
    } else {
        std::fprintf(stderr, "epocsim: %s\n", result.message.toUtf8().constData());
        if (result.exitCode == 2)
            std::fprintf(stderr, "%s\n", CSimTool::Usage().toUtf8().constData());
    }
    return result.exitCode;
}
