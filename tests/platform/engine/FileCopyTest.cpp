// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/FileCopy.h"

#include "platform/engine/SimulatorConfig.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(FileCopyTest, ReplacesKeepingPermissionsAndModificationTime) {
    CTempEnv env;
    QByteArray big(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    const QString source = env.WriteFile(QStringLiteral("a/source.bin"), big);
    const QString target = env.WriteFile(QStringLiteral("b/target.bin"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    const struct timespec times[2] = {{1234567890, 0}, {1234567890, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), times, 0), 0);

    // Unflushed copies, kept for measurements, must not differ in anything but durability.
    for (const CopyFlush flush : {CopyFlush::Yes, CopyFlush::No}) {
        ASSERT_TRUE(QFile::remove(target) && QFile::copy(env.WriteFile(QStringLiteral("old"), "old"), target));
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
        ASSERT_EQ(CopyFileAtomic(QFile::encodeName(source), QFile::encodeName(target), flush), 0);
        EXPECT_EQ(ReadAll(target), big);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
        EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
    }

    // An empty source empties the destination.
    const QString empty = env.WriteFile(QStringLiteral("a/empty"), QByteArray());
    ASSERT_EQ(CopyFileAtomic(QFile::encodeName(empty), QFile::encodeName(target)), 0);
    EXPECT_EQ(QFileInfo(target).size(), 0);
    EXPECT_EQ(QDir(env.Root() + QStringLiteral("/b")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(FileCopyTest, WritesThroughALinkAndKeepsIt) {
    CTempEnv env;
    const QString source = env.WriteFile(QStringLiteral("source.txt"), "new");
    const QString real = env.WriteFile(QStringLiteral("real/target.txt"), "old");
    const QString link = env.Root() + QStringLiteral("/link.txt");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_EQ(CopyFileAtomic(QFile::encodeName(source), QFile::encodeName(link)), 0);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(real), "new");
}

TEST(FileCopyTest, FailuresNameTheirCause) {
    CTempEnv env;
    const QString source = env.WriteFile(QStringLiteral("source.txt"), "data");
    const QString target = env.WriteFile(QStringLiteral("target.txt"), "old");
    const struct {
        const char* why;
        QString from;
        QString to;
        int32_t expected;
    } rows[] = {
        {"missing source", env.Root() + QStringLiteral("/nothing"), target, EngineError::kNotFound},
        {"missing folder", source, env.Root() + QStringLiteral("/no/such/target.txt"), EngineError::kPathNotFound},
        {"folder source", env.Root(), target, EngineError::kIsFolder},
        {"folder destination", source, env.MakeDir(QStringLiteral("folder")), EngineError::kIsFolder},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CopyFileAtomic(QFile::encodeName(row.from), QFile::encodeName(row.to)), row.expected) << row.why;
        EXPECT_EQ(ReadAll(target), "old") << row.why;
    }
}

TEST(FileCopyTest, FullDiskIsReported) {
    CTempEnv env;
    const QString source = env.WriteFile(QStringLiteral("source.txt"), QByteArray(100000, 'x'));
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
    const int full = ::open("/dev/full", O_WRONLY);
    if (full < 0)
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(EngineErrorFromErrno(CopyFileData(in, full)), EngineError::kDiskFull);
    ::close(in);
    ::close(full);
}

// A copy killed at any moment leaves the old or the new content and nothing else: no
// half-written temporary file beside the document, 30 of which a 200-run soak once found.
TEST(FileCopyTest, AKilledCopyLeavesNothingBehind) {
    CTempEnv env;
    const QByteArray fresh(48 << 20, 'n');
    const QString source = env.WriteFile(QStringLiteral("source.bin"), fresh);
    const QString folder = env.MakeDir(QStringLiteral("device"));
    const QString target = folder + QStringLiteral("/target.bin");
    for (int delayMs : {2, 10, 25, 60}) {
        env.WriteFile(QStringLiteral("device/target.bin"), "old");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(CopyFileAtomic(QFile::encodeName(source), QFile::encodeName(target)) == 0 ? 0 : 1);
        ::usleep(useconds_t(delayMs) * 1000);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        const QByteArray now = ReadAll(target);
        EXPECT_TRUE(now == "old" || now == fresh) << delayMs << " ms: " << now.size() << " bytes";
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("target.bin")})
            << delayMs << " ms";
    }
}

}  // namespace
