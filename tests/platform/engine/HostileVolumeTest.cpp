// SPDX-License-Identifier: GPL-3.0-or-later
// A stick that has been in other hands, reached through the volume engine: links at every
// level, pipes, sockets and device nodes, folders where files belong, odd and long names, and a
// volume that fails or fills up mid-copy. Whatever it holds, nothing outside the volume is read
// or written, no operation waits for ever, each ends with a code the run reports, and the next
// operation works as before.
#include "platform/engine/VolumeIdentity.h"
#include "tests/platform/engine/VolumeEngineFixture.h"
#include "tests/support/HostileEntries.h"

#include <QFileInfo>

#include <functional>
#include <thread>
#include <unistd.h>

namespace {

using namespace VolumeTesting;

class HostileVolumeTest : public VolumeEngineFixture {
protected:
    void SetUp() override {
        VolumeEngineFixture::SetUp();
        m_outside = m_env.MakeDir(u"outside"_s);
        m_sentinel.emplace(m_outside + u"/secret.txt"_s);
        WriteFile(m_pc + u"/source.txt"_s, "from the PC");
        WriteFile(m_pc + u"/dest.txt"_s, "the PC's own copy");
    }

    // Copies, each way, between the PC files above and the handheld path; the results.
    int32_t ToPc(IEpocEngine& engine, const QString& epoc) {
        return Copy(engine, Spec(kLocationDevice, epoc), Spec(kLocationPc, m_pc + u"/dest.txt"_s));
    }
    int32_t ToDevice(IEpocEngine& engine, const QString& epoc) {
        return Copy(engine, Spec(kLocationPc, m_pc + u"/source.txt"_s), Spec(kLocationDevice, epoc));
    }
    int32_t OpenOnly(IEpocEngine& engine, const QString& epoc) {
        RemoteFileInfo info;
        return Open(engine, epoc, info);
    }

    // The engine still works: a plain copy there and back.
    void ExpectStillWorking(IEpocEngine& engine, const QString& docs) {
        EXPECT_EQ(ToDevice(engine, u"C:\\Documents\\Plain"_s), 0);
        EXPECT_EQ(ReadAll(docs + u"/Plain"_s), QByteArray("from the PC"));
        EXPECT_EQ(ToPc(engine, u"C:\\Documents\\Plain"_s), 0);
        EXPECT_EQ(ReadAll(m_pc + u"/dest.txt"_s), QByteArray("from the PC"));
        WriteFile(m_pc + u"/dest.txt"_s, "the PC's own copy");
    }

    void SetRegisteredFolder(const QString& id, const QString& folder) {
        ASSERT_TRUE(CRegistry::Default().SetString(RegRoot::LocalMachine, VolumeConfig::VolumesKey() + u'\\' + id,
                                                   VolumeConfig::Folder(), folder));
    }

    QString m_outside;
    std::optional<CSentinel> m_sentinel;
};

TEST_F(HostileVolumeTest, EntriesThatAreNotPlainFilesAreRefused) {
    CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4, u"HOSTILE"_s, 16);
    MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/hostile"_s);
    ASSERT_FALSE(Adopt(stick.MountPoint() + u"/Dovetail"_s, u"alice"_s).isEmpty());
    const QString docs = stick.MountPoint() + u"/Dovetail/C/Documents"_s;
    WriteFile(docs + u"/Real"_s, "the stick's real document");
    WriteFile(docs + u"/Report"_s, "a file, not a folder");
    QDir().mkpath(docs + u"/Folder"_s);
    ASSERT_TRUE(HostileEntries::Fifo(docs + u"/Pipe"_s));
    ASSERT_TRUE(HostileEntries::Socket(docs + u"/Socket"_s));
    ASSERT_TRUE(HostileEntries::DeviceNode(docs + u"/Zero"_s));
    ASSERT_TRUE(HostileEntries::Link(m_sentinel->Path(), docs + u"/Secret"_s));
    ASSERT_TRUE(HostileEntries::Link(docs + u"/Real"_s, docs + u"/Alias"_s));
    ASSERT_TRUE(HostileEntries::Link(m_outside, docs + u"/Out"_s));
    WriteFile(docs + u"/Line\nBreak"_s, "a name with a line break");

    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);
    CFifoUnjammer unjammer;  // after the engine: released before the engine waits for its worker
    unjammer.Watch(docs + u"/Pipe"_s);

    struct Row {
        const char* why;
        QString path;
        int32_t open;
        int32_t toPc;
        int32_t toDevice;
    };
    const int32_t kRefused = EngineError::kBadName;
    const int32_t kDenied = EngineError::kAccessDenied;
    const Row rows[] = {
        {"named pipe as the document", u"C:\\Documents\\Pipe"_s, kDenied, kDenied, kDenied},
        {"socket as the document", u"C:\\Documents\\Socket"_s, kDenied, kDenied, kDenied},
        {"device node (endless zeros) as the document", u"C:\\Documents\\Zero"_s, kDenied, kDenied, kDenied},
        {"link to a PC file outside", u"C:\\Documents\\Secret"_s, kRefused, kRefused, kRefused},
        {"link reached without regard to case", u"c:\\documents\\SECRET"_s, kRefused, kRefused, kRefused},
        {"link to a document inside", u"C:\\Documents\\Alias"_s, kRefused, kRefused, kRefused},
        {"link to a PC folder outside", u"C:\\Documents\\Out\\secret.txt"_s, kRefused, kRefused, kRefused},
        {"new document behind that link", u"C:\\Documents\\Out\\new.txt"_s, kRefused, kRefused, kRefused},
        {"folder where a file belongs", u"C:\\Documents\\Folder"_s, 0, EngineError::kIsFolder, EngineError::kIsFolder},
        {"file where a folder belongs", u"C:\\Documents\\Report\\Inside"_s, EngineError::kPathNotFound,
         EngineError::kPathNotFound, EngineError::kPathNotFound},
        {"line break in the path", u"C:\\Documents\\Line\nBreak"_s, kRefused, kRefused, kRefused},
        {"the name without its line break is another", u"C:\\Documents\\Line"_s, EngineError::kNotFound,
         EngineError::kNotFound, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(OpenOnly(*engine, row.path), row.open);
        EXPECT_EQ(ToPc(*engine, row.path), row.toPc);
        EXPECT_EQ(ReadAll(m_pc + u"/dest.txt"_s), QByteArray("the PC's own copy"));
        EXPECT_EQ(ToDevice(*engine, row.path), row.toDevice);
    }

    // Nothing was followed, replaced, waited on or left behind.
    EXPECT_TRUE(m_sentinel->Untouched());
    EXPECT_EQ(QDir(m_outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"secret.txt"_s});
    EXPECT_EQ(ReadAll(docs + u"/Real"_s), QByteArray("the stick's real document"));
    EXPECT_TRUE(QFileInfo(docs + u"/Alias"_s).isSymLink());
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(docs + u"/Pipe"_s).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::lstat(QFile::encodeName(docs + u"/Zero"_s).constData(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_FALSE(unjammer.Unjam()) << "an operation waited on the pipe";
    EXPECT_EQ(Leftovers(docs, {u"Real"_s, u"Report"_s, u"Pipe"_s, u"Socket"_s, u"Zero"_s, u"Secret"_s, u"Alias"_s,
                               u"Out"_s, u"Line\nBreak"_s, u"Line"_s}),
              QStringList());
    ExpectStillWorking(*engine, docs);

    // The longest name a path can carry fits the temporary name as well.
    const QString longest = u"C:\\Documents\\"_s + QString(248, u'x');
    EXPECT_EQ(ToDevice(*engine, longest), 0);
    EXPECT_EQ(ToPc(*engine, longest), 0);
    EXPECT_EQ(ReadAll(m_pc + u"/dest.txt"_s), QByteArray("from the PC"));
}

// The registered folder is a store value anybody may have written: it must name a real folder
// on the volume, or the volume is no handheld at all.
TEST_F(HostileVolumeTest, TheRegisteredFolderMustBeARealFolderOnTheVolume) {
    CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4, u"FOLDERS"_s, 16);
    MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/folders"_s);
    const QString id = Adopt(stick.MountPoint() + u"/Dovetail"_s, u"alice"_s);
    ASSERT_FALSE(id.isEmpty());
    const QString volume = stick.MountPoint();
    QDir().mkpath(m_outside + u"/C/Documents"_s);
    ASSERT_TRUE(HostileEntries::Link(m_outside, volume + u"/Escape"_s));
    ASSERT_TRUE(HostileEntries::Link(volume + u"/Dovetail"_s, volume + u"/Alias"_s));
    QDir().mkpath(volume + u"/Outward"_s);
    ASSERT_TRUE(HostileEntries::Link(m_outside + u"/C"_s, volume + u"/Outward/C"_s));
    WriteFile(volume + u"/Plain.txt"_s, "a file");

    const struct {
        const char* why;
        QString folder;
        int32_t connect;
    } rows[] = {
        {"the adopted folder", u"/Dovetail"_s, 0},
        {"a parent component leading off the volume", u"/../../.."_s + m_outside, EngineError::kNotReady},
        {"a parent component inside", u"/Dovetail/../Dovetail"_s, EngineError::kNotReady},
        {"a link leading off the volume", u"/Escape"_s, EngineError::kNotReady},
        {"a link inside the volume", u"/Alias"_s, EngineError::kNotReady},
        {"a file", u"/Plain.txt"_s, EngineError::kNotReady},
        {"a folder whose drive is a link off the volume", u"/Outward"_s, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        SetRegisteredFolder(id, row.folder);
        auto engine = Start();
        ASSERT_TRUE(engine);
        Expect("Connected", row.connect);
        // Connected or not, nothing off the volume is reached.
        const bool adopted = row.folder == u"/Dovetail"_s;
        EXPECT_EQ(ToDevice(*engine, u"C:\\Documents\\new.txt"_s) == 0, adopted);
        EXPECT_EQ(OpenOnly(*engine, u"C:\\Documents"_s) == 0, adopted);
    }
    EXPECT_TRUE(m_sentinel->Untouched());
    EXPECT_EQ(QDir(m_outside + u"/C/Documents"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    SetRegisteredFolder(id, u"/Dovetail"_s);
    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);
    ExpectStillWorking(*engine, volume + u"/Dovetail/C/Documents"_s);
}

// A volume recognised by its marker: a pipe, link or oversized file in the marker's place is no
// marker, so the volume is simply not connected, at once.
TEST_F(HostileVolumeTest, AMarkerThatIsNoPlainFileIsNoMarker) {
    CLoopVolume stick(m_env.Root(), CLoopVolume::Kind::Ext4WithoutId, u"MARKED"_s, 16);
    MOUNT_OR_SKIP(stick, m_env.Root() + u"/media/marked"_s);
    const QString folder = stick.MountPoint() + u"/Dovetail"_s;
    ASSERT_FALSE(Adopt(folder, u"alice"_s).isEmpty());
    const QString marker = folder + u'/' + QLatin1String(kVolumeMarkerName);
    const QByteArray real = ReadAll(marker);
    ASSERT_TRUE(real.startsWith("dovetail-volume ")) << "not adopted by a marker";
    // A faithful copy of the marker, outside: reading it through a link would connect.
    CSentinel copy(m_outside + u"/marker-copy"_s, real);

    const struct {
        const char* why;
        std::function<bool()> plant;
    } rows[] = {
        {"named pipe", [&] { return HostileEntries::Fifo(marker); }},
        {"link to a copy outside", [&] { return HostileEntries::Link(copy.Path(), marker); }},
        {"link to a copy inside",
         [&] {
             WriteFile(folder + u"/copy"_s, real);
             return HostileEntries::Link(folder + u"/copy"_s, marker);
         }},
        {"oversized file",
         [&] {
             WriteFile(marker, real + QByteArray(8192, ' '));
             return true;
         }},
        {"folder", [&] { return QDir().mkdir(marker); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QFile::remove(marker);
        ASSERT_TRUE(row.plant());
        const auto started = std::chrono::steady_clock::now();
        auto engine = Start();
        ASSERT_TRUE(engine);
        CFifoUnjammer unjammer;
        unjammer.Watch(marker);
        Expect("Connected", EngineError::kNotReady);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        EXPECT_FALSE(unjammer.Unjam()) << "the engine waited on the marker";
        engine.reset();
        QDir().rmdir(marker);
    }
    EXPECT_TRUE(copy.Untouched());

    // The real marker back: the same handheld again.
    QFile::remove(marker);
    WriteFile(marker, real);
    auto engine = Start();
    ASSERT_TRUE(engine);
    Expect("Connected", 0);
}

// A stick that fails or fills up in the middle of a copy: a clear code, the old document whole,
// no temporary file, and the engine answering afterwards.
TEST_F(HostileVolumeTest, AVolumeThatFailsOrFillsUpMidCopy) {
    m_env.SetEnv("DOVETAIL_TEST_COPY_PAUSE_MS", u"40"_s);
    struct Row {
        const char* name;
        CLoopVolume::Kind kind;
        int megabytes;
        int sourceMegabytes;
        bool failMidway;  // goes read-only mid-copy, else fills up
        int32_t expected;
    };
    const Row rows[] = {
        {"ext4 going read-only", CLoopVolume::Kind::Ext4, 32, 12, true, EngineError::kAccessDenied},
        {"ext4 full", CLoopVolume::Kind::Ext4, 16, 24, false, EngineError::kDiskFull},
        {"FAT full", CLoopVolume::Kind::Fat, 4, 6, false, EngineError::kDiskFull},
    };
    QStringList skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CLoopVolume stick(m_env.Root(), row.kind, u"FAILING"_s, row.megabytes);
        ASSERT_TRUE(stick.Problem().isEmpty()) << stick.Problem().toStdString();
        if (!stick.Mount(m_env.Root() + u"/media/failing"_s)) {
            skipped.append(QLatin1String(row.name) + u": "_s + stick.Problem());
            continue;
        }
        const QString id = Adopt(stick.MountPoint(), u"alice"_s);
        ASSERT_FALSE(id.isEmpty());
        const QString docs = stick.MountPoint() + u"/C/Documents"_s;
        WriteFile(docs + u"/Big"_s, "old content");
        WriteFile(m_pc + u"/big.bin"_s, QByteArray(row.sourceMegabytes << 20, 'b'));

        auto engine = Start();
        ASSERT_TRUE(engine);
        Expect("Connected", 0);
        engine->CopyFile(Spec(kLocationPc, m_pc + u"/big.bin"_s), Spec(kLocationDevice, u"C:\\Documents\\Big"_s), 1);
        if (row.failMidway) {
            std::this_thread::sleep_for(150ms);  // 12 steps of 40 ms
            ASSERT_TRUE(stick.GoReadOnly());
        }
        Expect("CopyDone", row.expected, 30s);
        EXPECT_EQ(ReadAll(docs + u"/Big"_s), QByteArray("old content"));
        EXPECT_EQ(Leftovers(docs, {u"Big"_s}), QStringList());
        // Still answering: what is on the stick can be read.
        RemoteFileInfo info;
        EXPECT_EQ(Open(*engine, u"C:\\Documents\\Big"_s, info), 0);
        if (!row.failMidway)
            ExpectStillWorking(*engine, docs);
        engine.reset();
        ASSERT_TRUE(DtDevice({u"forget"_s, id}));
    }
    if (!skipped.isEmpty())
        GTEST_SKIP() << "not mountable here: " << skipped.join(u"; "_s).toStdString();
}

// Long names of wide characters: the temporary name is cut between characters and fits what
// each file system counts (bytes on ext4, UTF-16 units on FAT and exFAT).
TEST_F(HostileVolumeTest, LongNamesFitEveryFileSystem) {
    const QString odd = u"a"_s + QString(120, QChar(0x00E9));  // 241 bytes: a cut at 180 splits a character
    const QString beyond = u"a"_s + QString::fromUcs4(std::u32string(61, U'\U0001F600').data(), 61);
    struct Row {
        const char* name;
        CLoopVolume::Kind kind;
        QStringList names;
    };
    const Row rows[] = {
        {"ext4", CLoopVolume::Kind::Ext4, {QString(248, u'x'), odd, beyond}},
        {"exFAT", CLoopVolume::Kind::ExFat, {QString(248, u'x'), odd, beyond}},
        // fusefat takes no characters beyond ASCII.
        {"FAT", CLoopVolume::Kind::Fat, {QString(248, u'x')}},
    };
    QStringList skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CLoopVolume stick(m_env.Root(), row.kind, u"NAMES"_s, 16);
        ASSERT_TRUE(stick.Problem().isEmpty()) << stick.Problem().toStdString();
        if (!stick.Mount(m_env.Root() + u"/media/names"_s)) {
            skipped.append(QLatin1String(row.name) + u": "_s + stick.Problem());
            continue;
        }
        const QString id = Adopt(stick.MountPoint(), u"alice"_s);
        ASSERT_FALSE(id.isEmpty());
        auto engine = Start();
        ASSERT_TRUE(engine);
        Expect("Connected", 0);
        const QString docs = stick.MountPoint() + u"/C/Documents"_s;
        for (const QString& name : row.names) {
            SCOPED_TRACE(name.toStdString());
            ASSERT_LE((u"C:\\Documents\\"_s + name).toUtf8().size(), 261);
            EXPECT_EQ(ToDevice(*engine, u"C:\\Documents\\"_s + name), 0);
            EXPECT_EQ(ReadAll(docs + u'/' + name), QByteArray("from the PC"));
            EXPECT_EQ(ToPc(*engine, u"C:\\Documents\\"_s + name), 0);
            EXPECT_EQ(ReadAll(m_pc + u"/dest.txt"_s), QByteArray("from the PC"));
        }
        EXPECT_EQ(Leftovers(docs, row.names), QStringList());
        engine.reset();
        ASSERT_TRUE(DtDevice({u"forget"_s, id}));
    }
    if (!skipped.isEmpty())
        GTEST_SKIP() << "not mountable here: " << skipped.join(u"; "_s).toStdString();
}

}  // namespace
