// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "platform/registry/Registry.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/LoopVolume.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun DtDevice(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(BinDir() + u"/dtdevice"_s, args);
    ToolRun run;
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
        run.exitCode = p.exitCode();
    run.output = QString::fromUtf8(p.readAll());
    return run;
}

class DeviceToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        CRegistry::Default().SetString(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\alice\\PCDirectory"_s, QString(),
                                       m_env.MakeDir(u"pc"_s) + u'/');
    }
    static std::vector<AdoptedVolume> Adopted() {
        std::vector<AdoptedVolume> volumes;
        EXPECT_TRUE(ReadAdoptedVolumes(volumes));
        return volumes;
    }

    CTempEnv m_env;
};

TEST_F(DeviceToolTest, RefusesWhatCannotBeAHandheld) {
    const QString plainFile = m_env.WriteFile(u"file.txt"_s, "x");
    struct Row {
        const char* name;
        QStringList args;
        int exitCode;
        QString says;
    };
    const Row rows[] = {
        {"no command", {}, 2, u"no command given"_s},
        {"unknown command", {u"plug"_s}, 2, u"unknown command \"plug\""_s},
        {"adopt without owner", {u"adopt"_s, m_env.Root()}, 2, u"adopt needs --owner USER"_s},
        {"adopt without folder", {u"adopt"_s, u"--owner"_s, u"alice"_s}, 2, u"adopt needs a FOLDER"_s},
        {"two folders", {u"adopt"_s, u"/a"_s, u"/b"_s, u"--owner"_s, u"alice"_s}, 2, u"unexpected argument \"/b\""_s},
        {"unknown user",
         {u"adopt"_s, m_env.Root(), u"--owner"_s, u"zoe"_s},
         1,
         u"no user \"zoe\" is known; the users are: alice"_s},
        {"missing folder",
         {u"adopt"_s, m_env.Root() + u"/nowhere/deeper"_s, u"--owner"_s, u"alice"_s},
         1,
         u"the folder "_s + m_env.Root() + u"/nowhere does not exist"_s},
        {"new folder off the volumes",
         {u"adopt"_s, m_env.Root() + u"/new"_s, u"--owner"_s, u"alice"_s},
         1,
         u"not on a removable volume"_s},
        {"a file", {u"adopt"_s, plainFile, u"--owner"_s, u"alice"_s}, 1, u"is not a folder"_s},
        {"memory file system",
         {u"adopt"_s, u"/dev/shm"_s, u"--owner"_s, u"alice"_s},
         1,
         u"is on a tmpfs file system, not on a removable or identifiable volume"_s},
        {"kernel interface",
         {u"adopt"_s, u"/proc"_s, u"--owner"_s, u"alice"_s},
         1,
         u"not on a removable or identifiable volume"_s},
        {"system's own disk",
         {u"adopt"_s, u"/"_s, u"--owner"_s, u"alice"_s},
         1,
         u"is on the system's own file system, not on a removable volume"_s},
        {"forget unknown", {u"forget"_s, u"1-2"_s}, 1, u"no adopted volume has the id \"1-2\""_s},
        {"use what", {u"use"_s, u"floppy"_s}, 2, u"expected \"use volume\" or \"use simulator\""_s},
    };
    for (const Row& row : rows) {
        const ToolRun run = DtDevice(row.args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.name << ": " << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(row.says)) << row.name << ": " << run.output.toStdString();
    }
    EXPECT_TRUE(Adopted().empty());
    EXPECT_FALSE(UsesVolumeEngine());
}

TEST_F(DeviceToolTest, AdoptListForgetAndAdoptAgain) {
    struct Row {
        const char* name;
        CLoopVolume::Kind kind;
    };
    QStringList skipped;
    for (const Row& row : {Row{"ext4", CLoopVolume::Kind::Ext4}, Row{"FAT", CLoopVolume::Kind::Fat}}) {
        SCOPED_TRACE(row.name);
        CLoopVolume volume(m_env.Root(), row.kind, u"TRAVEL"_s);
        ASSERT_TRUE(volume.Problem().isEmpty()) << volume.Problem().toStdString();
        if (!volume.Mount(m_env.Root() + u"/media/travel"_s)) {
            skipped.append(QLatin1String(row.name) + u": "_s + volume.Problem());
            continue;
        }
        const QString folder = volume.MountPoint() + u"/My Documents"_s;  // made by adopting
        ToolRun run = DtDevice({u"adopt"_s, folder, u"--owner"_s, u"alice"_s});
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        ASSERT_EQ(Adopted().size(), 1u);
        const AdoptedVolume adopted = Adopted().front();
        EXPECT_EQ(adopted.owner, u"alice"_s);
        EXPECT_EQ(adopted.folder, u"/My Documents"_s);
        EXPECT_TRUE(QFileInfo(folder + u"/C/Documents"_s).isDir());
        EXPECT_TRUE(UsesVolumeEngine());
        EXPECT_TRUE(CRegistry::Default().KeyExists(RegRoot::CurrentUser,
                                                   u"Software\\Veroz\\Users\\alice\\Machines\\"_s + adopted.id));
        // Volumes whose file system has no identity here (FAT through FUSE) carry a marker.
        const bool marker = adopted.identity.startsWith(u"marker:"_s);
        EXPECT_EQ(QFile::exists(folder + u'/' + QLatin1String(kVolumeMarkerName)), marker);
        if (row.kind == CLoopVolume::Kind::Ext4) {
            EXPECT_TRUE(adopted.identity.startsWith(u"uuid:"_s)) << adopted.identity.toStdString();
        }

        // Once per volume, whichever folder on it.
        QDir().mkpath(volume.MountPoint() + u"/other"_s);
        run = DtDevice({u"adopt"_s, volume.MountPoint() + u"/other"_s, u"--owner"_s, u"alice"_s});
        EXPECT_EQ(run.exitCode, marker ? 0 : 1) << run.output.toStdString();
        if (!marker) {
            EXPECT_TRUE(run.output.contains(u"already adopted as "_s + adopted.id)) << run.output.toStdString();
        } else {
            // A marker names a folder, not the whole volume: a second folder is a second handheld.
            ASSERT_EQ(Adopted().size(), 2u);
            for (const AdoptedVolume& v : Adopted()) {
                if (v.id != adopted.id) {
                    ASSERT_EQ(DtDevice({u"forget"_s, v.id}).exitCode, 0);
                }
            }
        }
        run = DtDevice({u"adopt"_s, folder, u"--owner"_s, u"alice"_s});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.output.contains(u"already adopted"_s)) << run.output.toStdString();

        run = DtDevice({u"list"_s});
        EXPECT_TRUE(run.output.contains(adopted.id + u"  owner alice"_s)) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(u"connected, at "_s + folder)) << run.output.toStdString();
        ASSERT_TRUE(volume.Unmount());
        run = DtDevice({u"list"_s});
        EXPECT_TRUE(run.output.contains(u"not connected"_s)) << run.output.toStdString();

        // Forgetting keeps the files; adopting again gives the same handheld.
        run = DtDevice({u"forget"_s, adopted.id.toLower()});
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_TRUE(Adopted().empty());
        EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser,
                                                    u"Software\\Veroz\\Users\\alice\\Machines\\"_s + adopted.id));
        ASSERT_TRUE(volume.Mount(m_env.Root() + u"/media/again"_s));
        EXPECT_TRUE(QFileInfo(volume.MountPoint() + u"/My Documents/C/Documents"_s).isDir());
        run = DtDevice({u"adopt"_s, volume.MountPoint() + u"/My Documents"_s, u"--owner"_s, u"alice"_s});
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_EQ(Adopted().front().id, adopted.id);
        ASSERT_EQ(DtDevice({u"forget"_s, adopted.id}).exitCode, 0);
    }
    EXPECT_EQ(DtDevice({u"use"_s, u"simulator"_s}).exitCode, 0);
    EXPECT_FALSE(UsesVolumeEngine());
    if (!skipped.isEmpty())
        GTEST_SKIP() << "not mountable here: " << skipped.join(u"; "_s).toStdString();
}

// A stick from other hands: adopting must never follow a link on it, nor wait on a pipe, and
// says what is in the way. Nothing off the volume is written, nothing is adopted, and once the
// junk is gone adopting works.
TEST_F(DeviceToolTest, AdoptingNeverFollowsLinksOnTheVolume) {
    CLoopVolume volume(m_env.Root(), CLoopVolume::Kind::Ext4WithoutId, u"PRANK"_s, 16);
    ASSERT_TRUE(volume.Problem().isEmpty()) << volume.Problem().toStdString();
    if (!volume.Mount(m_env.Root() + u"/media/prank"_s))
        GTEST_SKIP() << "cannot mount here: " << volume.Problem().toStdString();
    const QString stick = volume.MountPoint();
    const QString outside = m_env.MakeDir(u"outside"_s);
    CSentinel document(outside + u"/letter.txt"_s);
    const QString marker = QLatin1String(kVolumeMarkerName);
    CFifoUnjammer unjammer;

    struct Row {
        const char* name;
        QString folder;  // given to adopt
        std::function<bool()> plant;
        QString says;
    };
    const QString isALink = u" is a link; dtdevice never follows links on a volume"_s;
    const Row rows[] = {
        {"marker that is a named pipe", stick + u"/pipe"_s,
         [&] {
             unjammer.Watch(stick + u"/pipe/"_s + marker);
             return QDir().mkdir(stick + u"/pipe"_s) && HostileEntries::Fifo(stick + u"/pipe/"_s + marker);
         },
         u"something that is not a marker is in its place"_s},
        {"marker that is a link to a PC document", stick + u"/marked"_s,
         [&] {
             return QDir().mkdir(stick + u"/marked"_s) &&
                    HostileEntries::Link(document.Path(), stick + u"/marked/"_s + marker);
         },
         u"something that is not a marker is in its place"_s},
        {"drive folder that is a link to a PC folder", stick + u"/drive"_s,
         [&] { return QDir().mkdir(stick + u"/drive"_s) && HostileEntries::Link(outside, stick + u"/drive/C"_s); },
         stick + u"/drive/C"_s + isALink},
        {"documents folder that is a link to a PC folder", stick + u"/docs"_s,
         [&] {
             return QDir().mkpath(stick + u"/docs/C"_s) &&
                    HostileEntries::Link(outside, stick + u"/docs/C/Documents"_s);
         },
         stick + u"/docs/C/Documents"_s + isALink},
        {"drive folder that is a file", stick + u"/file"_s,
         [&] {
             m_env.WriteFile(u"media/prank/file/C"_s, "x");
             return true;
         },
         stick + u"/file/C is not a folder"_s},
        {"the folder itself a link on the volume", stick + u"/alias"_s,
         [&] {
             return QDir().mkdir(stick + u"/real"_s) && HostileEntries::Link(stick + u"/real"_s, stick + u"/alias"_s);
         },
         stick + u"/alias"_s + isALink},
        {"a new folder whose parent is a link on the volume", stick + u"/parent/new"_s,
         [&] { return HostileEntries::Link(stick + u"/real"_s, stick + u"/parent"_s); },
         stick + u"/parent"_s + isALink},
        {"a new folder whose parent is a link off the volume", stick + u"/away/new"_s,
         [&] { return HostileEntries::Link(outside, stick + u"/away"_s); }, u"not on a removable volume"_s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.plant());
        const auto started = std::chrono::steady_clock::now();
        const ToolRun run = DtDevice({u"adopt"_s, row.folder, u"--owner"_s, u"alice"_s});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(row.says)) << run.output.toStdString();
    }
    EXPECT_FALSE(unjammer.Unjam()) << "dtdevice waited on the pipe";
    EXPECT_TRUE(document.Untouched());
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"letter.txt"_s});
    EXPECT_FALSE(QFileInfo::exists(stick + u"/real/new"_s));
    EXPECT_TRUE(Adopted().empty());

    // The junk removed, the same folders adopt as any other.
    QFile::remove(stick + u"/pipe/"_s + marker);
    const ToolRun run = DtDevice({u"adopt"_s, stick + u"/pipe"_s, u"--owner"_s, u"alice"_s});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(stick + u"/pipe/"_s + marker).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_TRUE(QFileInfo(stick + u"/pipe/C/Documents"_s).isDir());
    ASSERT_EQ(Adopted().size(), 1u);
    EXPECT_TRUE(Adopted().front().identity.startsWith(u"marker:"_s));
}

}  // namespace
