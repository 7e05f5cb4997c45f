// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/FileCopy.h"

#include "platform/engine/SimulatorConfig.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/xattr.h>

#include <csignal>
#include <functional>
#include <utility>
#include <fcntl.h>
#include <sys/mount.h>
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

// A private document stays private when it is replaced: its access-control list (mode 0640 would otherwise open it to
// the owning group), extended attributes and, where the process may give them, owner and group.
TEST(FileCopyTest, AReplacedDocumentKeepsItsAclAttributesAndOwner) {
    CTempEnv env;
    const QString source = env.WriteFile(QStringLiteral("a/new.txt"), "new");
    const QString target = env.WriteFile(QStringLiteral("b/doc.txt"), "old");
    const QByteArray path = QFile::encodeName(target);
    acl_t acl = ::acl_from_text("u::rw-,u:nobody:r--,g::---,m::r--,o::---");
    ASSERT_NE(acl, nullptr);
    const int set = ::acl_set_file(path.constData(), ACL_TYPE_ACCESS, acl);
    ::acl_free(acl);
    if (set != 0 || ::setxattr(path.constData(), "user.dovetail", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no access-control lists or user attributes here";
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
    }

    ASSERT_EQ(CopyFileAtomic(QFile::encodeName(source), path), 0);
    EXPECT_EQ(ReadAll(target), QByteArray("new"));
    acl_t kept = ::acl_get_file(path.constData(), ACL_TYPE_ACCESS);
    ASSERT_NE(kept, nullptr);
    char* text = ::acl_to_any_text(kept, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS);
    EXPECT_TRUE(QByteArray(text).contains("u:65534:r--")) << text;
    ::acl_free(text);
    ::acl_free(kept);
    char value[16] = {};
    EXPECT_EQ(::getxattr(path.constData(), "user.dovetail", value, sizeof value), 4);
    EXPECT_EQ(QByteArray(value), QByteArray("kept"));
    struct stat st {};
    ASSERT_EQ(::stat(path.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0040u) << "the group gets only what the list's mask allows";
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
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

// On the handheld only a regular file is replaced: a link there is refused, never written
// through (on the PC, the user's own link is kept, as above), and so are pipes and devices.
TEST(FileCopyTest, OnTheHandheldOnlyARegularFileIsReplaced) {
    CTempEnv env;
    CFifoUnjammer unjammer;
    CSentinel outside(env.Root() + QStringLiteral("/pc/letter.txt"));
    const QString folder = env.MakeDir(QStringLiteral("stick"));
    const QString source = env.WriteFile(QStringLiteral("source.txt"), "new");
    ASSERT_TRUE(HostileEntries::Link(outside.Path(), folder + QStringLiteral("/Link")));
    ASSERT_TRUE(HostileEntries::Link(folder + QStringLiteral("/Plain"), folder + QStringLiteral("/Inside")));
    env.WriteFile(QStringLiteral("stick/Plain"), "old");
    ASSERT_TRUE(HostileEntries::Fifo(folder + QStringLiteral("/Pipe")));
    unjammer.Watch(folder + QStringLiteral("/Pipe"));
    ASSERT_TRUE(HostileEntries::Socket(folder + QStringLiteral("/Socket")));

    CUniqueFd in;
    struct stat sourceStat {};
    ASSERT_EQ(OpenCopySource(QFile::encodeName(source), in, sourceStat), 0);
    const CUniqueFd dir(::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const struct {
        const char* name;
        int32_t expected;
    } rows[] = {
        {"Link", EngineError::kBadName},
        {"Inside", EngineError::kBadName},
        {"Pipe", EngineError::kAccessDenied},
        {"Socket", EngineError::kAccessDenied},
        {"Plain", 0},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(::lseek(in.Get(), 0, SEEK_SET), 0);
        EXPECT_EQ(CopyIntoFolder(in.Get(), sourceStat, dir.Get(), row.name, CopyOptions{CopyFlush::No, {}, true}),
                  row.expected)
            << row.name;
    }
    EXPECT_TRUE(outside.Untouched());
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/Link")).isSymLink());
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/Plain")), "new");
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(), 5);

    // A pipe as a PC source is refused at once, not waited on.
    CUniqueFd pipeIn;
    EXPECT_EQ(OpenCopySource(QFile::encodeName(folder + QStringLiteral("/Pipe")), pipeIn, sourceStat),
              EngineError::kAccessDenied);
    EXPECT_FALSE(unjammer.Unjam());
}

// The temporary name fits the file system whatever the document's name: cut between
// characters, counted in bytes and, for FAT and exFAT, in UTF-16 units.
TEST(FileCopyTest, TemporaryNamesAreCutBetweenCharacters) {
    const QByteArray two = QStringLiteral("\u00e9").toUtf8();       // 2 bytes, 1 unit
    const QByteArray three = QStringLiteral("\u65e5").toUtf8();     // 3 bytes, 1 unit
    const QByteArray four = QStringLiteral("\U0001F600").toUtf8();  // 4 bytes, 2 units
    const struct {
        const char* why;
        QByteArray name;
        int maxBytes;
        int maxUnits;
    } rows[] = {
        {"short ASCII name", "Report", 255, 255},
        {"longest ASCII name on ext4", QByteArray(255, 'x'), 255, 255},
        {"odd prefix, two-byte characters", 'a' + two.repeated(127), 255, 255},
        {"two-byte characters on exFAT", 'a' + two.repeated(254), 1530, 255},
        {"three-byte characters", "ab" + three.repeated(84), 255, 255},
        {"characters beyond the BMP on exFAT", 'a' + four.repeated(127), 1530, 255},
        {"not UTF-8 at all", QByteArray(300, '\xff'), 255, 255},
        {"a cut-off sequence at the end", QByteArray(250, 'x') + "\xe6\x97", 255, 255},
        {"no room for the name", "Report", 30, 30},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QByteArray temp = TempNameFor(row.name, row.maxBytes, row.maxUnits);
        EXPECT_TRUE(temp.startsWith('.'));
        EXPECT_TRUE(temp.endsWith(".tmp"));
        EXPECT_LE(temp.size(), row.maxBytes);
        const QByteArray kept = temp.mid(1, temp.indexOf(".dt", 1) - 1);
        EXPECT_TRUE(row.name.startsWith(kept));
        const bool utf8 = QString::fromUtf8(row.name).toUtf8() == row.name;
        if (utf8) {
            EXPECT_EQ(QString::fromUtf8(temp).toUtf8(), temp) << "cut inside a character";
            EXPECT_LE(QString::fromUtf8(temp).size(), row.maxUnits);
        }
        if (row.name.size() < 100 && row.maxBytes >= 255) {
            EXPECT_EQ(kept, row.name);
        }
    }
    EXPECT_NE(TempNameFor("Report", 255, 255), TempNameFor("Report", 255, 255));
}

// A volume that fills up mid-copy: a clear result, the old file whole and nothing left behind.
TEST(FileCopyTest, AFullVolumeKeepsTheOldFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    CTempEnv env;
    const QString small = env.MakeDir(QStringLiteral("small"));
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const QString source = env.WriteFile(QStringLiteral("big.bin"), QByteArray(3 << 20, 'b'));
    const QString target = env.WriteFile(QStringLiteral("small/target.bin"), "old");
    EXPECT_EQ(CopyFileAtomic(QFile::encodeName(source), QFile::encodeName(target)), EngineError::kDiskFull);
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("target.bin")});
    ::umount2(QFile::encodeName(small).constData(), MNT_DETACH);
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

// A document saved while it is copied: written in place, the copy would mix old and new bytes
// and is never given a name; replaced by a rename, the copy takes the file it opened whole.
TEST(FileCopyTest, ASourceWrittenDuringTheCopyIsNeverNamed) {
    const struct {
        const char* what;
        std::function<void(const QString& source)> edit;
    } rows[] = {
        {"appended to",
         [](const QString& source) {
             QFile f(source);
             ASSERT_TRUE(f.open(QIODevice::Append));
             f.write("more");
         }},
        {"rewritten in place, its time put back",
         [](const QString& source) {
             // The change time ticks coarsely: a write within the same tick would not show.
             ::usleep(30000);
             struct stat before {};
             ASSERT_EQ(::stat(QFile::encodeName(source).constData(), &before), 0);
             QFile f(source);
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             f.write("NEW");
             f.close();
             const struct timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(source).constData(), times, 0), 0);
         }},
        // The file read loses its name, which moves its change time: it is no longer the document.
        {"replaced by a rename",
         [](const QString& source) {
             ::usleep(30000);
             const QString saved = source + QStringLiteral(".saved");
             QFile f(saved);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("saved anew");
             f.close();
             ASSERT_TRUE(::rename(QFile::encodeName(saved).constData(), QFile::encodeName(source).constData()) == 0);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CTempEnv env;
        const QByteArray old(2 << 20, 'o');
        const QString source = env.WriteFile(QStringLiteral("source.bin"), old);
        const QString folder = env.MakeDir(QStringLiteral("device"));
        const QString target = env.WriteFile(QStringLiteral("device/target.bin"), "old");
        bool edited = false;
        // Asked between the copy's steps: the edit lands while the data is being read.
        const CopyGoOn editOnce = [&] {
            if (!std::exchange(edited, true))
                row.edit(source);
            return true;
        };
        const int32_t result = CopyFileAtomic(QFile::encodeName(source), QFile::encodeName(target),
                                              CopyOptions{CopyFlush::Yes, editOnce, false, NameFlush::Deferred});
        EXPECT_TRUE(edited);
        EXPECT_EQ(result, EngineError::kSourceChanged);
        EXPECT_EQ(ReadAll(target), QByteArray("old"));
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("target.bin")});
    }
}

}  // namespace
