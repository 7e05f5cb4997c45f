// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>
#include <vector>

// The desktop session a program was started in, told by the servers it was started for: the X
// display, the Wayland display and the session bus (each a local socket), and logind's record
// of the session. The session is over once any of them is gone, is answered by another server
// than at the start (a later session on the same display number), or logind has it closing.
// A program started outside any session has nothing to watch and is never told it is over.
class CDesktopSession {
public:
    // The session named by this process's environment, with the servers answering now.
    static CDesktopSession FromEnvironment();
    // A session as Describe() wrote it; empty for text it did not write.
    static CDesktopSession Parse(const QByteArray& text);

    // One line per server, for the scheduler's lock file.
    QByteArray Describe() const;
    // False once the session has ended; why then says which server went.
    bool IsAlive(QString* why = nullptr) const;
    bool IsEmpty() const { return m_endpoints.empty() && m_sessionId.isEmpty(); }

private:
    struct Endpoint {
        QByteArray name;  // "x11", "wayland", "bus"
        QByteArray path;  // the socket's path, or its name in the abstract namespace
        bool abstract = false;
        ino_t inode = 0;  // the socket file's, for a path
        pid_t peer = 0;   // the listening server's process, where the kernel tells it
    };

    void AddSocket(const QByteArray& name, const QByteArray& path, bool abstract);

    std::vector<Endpoint> m_endpoints;
    QString m_sessionId;  // logind's, when it keeps a record of it
};
