// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"
#include "scheduler/ProgramStarter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

// Starts programs detached, so they outlive the scheduler, and follows each one through a
// process descriptor (where the system has them) until it ends. At most one process is
// followed per program: callers ask IsRunning before starting again.
class CDetachedStarter final : public IProgramStarter {
public:
    // What starts a program: the command line (program first), by default the program alone.
    using Command = std::function<QStringList(const QString& program)>;

    explicit CDetachedStarter(Command command = {}) : m_command(std::move(command)) {}
    ~CDetachedStarter() override = default;
    CDetachedStarter(const CDetachedStarter&) = delete;
    CDetachedStarter& operator=(const CDetachedStarter&) = delete;

    bool Start(const QString& program) override;
    bool IsRunning(const QString& program) override;

private:
    struct Child {
        qint64 pid = 0;
        CUniqueFd pidFd;  // invalid where the kernel offers no process descriptors
        bool HasEnded() const;
    };

    Command m_command;
    std::map<QString, std::unique_ptr<Child>> m_children;
};
