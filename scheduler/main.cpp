// SPDX-License-Identifier: GPL-3.0-or-later
// DTkTimer: the per-user scheduler that starts automatic synchronization.
#include "platform/engine/EpocEngine.h"
#include "scheduler/DetachedStarter.h"
#include "common/InstanceLock.h"
#include "scheduler/Scheduler.h"
#include "scheduler/SignalWatcher.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool verbose = arguments.contains(u"-v"_s) || arguments.contains(u"--verbose"_s);
    const auto log = [verbose](const QString& line) {
        if (verbose)
            std::fprintf(stderr, "DTkTimer: %s\n", line.toLocal8Bit().constData());
    };

    CSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &CSignalWatcher::TerminationRequested, &app, [&log](int number) {
        log(u"signal %1 received; quitting"_s.arg(number));
        QCoreApplication::quit();
    });

    CInstanceLock lock;
    switch (lock.Acquire(CInstanceLock::DefaultPath())) {
        case CInstanceLock::Result::Acquired:
            break;
        case CInstanceLock::Result::HeldElsewhere:
            log(u"already running for this user; exiting"_s);
            return 0;
        case CInstanceLock::Result::Unavailable:
            // Better an unguarded scheduler than none: the synchronizer refuses a second run.
            log(u"the instance lock %1 cannot be used; running without it"_s.arg(CInstanceLock::DefaultPath()));
            break;
    }

    CDetachedStarter starter;
    CScheduler scheduler(&CreateEpocEngine, starter, verbose ? CScheduler::Logger(log) : CScheduler::Logger());
    scheduler.Start();
    log(u"started"_s);
    return app.exec();
}
