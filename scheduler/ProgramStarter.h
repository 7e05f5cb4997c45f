// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Starts the programs automatic synchronization asks for and remembers which still run.
class IProgramStarter {
public:
    virtual ~IProgramStarter() = default;
    // Starts program without arguments and without waiting for it; false when it could not
    // be started.
    virtual bool Start(const QString& program) = 0;
    // True while a process this starter started for program has not ended.
    virtual bool IsRunning(const QString& program) = 0;
};
