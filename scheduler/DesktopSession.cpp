// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/DesktopSession.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/base/UniqueFd.h"

using namespace Qt::StringLiterals;

namespace {

const QString kLogindSessions = u"/run/systemd/sessions/"_s;

struct Answer {
    bool reached = false;
    pid_t peer = 0;
};

// Connects to a local socket and asks who listens there. A full backlog counts as reached:
// the server is there, only busy.
Answer Probe(const QByteArray& path, bool abstract) {
    Answer answer;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const qsizetype offset = abstract ? 1 : 0;
    if (path.isEmpty() || path.size() + offset >= qsizetype(sizeof(address.sun_path)))
        return answer;
    std::memcpy(address.sun_path + offset, path.constData(), size_t(path.size()));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    CUniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.IsValid())
        return answer;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        answer.reached = errno == EAGAIN || errno == EINPROGRESS;
        return answer;
    }
    answer.reached = true;
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
        answer.peer = credentials.pid;
    return answer;
}

ino_t SocketInode(const QByteArray& path) {
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode) ? status.st_ino : 0;
}

// logind's state of the session: empty when it keeps no record of it.
QByteArray LogindState(const QString& id) {
    QFile file(kLogindSessions + id);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("STATE="))
            return line.mid(6);
    }
    return "unknown";
}

}  // namespace

void CDesktopSession::AddSocket(const QByteArray& name, const QByteArray& path, bool abstract) {
    const Answer answer = Probe(path, abstract);
    if (!answer.reached)
        return;  // nothing there now: nothing to watch either
    Endpoint endpoint{name, path, abstract, abstract ? 0 : SocketInode(path), answer.peer};
    m_endpoints.push_back(endpoint);
}

CDesktopSession CDesktopSession::FromEnvironment() {
    CDesktopSession session;
    // A local X display (":1", ":1.0", "unix:1"): the server's socket file, else its name in
    // the abstract namespace. Displays over the network are not watched.
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    if (colon >= 0 && (colon == 0 || display.left(colon) == "unix")) {
        QByteArray number = display.mid(colon + 1);
        number = number.left(number.indexOf('.') < 0 ? number.size() : number.indexOf('.'));
        bool numeric = false;
        number.toUInt(&numeric);
        if (numeric) {
            const QByteArray path = "/tmp/.X11-unix/X" + number;
            if (QFileInfo::exists(QString::fromLatin1(path)))
                session.AddSocket("x11", path, false);
            else
                session.AddSocket("x11", path, true);
        }
    }
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (!wayland.isEmpty())
        session.AddSocket("wayland", wayland.startsWith('/') ? wayland : qgetenv("XDG_RUNTIME_DIR") + '/' + wayland,
                          false);
    // The bus's first local address ("unix:path=...", "unix:abstract=..."), its value
    // percent-escaped.
    for (const QByteArray& address : qgetenv("DBUS_SESSION_BUS_ADDRESS").split(';')) {
        if (!address.startsWith("unix:"))
            continue;
        for (const QByteArray& pair : address.mid(5).split(',')) {
            const bool abstract = pair.startsWith("abstract=");
            if (abstract || pair.startsWith("path=")) {
                session.AddSocket("bus", QByteArray::fromPercentEncoding(pair.mid(pair.indexOf('=') + 1)), abstract);
                break;
            }
        }
        break;
    }
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    if (!id.isEmpty() && !id.contains(u'/') && !LogindState(id).isEmpty())
        session.m_sessionId = id;
    return session;
}

QByteArray CDesktopSession::Describe() const {
    QByteArray text;
    for (const Endpoint& endpoint : m_endpoints)
        text += endpoint.name + ' ' + (endpoint.abstract ? "1 " : "0 ") + QByteArray::number(quint64(endpoint.inode)) +
                ' ' + QByteArray::number(endpoint.peer) + ' ' + endpoint.path.toPercentEncoding("/") + '\n';
    if (!m_sessionId.isEmpty())
        text += "logind " + m_sessionId.toUtf8().toPercentEncoding() + '\n';
    return text;
}

CDesktopSession CDesktopSession::Parse(const QByteArray& text) {
    CDesktopSession session;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 2 && words[0] == "logind") {
            session.m_sessionId = QString::fromUtf8(QByteArray::fromPercentEncoding(words[1]));
            continue;
        }
        if (words.size() != 5 || (words[0] != "x11" && words[0] != "wayland" && words[0] != "bus"))
            continue;
        bool inodeOk = false;
        bool peerOk = false;
        Endpoint endpoint{words[0], QByteArray::fromPercentEncoding(words[4]), words[1] == "1",
                          ino_t(words[2].toULongLong(&inodeOk)), pid_t(words[3].toInt(&peerOk))};
        if (inodeOk && peerOk && !endpoint.path.isEmpty())
            session.m_endpoints.push_back(endpoint);
    }
    return session;
}

bool CDesktopSession::IsAlive(QString* why) const {
    const auto over = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    for (const Endpoint& endpoint : m_endpoints) {
        const QString name = QString::fromLatin1(endpoint.name);
        const QString where = QString::fromLocal8Bit(endpoint.path);
        const Answer answer = Probe(endpoint.path, endpoint.abstract);
        if (!answer.reached)
            return over(u"the %1 server at %2 is gone"_s.arg(name, where));
        if ((endpoint.peer != 0 && answer.peer != 0 && answer.peer != endpoint.peer) ||
            (!endpoint.abstract && endpoint.inode != 0 && SocketInode(endpoint.path) != endpoint.inode))
            return over(u"another %1 server answers at %2"_s.arg(name, where));
    }
    if (!m_sessionId.isEmpty()) {
        const QByteArray state = LogindState(m_sessionId);
        if (state.isEmpty() || state == "closing")
            return over(u"the log-in session %1 has ended"_s.arg(m_sessionId));
    }
    return true;
}
