// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/DevicePath.h"

#include "platform/base/UniqueFd.h"
#include "platform/engine/FileCopy.h"
#include "platform/engine/SimulatorConfig.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

class DevicePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = m_env.MakeDir(QStringLiteral("device"));
        m_env.WriteFile(QStringLiteral("device/C/Documents/Report"), "r");
        m_env.WriteFile(QStringLiteral("device/C/Documents/Sub/Deep.txt"), "d");
        m_env.WriteFile(QStringLiteral("outside.txt"), "o");
    }

    int32_t Resolve(const QByteArray& path, DeviceTarget& target) { return ResolveDevicePath(m_root, path, target); }

    CTempEnv m_env;
    QString m_root;
};

TEST_F(DevicePathTest, RefusesPathsThatCouldLeaveTheRoot) {
    QFile::link(m_env.Root(), m_root + QStringLiteral("/C/Documents/up"));
    QFile::link(m_env.Root() + QStringLiteral("/outside.txt"), m_root + QStringLiteral("/C/Documents/file-link"));
    const struct {
        const char* why;
        QByteArray path;
    } rows[] = {
        {"parent component", "C:\\Documents\\..\\..\\..\\outside.txt"},
        {"parent at the end", "C:\\Documents\\.."},
        {"current component", "C:\\.\\Documents"},
        {"forward slash", "C:\\Documents/Report"},
        {"slash to the parent", "C:\\../outside.txt"},
        {"empty component", "C:\\Documents\\\\Report"},
        {"double separator after the drive", "C:\\\\"},
        {"no drive", "\\Documents\\Report"},
        {"drive without separator", "C:Documents"},
        {"two-letter drive", "CD:\\Documents"},
        {"colon inside", "C:\\Documents\\a:b"},
        {"control character", "C:\\Documents\\a\tb"},
        {"empty", ""},
        {"link to a folder outside", "C:\\Documents\\up\\outside.txt"},
        {"link to a file outside", "C:\\Documents\\file-link"},
        {"outside link reached without regard to case", "C:\\DOCUMENTS\\FILE-LINK"},
        {"new file behind an outside link", "C:\\Documents\\up\\new.txt"},
    };
    for (const auto& row : rows) {
        DeviceTarget target;
        EXPECT_EQ(Resolve(row.path, target), EngineError::kBadName) << row.why;
        EXPECT_TRUE(target.hostPath.isEmpty()) << row.why;
    }
}

TEST_F(DevicePathTest, ResolvesWithoutRegardToCase) {
    const struct {
        QByteArray path;
        QString expected;  // relative to the root
        QString name;
        bool exists;
    } rows[] = {
        {"C:\\Documents\\Report", QStringLiteral("C/Documents/Report"), QStringLiteral("Report"), true},
        {"c:\\documents\\REPORT", QStringLiteral("C/Documents/Report"), QStringLiteral("Report"), true},
        {"C:\\DOCUMENTS\\sub\\deep.TXT", QStringLiteral("C/Documents/Sub/Deep.txt"), QStringLiteral("Deep.txt"), true},
        {"C:\\Documents\\Sub\\", QStringLiteral("C/Documents/Sub"), QStringLiteral("Sub"), true},
        {"C:\\", QStringLiteral("C"), QStringLiteral("C:"), true},
        {"C:\\documents\\NewFile.Txt", QStringLiteral("C/Documents/NewFile.Txt"), QStringLiteral("NewFile.Txt"), false},
    };
    for (const auto& row : rows) {
        DeviceTarget target;
        ASSERT_EQ(Resolve(row.path, target), 0) << row.path.constData();
        EXPECT_EQ(QFile::decodeName(target.hostPath), QDir(m_root).canonicalPath() + QLatin1Char('/') + row.expected);
        EXPECT_EQ(target.name, row.name);
        EXPECT_EQ(target.exists, row.exists) << row.path.constData();
    }
}

TEST_F(DevicePathTest, ExactNameWinsOverACaseVariant) {
    m_env.WriteFile(QStringLiteral("device/C/Documents/report"), "lower");
    DeviceTarget target;
    ASSERT_EQ(Resolve("C:\\Documents\\report", target), 0);
    EXPECT_TRUE(target.hostPath.endsWith("/report"));
    ASSERT_EQ(Resolve("C:\\Documents\\Report", target), 0);
    EXPECT_TRUE(target.hostPath.endsWith("/Report"));
}

// Names are looked up ignoring case from an index of the folder, kept while the folder stays
// as it was and told of the engine's own copies: whatever changes it, lookups stay right.
TEST_F(DevicePathTest, LookupsIgnoringCaseFollowTheFolder) {
    const QString docs = m_root + QStringLiteral("/C/Documents/");
    const QString source = m_env.WriteFile(QStringLiteral("source.txt"), "s");
    // A change within the clock tick of the last listing may show only with the next one.
    const auto later = [] { ::usleep(20000); };
    const struct {
        const char* step;
        std::function<void()> change;
        QByteArray path;
        QByteArray onDisk;  // empty: absent
    } rows[] = {
        {"missing", [] {}, "C:\\Documents\\NOTES", {}},
        {"made by another program",
         [&] {
             later();
             m_env.WriteFile(QStringLiteral("device/C/Documents/Notes"), "n");
         },
         "C:\\Documents\\NOTES", "Notes"},
        {"copied by the engine",
         [&] {
             DeviceTarget agenda;
             ASSERT_EQ(Resolve("C:\\Documents\\Agenda", agenda), 0);
             const CUniqueFd in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
             struct stat st {};
             ASSERT_EQ(::fstat(in.Get(), &st), 0);
             CopyOptions options;
             options.handheld = true;
             ASSERT_EQ(CopyIntoFolder(in.Get(), st, agenda.folder.Fd(), agenda.entry, options), 0);
         },
         "c:\\documents\\AGENDA", "Agenda"},
        {"the earlier one still found", [] {}, "C:\\Documents\\notes", "Notes"},
        {"renamed by another program",
         [&] {
             later();
             ASSERT_TRUE(QFile::rename(docs + QStringLiteral("Notes"), docs + QStringLiteral("Old notes")));
         },
         "C:\\Documents\\NOTES",
         {}},
        {"a sign that folds to a letter",
         [&] {
             later();
             m_env.WriteFile(QStringLiteral("device/C/Documents/\u212Aey"), "k");
         },
         "C:\\Documents\\KEY",
         "\xE2\x84\xAA"
         "ey"},
        {"an exact spelling beside it wins",
         [&] {
             later();
             m_env.WriteFile(QStringLiteral("device/C/Documents/KEY"), "K");
         },
         "C:\\Documents\\KEY", "KEY"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        row.change();
        DeviceTarget target;
        ASSERT_EQ(Resolve(row.path, target), 0);
        EXPECT_EQ(target.exists, !row.onDisk.isEmpty());
        if (!row.onDisk.isEmpty()) {
            EXPECT_EQ(target.entry, row.onDisk);
        }
    }
}

TEST_F(DevicePathTest, MissingPiecesAreReported) {
    DeviceTarget target;
    EXPECT_EQ(Resolve("D:\\Documents\\Report", target), EngineError::kPathNotFound);
    EXPECT_EQ(Resolve("C:\\Nothing\\Report", target), EngineError::kPathNotFound);
    EXPECT_EQ(Resolve("C:\\Documents\\Report\\Inside", target), EngineError::kPathNotFound);
    EXPECT_EQ(ResolveDevicePath(QString(), "C:\\Documents", target), EngineError::kNotReady);
}

// Whatever a stick holds, the walk never follows a link, never enters another file system and
// uses nothing but folders and regular files; each refusal carries the code callers know.
// Both ways of walking are tried: openat2, and the fallback for kernels without it.
TEST_F(DevicePathTest, HostileEntriesAreRefusedNotFollowed) {
    const QString docs = m_root + QStringLiteral("/C/Documents");
    CSentinel outside(m_env.Root() + QStringLiteral("/outside/secret.txt"));
    CFifoUnjammer unjammer;
    ASSERT_TRUE(HostileEntries::Link(docs + QStringLiteral("/Sub"), docs + QStringLiteral("/Alias")));
    ASSERT_TRUE(HostileEntries::Link(docs + QStringLiteral("/Report"), docs + QStringLiteral("/ReportLink")));
    ASSERT_TRUE(HostileEntries::Link(outside.Path(), docs + QStringLiteral("/Secret")));
    ASSERT_TRUE(HostileEntries::Link(m_env.Root() + QStringLiteral("/outside"), docs + QStringLiteral("/Out")));
    ASSERT_TRUE(HostileEntries::Link(m_env.Root() + QStringLiteral("/nothing"), docs + QStringLiteral("/Dangling")));
    ASSERT_TRUE(HostileEntries::Link(m_root + QStringLiteral("/C"), m_root + QStringLiteral("/D")));
    ASSERT_TRUE(HostileEntries::Fifo(docs + QStringLiteral("/Pipe")));
    unjammer.Watch(docs + QStringLiteral("/Pipe"));
    ASSERT_TRUE(HostileEntries::Socket(docs + QStringLiteral("/Socket")));
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_TRUE(HostileEntries::DeviceNode(docs + QStringLiteral("/Zero")));
    }
    // A name the case-insensitive match must not take for a look-alike: it is not UTF-8, and
    // decodes to the replacement character, which a caller can ask for.
    const QByteArray undecodable = QFile::encodeName(docs) + "/undecodable\xff";
    ASSERT_EQ(::close(::open(undecodable.constData(), O_CREAT | O_WRONLY, 0644)), 0);

    struct Row {
        const char* why;
        QByteArray path;
        int32_t expected;
        bool needsRoot = false;
    };
    const Row rows[] = {
        {"link to a folder inside", "C:\\Documents\\alias\\Deep.txt", EngineError::kBadName},
        {"link to a folder inside, itself", "C:\\Documents\\Alias\\", EngineError::kBadName},
        {"link to a file inside", "C:\\Documents\\ReportLink", EngineError::kBadName},
        {"link to a file outside", "C:\\Documents\\Secret", EngineError::kBadName},
        {"outside link reached without regard to case", "C:\\DOCUMENTS\\SECRET", EngineError::kBadName},
        {"link to a folder outside", "C:\\Documents\\Out\\secret.txt", EngineError::kBadName},
        {"new file behind an outside link", "C:\\Documents\\Out\\new.txt", EngineError::kBadName},
        {"dangling link as a new file", "C:\\Documents\\Dangling", EngineError::kBadName},
        {"drive that is a link", "D:\\Documents\\Report", EngineError::kBadName},
        {"named pipe", "C:\\Documents\\Pipe", EngineError::kAccessDenied},
        {"socket", "C:\\Documents\\socket", EngineError::kAccessDenied},
        {"device node", "C:\\Documents\\Zero", EngineError::kAccessDenied, true},
        {"pipe as a folder on the way", "C:\\Documents\\Pipe\\x", EngineError::kPathNotFound},
        {"file as a folder on the way", "C:\\Documents\\Report\\x", EngineError::kPathNotFound},
    };
    for (const bool openat2 : {true, false}) {
        UseOpenat2ForTesting(openat2);
        for (const Row& row : rows) {
            if (row.needsRoot && !asRoot)
                continue;
            SCOPED_TRACE(std::string(row.why) + (openat2 ? " (openat2)" : " (fallback)"));
            DeviceTarget target;
            EXPECT_EQ(Resolve(row.path, target), row.expected);
        }
        DeviceTarget target;
        ASSERT_EQ(Resolve("C:\\Documents\\UNDECODABLE\xef\xbf\xbd", target), 0);
        EXPECT_FALSE(target.exists) << "an undecodable name taken for a look-alike";
        ASSERT_EQ(Resolve("C:\\Documents\\sub\\", target), 0);
        EXPECT_TRUE(target.exists && target.isFolder);
    }
    UseOpenat2ForTesting(true);
    EXPECT_FALSE(unjammer.Unjam()) << "something waited on the pipe";
    EXPECT_TRUE(outside.Untouched());
}

// A file replaced by a pipe between the walk and the open is not waited on: the open goes
// through the walk's folder and looks at what it opens.
TEST_F(DevicePathTest, AFileSwappedForAPipeAfterTheWalkIsNotWaitedOn) {
    CFifoUnjammer unjammer;
    DeviceTarget target;
    ASSERT_EQ(Resolve("C:\\Documents\\Report", target), 0);
    const QString report = m_root + QStringLiteral("/C/Documents/Report");
    ASSERT_TRUE(QFile::remove(report));
    ASSERT_TRUE(HostileEntries::Fifo(report));
    unjammer.Watch(report);
    CUniqueFd fd;
    struct stat st {};
    EXPECT_EQ(target.folder.OpenFile(target.entry, fd, st), EngineError::kAccessDenied);
    EXPECT_FALSE(fd.IsValid());
    EXPECT_FALSE(unjammer.Unjam());
}

// The root must be a real folder: the simulator's "DeviceRoot" and a volume's registered folder
// are store values anybody may have written.
TEST_F(DevicePathTest, TheRootMustBeARealFolder) {
    const QString link = m_env.Root() + QStringLiteral("/current-device");
    ASSERT_TRUE(HostileEntries::Link(m_root, link));
    DeviceTarget target;
    const struct {
        const char* why;
        QString root;
    } refused[] = {
        {"a link", link},
        {"a link with a trailing slash", link + QStringLiteral("/")},
        {"a parent component", m_root + QStringLiteral("/C/..")},
        {"a current component", m_root + QStringLiteral("/./C")},
        {"relative", QStringLiteral("device")},
        {"a file", m_root + QStringLiteral("/C/Documents/Report")},
        {"missing", m_root + QStringLiteral("/absent")},
    };
    for (const auto& row : refused) {
        EXPECT_EQ(ResolveDevicePath(row.root, "C:\\Documents\\Report", target), EngineError::kNotReady) << row.why;
    }
    EXPECT_EQ(ResolveDevicePath(link, "C:\\..\\x", target), EngineError::kBadName) << "the path's form comes first";

    // Below a base folder, the root's folders are opened one by one, none through a link.
    m_env.MakeDir(QStringLiteral("volume/Dovetail/C/Documents"));
    ASSERT_TRUE(HostileEntries::Link(m_env.Root() + QStringLiteral("/volume/Dovetail"),
                                     m_env.Root() + QStringLiteral("/volume/Alias")));
    const struct {
        const char* why;
        QByteArray below;
        int32_t expected;
    } below[] = {
        {"plain folder", "Dovetail", 0},
        {"folder with a trailing slash", "Dovetail/", 0},
        {"link inside the volume", "Alias", EngineError::kNotReady},
        {"parent component", "Dovetail/../..", EngineError::kNotReady},
        {"missing folder", "Nothing", EngineError::kNotReady},
    };
    for (const auto& row : below) {
        DeviceRootPlace place;
        place.base = QFile::encodeName(m_env.Root() + QStringLiteral("/volume"));
        place.below = row.below;
        CDeviceDir root;
        EXPECT_EQ(OpenDeviceRoot(place, root), row.expected) << row.why;
    }

    // A root replaced between calls is seen at once: nothing is remembered between them.
    ASSERT_EQ(ResolveDevicePath(m_root, "C:\\Documents\\Report", target), 0);
    EXPECT_TRUE(target.exists);
    ASSERT_TRUE(QDir(m_root).rename(m_root, m_root + QStringLiteral("-moved")));
    ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/C")));
    EXPECT_EQ(ResolveDevicePath(m_root, "C:\\Documents\\Report", target), EngineError::kPathNotFound);
}

// Another file system mounted below the root is never entered: it may be anything.
TEST_F(DevicePathTest, AMountBelowTheRootIsNotEntered) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    const QString mounted = m_env.MakeDir(QStringLiteral("device/C/Documents/Mounted"));
    if (::mount("tmpfs", QFile::encodeName(mounted).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    m_env.WriteFile(QStringLiteral("device/C/Documents/Mounted/inside"), "x");
    for (const bool openat2 : {true, false}) {
        UseOpenat2ForTesting(openat2);
        DeviceTarget target;
        EXPECT_EQ(Resolve("C:\\Documents\\Mounted\\inside", target), EngineError::kBadName) << openat2;
        EXPECT_EQ(Resolve("C:\\Documents\\Mounted", target), EngineError::kBadName) << openat2;
    }
    UseOpenat2ForTesting(true);
    ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
}

TEST(FileSpecPathTest, AcceptsOnlyTerminatedUtf8) {
    FileSpec spec;
    QByteArray path;
    ASSERT_TRUE(MakeFileSpec(kLocationDevice, "C:\\Dokumente\\Ärger", spec));
    EXPECT_EQ(FileSpecPath(spec, path), 0);
    EXPECT_EQ(path, QByteArray("C:\\Dokumente\\Ärger"));

    ASSERT_TRUE(MakeFileSpec(kLocationDevice, "C:\\bad\xff\xfe", spec));
    EXPECT_EQ(FileSpecPath(spec, path), EngineError::kBadName);

    std::memset(spec.path, 'a', sizeof spec.path);
    EXPECT_EQ(FileSpecPath(spec, path), EngineError::kBadName);

    const std::string longest(261, 'x');
    EXPECT_TRUE(MakeFileSpec(kLocationPc, longest.c_str(), spec));
    EXPECT_FALSE(MakeFileSpec(kLocationPc, (longest + 'x').c_str(), spec));
    EXPECT_FALSE(MakeFileSpec(kLocationPc, nullptr, spec));
}

}  // namespace
