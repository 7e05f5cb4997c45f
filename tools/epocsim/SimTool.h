// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The simulator tool's commands: each sets up or drives one piece of the connectivity suite
// stand-in through the registry and reports what it did in one line.
struct SimToolResult {
    int exitCode = 0;  // 0 done, 1 could not be done, 2 bad arguments
    QString message;   // the report line, or the reason of the failure
};

class CSimTool {
public:
    // programFolder is where the suite's files to install (ecfile.ocx, the clips) are found.
    explicit CSimTool(QString programFolder);

    SimToolResult Run(const QStringList& arguments);

    static QString Usage();

private:
    SimToolResult Install(const QStringList& args);
    SimToolResult AddUser(const QStringList& args);
    SimToolResult CreateDevice(const QStringList& args);
    SimToolResult SetPlugged(bool plugged);
    SimToolResult Status();
    SimToolResult SetFault(const QStringList& args);

    QString m_programFolder;
};
