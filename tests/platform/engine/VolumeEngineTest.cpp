// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/VolumeEngine.h"

#include "platform/engine/EngineObjects.h"
#include "platform/engine/MountTable.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "platform/registry/Registry.h"
#include "tests/platform/engine/EventRecorder.h"
#include "tests/platform/engine/VolumeEngineFixture.h"
#include "tests/support/LoopVolume.h"
#include "tests/support/TempEnv.h"

#include <atomic>
#include <sys/mount.h>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

TEST(MountTableTest, ParsesMountInfoLines) {
    const QByteArray text =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "45 27 7:0 / /media/my\\040stick rw,nosuid shared:12 master:3 - vfat /dev/loop0 rw\n"
        "46 27 0:40 /Phone /run/user/1000/mtp rw - fuse.jmtpfs jmtpfs rw\n"
        "garbage line\n"
        "47 27 x:y / /bad rw - ext4 /dev/sdz rw\n";
    const std::vector<MountEntry> table = ParseMountInfo(text);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[2].id, 45);
    EXPECT_EQ(table[2].major, 7u);
    EXPECT_EQ(table[2].mountPoint, QByteArray("/media/my stick"));
    EXPECT_EQ(table[2].fsType, QByteArray("vfat"));
    EXPECT_EQ(table[2].source, QByteArray("/dev/loop0"));
    EXPECT_EQ(table[3].root, QByteArray("/Phone"));
    EXPECT_EQ(table[3].fsType, QByteArray("fuse.jmtpfs"));

    // Paths map between the PC and the file system's own folders through the mount.
    struct Row {
        const char* name;
        int entry;
        QByteArray folderInFs;
        QByteArray host;
    };
    const Row rows[] = {
        {"volume root", 2, "/", "/media/my stick"},
        {"folder on the volume", 2, "/Dovetail", "/media/my stick/Dovetail"},
        {"sub-folder mounted", 3, "/Phone/Docs", "/run/user/1000/mtp/Docs"},
        {"folder outside the mounted part", 3, "/Other", ""},
        {"root file system", 1, "/srv", "/srv"},
    };
    for (const Row& row : rows) {
        const MountEntry& mount = table[std::size_t(row.entry)];
        EXPECT_EQ(HostPathOf(mount, row.folderInFs), row.host) << row.name;
        if (!row.host.isEmpty()) {
            EXPECT_EQ(FolderInFsOf(mount, row.host), row.folderInFs) << row.name;
        }
    }
    EXPECT_EQ(MountOfPath(table, "/media/my stick/Dovetail/C")->id, 45);
    EXPECT_EQ(MountOfPath(table, "/media/my sticky")->id, 27);  // a prefix of a name is not a folder
    EXPECT_EQ(MountOfPath(table, "/proc/self")->id, 22);
}

// A network server that is down blocks whoever opens its mount: the handheld is looked for only
// on mounts whose type could hold one, so no other mount is ever opened.
TEST(VolumeLocatorTest, LooksOnlyAtMountsThatMayHoldAHandheld) {
    CTempEnv env;
    const QString folder = env.MakeDir(u"stick"_s);
    const QByteArray canonical = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    {
        const CUniqueFd dir(::open(canonical.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        ASSERT_FALSE(WriteVolumeMarker(dir.Get()).isEmpty());
    }
    CMountTable mounts;
    std::vector<MountEntry> table;
    ASSERT_TRUE(mounts.Read(table));
    const MountEntry* real = MountOfPath(table, canonical);
    ASSERT_NE(real, nullptr);
    const CUniqueFd dir(::open(canonical.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    AdoptedVolume volume;
    volume.identity = ReadVolumeMarker(dir.Get());
    volume.folder = QFile::decodeName(FolderInFsOf(*real, canonical));
    for (const char* type : {"nfs4", "cifs", "smb3", "fuse.sshfs", "9p", "ceph", "proc", ""}) {
        MountEntry mount = *real;
        mount.fsType = type;
        const bool candidate = IsCandidateFileSystem(mount.fsType);
        if (mount.fsType.isEmpty()) {
            mount.fsType = real->fsType;
            if (!IsCandidateFileSystem(mount.fsType))
                continue;  // the temporary folder itself is on no volume one could carry
        }
        SCOPED_TRACE(mount.fsType.constData());
        EXPECT_EQ(candidate, QByteArray(type).isEmpty());
        EXPECT_EQ(CVolumeLocator().Locate(volume, {mount}).has_value(), candidate);
    }
}

TEST(MachineIdTest, StableAndDistinctPerIdentity) {
    uint32_t high1 = 0, low1 = 0, high2 = 0, low2 = 0, high3 = 0, low3 = 0;
    MachineIdForIdentity(u"uuid:1234-ABCD"_s, high1, low1);
    MachineIdForIdentity(u"uuid:1234-ABCD"_s, high2, low2);
    MachineIdForIdentity(u"uuid:1234-ABCE"_s, high3, low3);
    EXPECT_EQ(high1, high2);
    EXPECT_EQ(low1, low2);
    EXPECT_TRUE(high1 != high3 || low1 != low3);
    EXPECT_EQ(MachineIdText(0xA2B, 0xFF), u"A2B-FF"_s);
}

using namespace VolumeTesting;
using VolumeEngineTest = VolumeEngineFixture;

TEST_F(VolumeEngineTest, FollowsPlugAndReplugOnAnotherMountPoint) {
    CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4, u"STICK"_s);
    MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/one"_s);
    const QString id = Adopt(stick.MountPoint() + u"/Dovetail"_s, u"alice"_s);
    ASSERT_FALSE(id.isEmpty());

    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);
    EXPECT_EQ(MachineOf(*engine), id);

    WriteFile(m_pc + u"/report.txt"_s, "quarterly figures");
    EXPECT_EQ(
        Copy(*engine, Spec(kLocationPc, m_pc + u"/report.txt"_s), Spec(kLocationDevice, u"C:\\Documents\\Report"_s)),
        0);
    EXPECT_EQ(ReadAll(stick.MountPoint() + u"/Dovetail/C/Documents/Report"_s), QByteArray("quarterly figures"));

    ASSERT_TRUE(stick.Unmount());
    Expect("Disconnected", 0);
    RemoteFileInfo info;
    EXPECT_EQ(Open(*engine, u"C:\\Documents\\Report"_s, info), EngineError::kNotReady);

    // The same stick on another mount point is the same handheld, with the same files.
    ASSERT_TRUE(stick.Mount(m_env.Root() + u"/media/two"_s)) << stick.Problem().toStdString();
    Expect("Connected", 0);
    EXPECT_EQ(MachineOf(*engine), id);
    ASSERT_EQ(Open(*engine, u"c:\\documents\\REPORT"_s, info), 0);
    EXPECT_STREQ(info.Name(), "Report");
    EXPECT_EQ(
        Copy(*engine, Spec(kLocationDevice, u"C:\\Documents\\Report"_s), Spec(kLocationPc, m_pc + u"/back.txt"_s)), 0);
    EXPECT_EQ(ReadAll(m_pc + u"/back.txt"_s), QByteArray("quarterly figures"));

    // A stick that is mounted but not adopted is no handheld.
    CLoopVolume other(m_env.Root(), CLoopVolume::Kind::Ext4, u"OTHER"_s);
    ASSERT_TRUE(other.Mount(m_env.Root() + u"/media/three"_s));
    ASSERT_TRUE(stick.Unmount());
    Expect("Disconnected", 0);
    EXPECT_FALSE(m_events.Next(300ms)) << "an unadopted volume must not connect";
}

// Making the copies durable answers for the names given since the last time: a volume pulled
// before that cannot be answered for.
TEST_F(VolumeEngineTest, MakesCopiesDurableOnlyWhileTheirVolumeIsThere) {
    CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4, u"DURABLE"_s);
    MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/durable"_s);
    ASSERT_FALSE(Adopt(stick.MountPoint() + u"/Dovetail"_s, u"alice"_s).isEmpty());
    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);
    WriteFile(m_pc + u"/a.txt"_s, "first");
    const struct {
        const char* why;
        std::function<void()> before;
        int32_t expected;
    } rows[] = {
        {"a copy to the handheld",
         [&] {
             EXPECT_EQ(
                 Copy(*engine, Spec(kLocationPc, m_pc + u"/a.txt"_s), Spec(kLocationDevice, u"C:\\Documents\\A"_s)), 0);
         },
         0},
        {"nothing copied since", [] {}, 0},
        {"a copy to the PC",
         [&] {
             EXPECT_EQ(
                 Copy(*engine, Spec(kLocationDevice, u"C:\\Documents\\A"_s), Spec(kLocationPc, m_pc + u"/b.txt"_s)), 0);
         },
         0},
        {"the stick pulled after a copy",
         [&] {
             EXPECT_EQ(
                 Copy(*engine, Spec(kLocationPc, m_pc + u"/a.txt"_s), Spec(kLocationDevice, u"C:\\Documents\\C"_s)), 0);
             ASSERT_TRUE(stick.Unmount());
             Expect("Disconnected", 0);
         },
         EngineError::kNotReady},
        {"and nothing left to answer for", [] {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        row.before();
        engine->MakeCopiesDurable();
        Expect("CopiesDurable", row.expected);
    }
}

// Other volumes coming and going (a desktop's, or other tests') change the mount table all
// the time: the handheld stays connected through it, and copies to it go on.
TEST_F(VolumeEngineTest, OtherMountsComingAndGoingLeaveTheHandheldConnected) {
    for (const CLoopVolume::Kind kind : {CLoopVolume::Kind::Ext4, CLoopVolume::Kind::Fat}) {
        SCOPED_TRACE(kind == CLoopVolume::Kind::Fat ? "FAT" : "ext4");
        CLoopVolume stick(m_env.Root(), kind, u"STEADY"_s, 16);
        MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/steady"_s);
        ASSERT_FALSE(Adopt(stick.MountPoint() + u"/Dovetail"_s, u"alice"_s).isEmpty());
        auto engine = Start();
        ASSERT_TRUE(engine);
        Expect("Connected", 0);

        const QByteArray churn = QFile::encodeName(m_env.MakeDir(u"churn"_s));
        std::atomic<bool> stop = false;
        std::atomic<int> mounts = 0;
        std::thread other([&] {
            while (!stop && ::mount("none", churn.constData(), "tmpfs", 0, nullptr) == 0) {
                ::umount(churn.constData());
                ++mounts;
            }
        });
        WriteFile(m_pc + u"/a.txt"_s, "steady");
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(
                Copy(*engine, Spec(kLocationPc, m_pc + u"/a.txt"_s), Spec(kLocationDevice, u"C:\\Documents\\A"_s)), 0);
        }
        std::this_thread::sleep_for(500ms);
        stop = true;
        other.join();
        if (mounts == 0)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        EXPECT_FALSE(m_events.Next(0ms)) << "the handheld seemed to go while " << mounts
                                         << " other mounts came and went";
        engine.reset();
        while (m_events.Next(0ms)) {
        }
    }
}

// A volume can appear in the mount table before it can be recognised (a FUSE daemon still
// starting): the engine looks again for a while instead of waiting for the next change.
TEST_F(VolumeEngineTest, RecognisesAVolumeThatSettlesAfterItsMount) {
    CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4WithoutId, u"SLOW"_s, 16);
    MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/slow"_s);
    const QString folder = stick.MountPoint() + u"/Dovetail"_s;
    ASSERT_FALSE(Adopt(folder, u"alice"_s).isEmpty());
    const QString marker = folder + u'/' + QLatin1String(kVolumeMarkerName);
    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);

    ASSERT_TRUE(QFile::rename(marker, marker + u".aside"_s));
    ASSERT_TRUE(stick.Unmount());
    Expect("Disconnected", 0);
    ASSERT_TRUE(stick.Mount(m_env.Root() + u"/media/slow"_s)) << stick.Problem().toStdString();
    EXPECT_FALSE(m_events.Next(150ms)) << "a volume without its marker is no handheld";
    ASSERT_TRUE(QFile::rename(marker + u".aside"_s, marker));
    Expect("Connected", 0, 3s);
}

TEST_F(VolumeEngineTest, UnplugMidCopyLeavesBothSidesAsTheyWere) {
    m_env.SetEnv("DOVETAIL_TEST_COPY_PAUSE_MS", u"40"_s);
    struct Row {
        const char* name;
        bool toDevice;
    };
    for (const Row& row : {Row{"PC to handheld", true}, Row{"handheld to PC", false}}) {
        SCOPED_TRACE(row.name);
        CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4, u"BIG"_s, 96);
        MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/big"_s);
        const QString docs = stick.MountPoint() + u"/Dovetail/C/Documents"_s;
        ASSERT_FALSE(Adopt(stick.MountPoint() + u"/Dovetail"_s, u"alice"_s).isEmpty());
        const QByteArray big(40 << 20, 'x');
        const QString pcFile = m_pc + u"/big.bin"_s;
        const QString deviceFile = docs + u"/Big"_s;
        WriteFile(row.toDevice ? pcFile : deviceFile, big);
        WriteFile(row.toDevice ? deviceFile : pcFile, "old content");

        auto engine = Start();
        ASSERT_TRUE(engine);
        Expect("Connected", 0);
        const FileSpec pc = Spec(kLocationPc, pcFile);
        const FileSpec device = Spec(kLocationDevice, u"C:\\Documents\\Big"_s);
        engine->CopyFile(row.toDevice ? pc : device, row.toDevice ? device : pc, 1);
        std::this_thread::sleep_for(300ms);  // the copy takes 40 steps of 40 ms
        ASSERT_TRUE(stick.Unmount());
        Expect("CopyDone", EngineError::kNotReady, 30s);
        Expect("Disconnected", 0);

        ASSERT_TRUE(stick.Mount(m_env.Root() + u"/media/big"_s));
        Expect("Connected", 0);
        EXPECT_EQ(ReadAll(row.toDevice ? deviceFile : pcFile), QByteArray("old content"));
        EXPECT_EQ(Leftovers(docs, {u"Big"_s}), QStringList());
        EXPECT_EQ(Leftovers(m_pc, {u"big.bin"_s}), QStringList());
        engine.reset();
        std::vector<AdoptedVolume> volumes;
        ReadAdoptedVolumes(volumes);
        for (const AdoptedVolume& v : volumes)
            ASSERT_TRUE(DtDevice({u"forget"_s, v.id}));
    }
}

TEST_F(VolumeEngineTest, TwoVolumesWithDifferentOwners) {
    CLoopVolume first(m_env.Root(), CLoopVolume::Kind::Ext4, u"ALICE"_s);
    CLoopVolume second(m_env.Root(), CLoopVolume::Kind::Ext4, u"BOB"_s);
    MOUNT_OR_SKIP(first, m_env.Root() + u"/media/a"_s);
    MOUNT_OR_SKIP(second, m_env.Root() + u"/media/b"_s);
    const QString alices = Adopt(first.MountPoint(), u"alice"_s);
    const QString bobs = Adopt(second.MountPoint() + u"/sync"_s, u"bob"_s);
    ASSERT_FALSE(alices.isEmpty());
    ASSERT_FALSE(bobs.isEmpty());
    EXPECT_NE(alices, bobs);
    EXPECT_TRUE(
        CRegistry::Default().KeyExists(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\alice\\Machines\\"_s + alices));
    EXPECT_TRUE(
        CRegistry::Default().KeyExists(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\bob\\Machines\\"_s + bobs));

    // The volume mounted first is the handheld while it stays.
    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);
    EXPECT_EQ(MachineOf(*engine), alices);
    ASSERT_TRUE(first.Unmount());
    Expect("Disconnected", 0);
    Expect("Connected", 0);
    EXPECT_EQ(MachineOf(*engine), bobs);
    ASSERT_TRUE(second.Unmount());
    Expect("Disconnected", 0);
    ASSERT_TRUE(first.Mount(m_env.Root() + u"/media/a"_s));
    Expect("Connected", 0);
    EXPECT_EQ(MachineOf(*engine), alices);

    // Within a run's session the engine stays with its handheld: with it pulled, the other
    // stick never takes its place, and nothing meant for the one is written to the other.
    ASSERT_TRUE(second.Mount(m_env.Root() + u"/media/b"_s));
    engine->BeginSession();
    Expect("SessionReady", 0);
    ASSERT_TRUE(first.Unmount());
    Expect("Disconnected", 0);
    EXPECT_FALSE(m_events.Next(500ms)) << "another handheld connected within the session";
    WriteFile(m_pc + u"/a.txt"_s, "alice's");
    EXPECT_EQ(Copy(*engine, Spec(kLocationPc, m_pc + u"/a.txt"_s), Spec(kLocationDevice, u"C:\\Documents\\A"_s)),
              EngineError::kNotReady);
    EXPECT_FALSE(QFileInfo::exists(second.MountPoint() + u"/sync/C/Documents/A"_s));
}

// What people carry: names without regard to case, coarse times, no unnamed files.
TEST_F(VolumeEngineTest, FileSystemsPeopleCarry) {
    struct Row {
        const char* name;
        CLoopVolume::Kind kind;
        int timeStepSeconds;  // what the file system keeps of a modification time
    };
    const Row rows[] = {{"ext4", CLoopVolume::Kind::Ext4, 0},
                        {"FAT", CLoopVolume::Kind::Fat, 2},
                        {"exFAT", CLoopVolume::Kind::ExFat, 2}};
    QStringList skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CLoopVolume volume(m_env.Root(), row.kind, u"CARRY"_s);
        ASSERT_TRUE(volume.Problem().isEmpty()) << volume.Problem().toStdString();
        if (!volume.Mount(m_env.Root() + u"/media/carry"_s)) {
            skipped.append(QLatin1String(row.name) + u": "_s + volume.Problem());
            continue;
        }
        const QString id = Adopt(volume.MountPoint(), u"alice"_s);
        ASSERT_FALSE(id.isEmpty());
        auto engine = Start();
        ASSERT_TRUE(engine);
        Expect("Connected", 0);

        // An odd second and a fraction: FAT keeps the even second below it.
        const time_t base = time(nullptr) - 1000;
        const struct timespec modified { base | 1, 700000000 };
        WriteFile(m_pc + u"/notes.txt"_s, "notes", modified);
        ASSERT_EQ(
            Copy(*engine, Spec(kLocationPc, m_pc + u"/notes.txt"_s), Spec(kLocationDevice, u"C:\\Documents\\Notes"_s)),
            0);
        WriteFile(m_pc + u"/notes.txt"_s, "newer notes", modified);
        ASSERT_EQ(
            Copy(*engine, Spec(kLocationPc, m_pc + u"/notes.txt"_s), Spec(kLocationDevice, u"c:\\DOCUMENTS\\notes"_s)),
            0);
        const QString docs = volume.MountPoint() + u"/C/Documents"_s;
        EXPECT_EQ(QDir(docs).entryList(QDir::Files | QDir::Hidden), QStringList{u"Notes"_s});
        EXPECT_EQ(ReadAll(docs + u"/Notes"_s), QByteArray("newer notes"));

        RemoteFileInfo info;
        ASSERT_EQ(Open(*engine, u"C:\\Documents\\NOTES"_s, info), 0);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(docs + u"/Notes"_s).constData(), &st), 0);
        EXPECT_EQ(info.LocalFileTime(), LocalFileTime(st.st_mtim));
        if (row.timeStepSeconds == 0) {
            EXPECT_EQ(st.st_mtim.tv_sec, modified.tv_sec);
        } else {
            // Never later than the PC's time and less than the step earlier.
            EXPECT_LE(st.st_mtime, modified.tv_sec);
            EXPECT_GT(st.st_mtime, modified.tv_sec - row.timeStepSeconds);
        }

        EXPECT_EQ(
            Copy(*engine, Spec(kLocationDevice, u"C:\\Documents\\notes"_s), Spec(kLocationPc, m_pc + u"/back.txt"_s)),
            0);
        EXPECT_EQ(ReadAll(m_pc + u"/back.txt"_s), QByteArray("newer notes"));
        engine.reset();
        ASSERT_TRUE(DtDevice({u"forget"_s, id}));
    }
    if (!skipped.isEmpty())
        GTEST_SKIP() << "not mountable here: " << skipped.join(u"; "_s).toStdString();
}

}  // namespace
