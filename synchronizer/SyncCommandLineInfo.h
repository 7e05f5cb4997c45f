// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the synchronizer's command line asks for: every active binding, or the one whose
// sub-key name follows a /W flag; with /P, only the plan of that run, printed.
struct CSyncCommandLineInfo {
    bool singleBinding = false;
    QString keyName;
    bool plan = false;

    // args without the program name. Unknown flags and plain words are ignored; the last
    // W flag wins.
    static CSyncCommandLineInfo Parse(const QStringList& args);
};
