// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StoreProbe.h"

#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

DtregResult RunDtreg(const QStringList& args) {
    QProcess p;
    p.start(BinDir() + u"/dtreg"_s, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

void TouchStoreFiles(const QString& storePath) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const QByteArray name = QFile::encodeName(storePath) + suffix;
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char head[64];
        [[maybe_unused]] const ssize_t n = ::read(fd, head, sizeof head);
        ::close(fd);
    }
}

bool FileHasLocks(const QString& file) {
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    // An open-file-description probe conflicts with every other owner's lock, this
    // process's classic locks included.
    const bool locked = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

void ExpectSharesTheStore(CRegistry& reg, const QString& key, int rounds) {
    EXPECT_TRUE(FileHasLocks(reg.Path())) << "the process no longer holds its lock on the store";
    EXPECT_TRUE(FileHasLocks(reg.Path() + u"-shm"_s)) << "the process no longer holds its lock on the store's index";
    const QString dtregKey = u"HKEY_CURRENT_USER\\"_s + key;
    ASSERT_TRUE(reg.SetNumber(RegRoot::CurrentUser, key, u"Base"_s, 7));
    for (int round = 1; round <= rounds; ++round) {
        const QString n = QString::number(round);
        const DtregResult set = RunDtreg({u"set"_s, dtregKey, u"Theirs"_s, u"dword"_s, n});
        ASSERT_EQ(set.code, 0) << set.err.toStdString();
        uint32_t theirs = 0;
        ASSERT_TRUE(reg.GetNumber(RegRoot::CurrentUser, key, u"Theirs"_s, theirs));
        EXPECT_EQ(theirs, uint32_t(round)) << "round " << round << ": another process's write is not seen";

        ASSERT_TRUE(reg.SetNumber(RegRoot::CurrentUser, key, u"Mine"_s, uint32_t(round)));
        const DtregResult mine = RunDtreg({u"query"_s, dtregKey, u"Mine"_s});
        EXPECT_EQ(mine.out.trimmed(), n.toUtf8()) << "round " << round << ": this process's write does not reach "
                                                  << "another process (" << mine.err.toStdString() << ")";
        const DtregResult base = RunDtreg({u"query"_s, dtregKey, u"Base"_s});
        EXPECT_EQ(base.out.trimmed(), QByteArray("7"));
    }
    uint32_t theirs = 0;
    EXPECT_TRUE(reg.GetNumber(RegRoot::CurrentUser, key, u"Theirs"_s, theirs));
    EXPECT_EQ(theirs, uint32_t(rounds));
    const DtregResult check = RunDtreg({u"check"_s});
    EXPECT_EQ(check.code, 0) << check.err.toStdString();
}
