// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncFiles.h"
#include "tests/support/ScriptedEngine.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

TEST(SyncFilesTest, AvailabilityOfPcFiles) {
    CTempEnv env;
    const QString free = env.WriteFile(u"free.txt"_s, "x");
    const QString readOnly = env.WriteFile(u"ro.txt"_s, "x");
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    const QString held = env.WriteFile(u"held.txt"_s, "x");
    QProcess holder;
    holder.setStandardInputFile(held);
    holder.start(u"sleep"_s, {u"30"_s});
    ASSERT_TRUE(holder.waitForStarted());

    EXPECT_TRUE(IsPcFileAvailable(free));
    EXPECT_FALSE(IsPcFileAvailable(readOnly));
    EXPECT_FALSE(IsPcFileAvailable(held));
    EXPECT_FALSE(IsPcFileAvailable(env.Root() + u"/missing.txt"_s));
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(IsPcFileAvailable(held));
    EXPECT_EQ(QFile(free).size(), 1);  // the test neither truncates nor creates
}

// As a file copy: the backup carries the document's time and permissions, not those of
// the moment it was made or of the backup it replaces.
TEST(SyncFilesTest, AtomicCopyKeepsTheSourcesTimeAndModeAndLeavesNoTemporary) {
    CTempEnv env;
    const QString source = env.WriteFile(u"src.txt"_s, "new content");
    ::chmod(QFile::encodeName(source).constData(), 0640);
    const struct timespec times[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
    ::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), times, 0);
    const QString target = env.WriteFile(u"out/dst.txt"_s, "old");
    ::chmod(QFile::encodeName(target).constData(), 0600);
    ASSERT_TRUE(CopyFileAtomically(source, target));
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("new content"));
    struct stat st {};
    ::stat(QFile::encodeName(target).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(QDir(env.Root() + u"/out"_s).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_FALSE(CopyFileAtomically(env.Root() + u"/missing"_s, target));
    EXPECT_FALSE(CopyFileAtomically(source, env.Root() + u"/no/such/dir/x"_s));
}

// In a zone with summer time too: around each change the local time that does not exist or
// shows twice is placed as the C library places it.
TEST(SyncFilesTest, HandheldLocalTimeRoundTrips) {
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
        SCOPED_TRACE(zone);
        CTempEnv env;
        env.SetEnv("TZ", QString::fromLatin1(zone));
        ::tzset();
        for (const int64_t t : {int64_t(0), int64_t(946684800), int64_t(1700000000), int64_t(1719835200)})
            EXPECT_EQ(LocalFileTimeToUtcSeconds(UtcSecondsToLocalFileTime(t)), t);
        // 2024-03-31 and 2024-10-27 at 02:30 local time: a gap and an overlap in CET.
        for (const int64_t local : {int64_t(1711852200), int64_t(1729996200)}) {
            const time_t asUtc = time_t(local);
            struct tm fields {};
            ASSERT_TRUE(::gmtime_r(&asUtc, &fields));
            fields.tm_isdst = -1;
            EXPECT_EQ(LocalFileTimeToUtcSeconds(uint64_t(local + 11644473600LL) * 10000000ULL),
                      int64_t(::mktime(&fields)));
        }
    }
    ::tzset();
}

TEST(SyncFilesTest, PrivateFolderIsExclusiveAndRemoved) {
    CTempEnv env;
    QString path;
    {
        CPrivateTempDir first;
        CPrivateTempDir second;
        ASSERT_TRUE(first.Create(env.Root()));
        ASSERT_TRUE(second.Create(env.Root()));
        EXPECT_NE(first.Path(), second.Path());
        path = first.Path();
        env.WriteFile(path.mid(env.Root().size() + 1) + u"/_Dovetl_.dt_"_s, "data");
    }
    EXPECT_FALSE(QFile::exists(path));
    CPrivateTempDir none;
    EXPECT_FALSE(none.Create(env.Root() + u"/missing/parent"_s));
}

}  // namespace
