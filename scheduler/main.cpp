// SPDX-License-Identifier: GPL-3.0-or-later
// DTkTimer: the per-user scheduler that starts automatic synchronization.
#include "platform/engine/EpocEngine.h"
#include "common/InstanceLock.h"
#include "common/Launcher.h"
#include "scheduler/DesktopSession.h"
#include "scheduler/DetachedStarter.h"
#include "scheduler/Scheduler.h"
#include "scheduler/SignalWatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// How often the scheduler looks whether its session and its package are still there.
constexpr int kWatchIntervalMs = 2000;

// The lock file's record: the holder's process and its session.
QByteArray Record(const CDesktopSession& session) {
    return "pid " + QByteArray::number(::getpid()) + '\n' + session.Describe();
}

pid_t RecordedPid(const QByteArray& record) {
    for (const QByteArray& line : record.split('\n')) {
        if (line.startsWith("pid "))
            return pid_t(line.mid(4).toInt());
    }
    return 0;
}

// The process is a scheduler of this user: one whose program file is named like this one's
// (also when an upgrade has replaced that file meanwhile).
bool IsSchedulerOfThisUser(pid_t pid) {
    if (pid <= 0 || pid == ::getpid())
        return false;
    const QString proc = u"/proc/%1"_s.arg(pid);
    if (QFileInfo(proc).ownerId() != ::getuid())
        return false;
    QString exe = QFile::symLinkTarget(proc + u"/exe"_s);
    exe.remove(u" (deleted)"_s);
    return QFileInfo(exe).fileName() == QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

// Takes the lock from a scheduler whose session has ended: it would otherwise keep it (and
// run for a desktop nobody sees) while this session goes without automatic synchronization.
// True when the lock is ours afterwards.
bool TakeOverFromOrphan(CInstanceLock& lock, const QString& path, const std::function<void(const QString&)>& log) {
    const QByteArray record = CInstanceLock::ReadRecord(path);
    const pid_t holder = RecordedPid(record);
    const CDesktopSession session = CDesktopSession::Parse(record);
    QString why;
    if (session.IsEmpty() || session.IsAlive(&why) || !IsSchedulerOfThisUser(holder))
        return false;
    log(u"the scheduler %1 belongs to an ended session (%2); ending it"_s.arg(holder).arg(why));
    for (const int signal : {SIGTERM, SIGKILL}) {
        ::kill(holder, signal);
        QDeadlineTimer deadline(3000);
        while (!deadline.hasExpired()) {
            if (lock.Acquire(path) == CInstanceLock::Result::Acquired)
                return true;
            QThread::msleep(100);
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool verbose = arguments.contains(u"-v"_s) || arguments.contains(u"--verbose"_s);
    const std::function<void(const QString&)> log = [verbose](const QString& line) {
        if (verbose)
            std::fprintf(stderr, "DTkTimer: %s\n", line.toLocal8Bit().constData());
    };

    CSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &CSignalWatcher::TerminationRequested, &app, [&log](int number) {
        log(u"signal %1 received; quitting"_s.arg(number));
        QCoreApplication::quit();
    });

    if (PackageRemoved()) {
        log(u"the package that installed this scheduler has been removed; exiting"_s);
        return 0;
    }

    const CDesktopSession session = CDesktopSession::FromEnvironment();
    CInstanceLock lock;
    const QString lockPath = CInstanceLock::DefaultPath();
    switch (lock.Acquire(lockPath)) {
        case CInstanceLock::Result::Acquired:
            break;
        case CInstanceLock::Result::HeldElsewhere:
            if (TakeOverFromOrphan(lock, lockPath, log))
                break;
            log(u"already running for this user; exiting"_s);
            return 0;
        case CInstanceLock::Result::Unavailable:
            // Better an unguarded scheduler than none: the synchronizer refuses a second run.
            log(u"the instance lock %1 cannot be used; running without it"_s.arg(lockPath));
            break;
    }
    lock.WriteRecord(Record(session));

    // The scheduler ends with its session, however that ends, and with its package.
    QTimer watch;
    watch.setInterval(kWatchIntervalMs);
    QObject::connect(&watch, &QTimer::timeout, &app, [&session, &log] {
        QString why;
        if (!session.IsAlive(&why)) {
            log(u"the session has ended (%1); quitting"_s.arg(why));
            QCoreApplication::quit();
        } else if (PackageRemoved()) {
            log(u"the package that installed this scheduler has been removed; quitting"_s);
            QCoreApplication::quit();
        }
    });
    watch.start();

    // Programs of the suite start through the package's launcher, which updates them first.
    CDetachedStarter starter([](const QString& program) { return LaunchCommand(program); });
    CScheduler scheduler(&CreateEpocEngine, starter, verbose ? CScheduler::Logger(log) : CScheduler::Logger());
    scheduler.Start();
    log(u"started"_s);
    return app.exec();
}
