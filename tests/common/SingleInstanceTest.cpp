// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TempEnv.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString HelperPath() {
    return BinDir() + QStringLiteral("/SingleInstanceHelper");
}

// A helper run that is always ended when the test ends.
struct CHelper {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();

    explicit CHelper(const QString& title = QString()) {
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(HelperPath(), title.isEmpty() ? QStringList() : QStringList{title});
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

}  // namespace
