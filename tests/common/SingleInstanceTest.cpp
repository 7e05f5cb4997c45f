// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

namespace {

QString HelperPath() {
    return BinDir() + QStringLiteral("/SingleInstanceHelper");
}

// A helper run that is always ended when the test ends.
struct CHelper {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();

    explicit CHelper(const QString& title = QString(), const QString& program = HelperPath()) {
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, title.isEmpty() ? QStringList() : QStringList{title});
    }
    ~CHelper() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    // The next output line, or empty after the timeout.
    QString ReadLine(int timeoutMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!process->canReadLine() && timer.elapsed() < timeoutMs)
            process->waitForReadyRead(100);
        return QString::fromUtf8(process->readLine()).trimmed();
    }
};

TEST(SingleInstanceTest, SecondStartRaisesTheFirstAndEnds) {
    CTempEnv env;
    CHelper first;
    const QString ready = first.ReadLine();
    ASSERT_TRUE(ready.startsWith(QStringLiteral("ready "))) << ready.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^ready Dovetail Guard Test:[0-9a-f]{1,8}:b:0:0$")).match(ready).hasMatch())
        << ready.toStdString();

    for (int attempt = 0; attempt < 2; ++attempt) {
        QElapsedTimer timer;
        timer.start();
        CHelper second;
        ASSERT_TRUE(second.process->waitForFinished(10000));
        EXPECT_EQ(second.process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.process->exitCode(), 0);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(second.process->readAllStandardOutput().isEmpty());  // no window of its own
        EXPECT_EQ(first.ReadLine(), QStringLiteral("raised restored"));
    }
}

TEST(SingleInstanceTest, DifferentTitlesDoNotBlockEachOther) {
    CTempEnv env;
    CHelper manager(QStringLiteral("Dovetail"));
    CHelper synchronizer(QStringLiteral("Dovetail Synchronization"));
    EXPECT_TRUE(manager.ReadLine().startsWith(QStringLiteral("ready Dovetail:")));
    EXPECT_TRUE(synchronizer.ReadLine().startsWith(QStringLiteral("ready Dovetail Synchronization:")));
}

TEST(SingleInstanceTest, AKilledInstanceDoesNotBlockTheNextStart) {
    CTempEnv env;
    {
        CHelper crashed;
        ASSERT_TRUE(crashed.ReadLine().startsWith(QStringLiteral("ready ")));
        crashed.process->kill();  // no clean-up: lock file and socket stay behind
        crashed.process->waitForFinished(5000);
    }
    CHelper next;
    EXPECT_TRUE(next.ReadLine().startsWith(QStringLiteral("ready ")));
}

TEST(SingleInstanceTest, UnreachableInstanceReportsTheRegistrationFailure) {
    CTempEnv env;
    // Longer than a local socket address can hold, while the lock file still fits.
    env.SetEnv("XDG_RUNTIME_DIR", env.MakeDir(QStringLiteral("run/") + QString(120, QLatin1Char('r'))));
    CHelper helper;
    EXPECT_EQ(helper.ReadLine(), QStringLiteral("message Failed to register window class!"));
    ASSERT_TRUE(helper.process->waitForFinished(10000));
    EXPECT_EQ(helper.process->exitCode(), 0);
}

QString ChannelBase() {
    QProcess p;
    p.start(HelperPath(), {QStringLiteral("--channel")});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Two installed copies of one program guard the same bindings: the second start raises the
// first whatever folder either runs from.
TEST(SingleInstanceTest, CopiesInOtherFoldersAreOneInstance) {
    CTempEnv env;
    QStringList copies;
    for (const char* folder : {"one", "two with blank"}) {
        const QString copy = env.MakeDir(QString::fromUtf8(folder)) + QStringLiteral("/SingleInstanceHelper");
        ASSERT_TRUE(QFile::copy(HelperPath(), copy));
        ASSERT_TRUE(QFile::setPermissions(copy, QFile::permissions(HelperPath())));
        copies << copy;
    }
    CHelper first(QString(), copies[0]);
    ASSERT_TRUE(first.ReadLine().startsWith(QStringLiteral("ready ")));
    CHelper second(QString(), copies[1]);
    ASSERT_TRUE(second.process->waitForFinished(10000));
    EXPECT_TRUE(second.process->readAllStandardOutput().isEmpty());
    EXPECT_EQ(first.ReadLine(), QStringLiteral("raised restored"));
}

// A lock that cannot be taken for any reason but another instance holding it leaves the
// program running as the only instance, and never takes a live first instance's socket.
TEST(SingleInstanceTest, AnUnusableLockRunsAloneAndLeavesTheFirstReachable) {
    CTempEnv env;
    const QString base = ChannelBase();
    ASSERT_FALSE(base.isEmpty());
    CHelper first;
    ASSERT_TRUE(first.ReadLine().startsWith(QStringLiteral("ready ")));
    // The lock's name now leads elsewhere: it cannot be used, and is not the first's lock.
    ASSERT_TRUE(QFile::remove(base + QStringLiteral(".lock")));
    ASSERT_TRUE(QFile::link(env.WriteFile(QStringLiteral("elsewhere"), "x"), base + QStringLiteral(".lock")));
    CHelper unguarded;
    EXPECT_TRUE(unguarded.ReadLine().startsWith(QStringLiteral("ready ")));

    QLocalSocket socket;
    socket.connectToServer(base + QStringLiteral(".sock"));
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write("raise\n\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    EXPECT_EQ(first.ReadLine(), QStringLiteral("raised restored")) << "the first instance lost its socket";
}

// Without a runtime folder the guard's files go to a folder of the user's own, closed to
// others; a name planted there by someone else is never followed.
TEST(SingleInstanceTest, WithoutARuntimeFolderTheGuardUsesAPrivateOne) {
    CTempEnv env;
    env.SetEnv("XDG_RUNTIME_DIR", QString());
    const QString base = ChannelBase();
    const QString expected = env.Root() + QStringLiteral("/tmp/dovetail-%1/").arg(::getuid());
    ASSERT_TRUE(base.startsWith(expected)) << base.toStdString();
    EXPECT_EQ(QFileInfo(expected).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                   QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
    CHelper first;
    EXPECT_TRUE(first.ReadLine().startsWith(QStringLiteral("ready ")));
    first.process->kill();
    first.process->waitForFinished(5000);

    // A folder of that name that is not private is refused: the program still runs.
    ASSERT_TRUE(QDir(expected).removeRecursively());
    ASSERT_TRUE(QFile::link(env.MakeDir(QStringLiteral("planted")), expected.chopped(1)));
    EXPECT_TRUE(ChannelBase().isEmpty());
    CHelper alone;
    EXPECT_TRUE(alone.ReadLine().startsWith(QStringLiteral("ready ")));
}

}  // namespace

// Whatever else connects to the socket (a caller that never speaks, one that says too much,
// one cut short) neither blocks the first instance nor keeps a second start from reaching it.
TEST(SingleInstanceTest, OddCallersDoNotKeepSecondStartsOut) {
    CTempEnv env;
    const QString base = ChannelBase();
    ASSERT_FALSE(base.isEmpty());
    CHelper first;
    ASSERT_TRUE(first.ReadLine().startsWith(QStringLiteral("ready ")));
    const QFileInfo socketFile(base + QStringLiteral(".sock"));
    EXPECT_EQ(socketFile.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions())
        << "others may reach the socket";

    QLocalSocket silent;
    silent.connectToServer(socketFile.filePath());
    ASSERT_TRUE(silent.waitForConnected(5000));

    QLocalSocket talkative;
    talkative.connectToServer(socketFile.filePath());
    ASSERT_TRUE(talkative.waitForConnected(5000));
    talkative.write(QByteArray(20000, 'x'));
    talkative.waitForBytesWritten(1000);
    talkative.disconnectFromServer();

    QLocalSocket cutShort;
    cutShort.connectToServer(socketFile.filePath());
    ASSERT_TRUE(cutShort.waitForConnected(5000));
    cutShort.write("raise\n");
    cutShort.waitForBytesWritten(1000);
    cutShort.disconnectFromServer();
    EXPECT_EQ(first.ReadLine(), QStringLiteral("raised restored")) << "a request cut short counts as it stands";

    CHelper second;
    ASSERT_TRUE(second.process->waitForFinished(10000));
    EXPECT_EQ(second.process->exitCode(), 0);
    EXPECT_EQ(first.ReadLine(), QStringLiteral("raised restored"));
    EXPECT_EQ(silent.state(), QLocalSocket::ConnectedState);
}
