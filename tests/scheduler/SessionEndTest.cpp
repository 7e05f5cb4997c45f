// SPDX-License-Identifier: GPL-3.0-or-later
// DTkTimer ends with the desktop session it was started in, and a later session's scheduler
// does not step aside for one left over from an ended session.
#include "platform/base/UniqueFd.h"
#include "tests/support/TempEnv.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A listening local socket standing in for a session's X server or bus.
class CFakeServer {
public:
    CFakeServer(const QByteArray& path, bool abstract) : m_path(path), m_abstract(abstract) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, path.constData(), size_t(path.size()));
        const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + size_t(path.size()));
        m_fd.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        m_listening = ::bind(m_fd.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                      ::listen(m_fd.Get(), 64) == 0;
    }
    ~CFakeServer() { Close(); }
    bool Listening() const { return m_listening; }
    void Close() {
        if (!m_fd.IsValid())
            return;
        m_fd.Reset();
        if (!m_abstract)
            ::unlink(m_path.constData());
    }
    // Closes without touching the path, which another server may hold by now.
    void CloseLeavingThePath() {
        m_abstract = true;
        Close();
    }

private:
    QByteArray m_path;
    bool m_abstract;
    CUniqueFd m_fd;
    bool m_listening = false;
};

class CTimer {
public:
    CTimer() { m_process.start(BinDir() + u"/DTkTimer"_s, {u"-v"_s}); }
    ~CTimer() {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGCONT);
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString Output() {
        m_output += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_output;
    }
    bool WaitStarted() {
        return QTest::qWaitFor([&] { return Output().contains(u"DTkTimer: started"_s); }, 10000);
    }
    bool Ended() const { return m_process.state() == QProcess::NotRunning; }
    // Ended by itself, cleanly, within seconds.
    bool EndsWithin(int seconds) {
        return QTest::qWaitFor([&] { return Ended(); }, seconds * 1000) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    pid_t Pid() const { return pid_t(m_process.processId()); }

private:
    QProcess m_process;
    QString m_output;
};

// The session's variables, with nothing else of the desktop this test may run in.
void EnterSession(CTempEnv& env, const QString& display, const QString& bus) {
    env.SetEnv("DISPLAY", display);
    env.SetEnv("DBUS_SESSION_BUS_ADDRESS", bus);
    env.SetEnv("WAYLAND_DISPLAY", QString());
    env.SetEnv("XDG_SESSION_ID", QString());
}

TEST(DTkTimerSession, EndsWhenItsSessionEndsHoweverItEnds) {
    enum class End { ServerGone, ServerReplaced, Hangup };
    struct Row {
        const char* name;
        bool x11;
        End end;
    };
    const Row rows[] = {
        {"the X server goes (log-out)", true, End::ServerGone},
        {"the session bus goes", false, End::ServerGone},
        {"another bus answers at the same address (a later session)", false, End::ServerReplaced},
        {"SIGHUP", false, End::Hangup},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CTempEnv env;
        // An unused display number; its server in the abstract namespace, as Xvfb also listens.
        const int display = 6000 + int(::getpid() % 3000);
        const QByteArray path =
            row.x11 ? "/tmp/.X11-unix/X" + QByteArray::number(display) : (env.Root() + u"/bus"_s).toLocal8Bit();
        auto server = std::make_unique<CFakeServer>(path, row.x11);
        ASSERT_TRUE(server->Listening());
        EnterSession(env, row.x11 ? u":%1"_s.arg(display) : QString(),
                     row.x11 ? QString() : u"unix:path="_s + QString::fromLocal8Bit(path));
        CTimer timer;
        ASSERT_TRUE(timer.WaitStarted()) << timer.Output().toStdString();
        QTest::qWait(2200);  // past the first look at the session
        ASSERT_FALSE(timer.Ended()) << "ended while its session went on: " << timer.Output().toStdString();

        if (row.end == End::Hangup) {
            ::kill(timer.Pid(), SIGHUP);
        } else {
            if (row.end == End::ServerReplaced) {
                // Bound while the old socket is still open, so the new one cannot reuse its
                // inode number: this test's servers all share one process, which a real
                // session's never do.
                ::unlink(path.constData());
                auto next = std::make_unique<CFakeServer>(path, row.x11);
                server->CloseLeavingThePath();
                server = std::move(next);
            } else {
                server.reset();
            }
        }
        EXPECT_TRUE(timer.EndsWithin(8)) << timer.Output().toStdString();
    }
}

TEST(DTkTimerSession, ALaterSessionEndsTheSchedulerLeftFromAnEndedOne) {
    CTempEnv env;
    const QByteArray bus = (env.Root() + u"/bus"_s).toLocal8Bit();
    auto server = std::make_unique<CFakeServer>(bus, false);
    EnterSession(env, QString(), u"unix:path="_s + QString::fromLocal8Bit(bus));
    CTimer orphan;
    ASSERT_TRUE(orphan.WaitStarted()) << orphan.Output().toStdString();
    // Stopped, so it cannot notice by itself that its session ends.
    ::kill(orphan.Pid(), SIGSTOP);
    server = std::make_unique<CFakeServer>(bus, false);  // the next session's bus, same address

    CTimer next;
    EXPECT_TRUE(next.WaitStarted()) << next.Output().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return orphan.Ended(); }, 2000));
}

}  // namespace
