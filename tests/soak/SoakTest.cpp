// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "tests/soak/SoakSupport.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <signal.h>

using namespace Qt::StringLiterals;

namespace {

const QString kUser = u"soak"_s;

QString EntryKeyPath(int entry) {
    return u"%1\\%2\\%3\\%4"_s.arg(QLatin1String(kUsersKey), kUser, QLatin1String(kDocSynchArea)).arg(entry);
}

// Every binding of the soak user reads strictly; returns how many there are.
int ExpectAllEntriesReadStrictly() {
    int count = CountUserSubkeys(kUser, QString::fromLatin1(kDocSynchArea));
    for (int i = 0; i < count; ++i) {
        int entry = 0;
        QString key;
        EXPECT_TRUE(GetEntryNumberAt(kUser, i, entry, &key));
        CDocSynchEntry record;
        EXPECT_TRUE(ReadDocSynchEntryKey(kUser, key, record, ReadMode::Strict)) << "entry " << qPrintable(key);
    }
    return count;
}

void ExpectStoreSound() {
    QString report;
    EXPECT_TRUE(CRegistry::Default().CheckIntegrity(&report)) << qPrintable(report);
    ExpectAllEntriesReadStrictly();
}

TEST(RegistryLoad, ManagerAndSynchronizerHammerOneFile) {
    CTempEnv env;
    const int ops = SoakSetting("HAMMER_OPS", 400, 5000);
    QProcess manager, sync;
    for (QProcess* p : {&manager, &sync})
        p->setProcessChannelMode(QProcess::MergedChannels);
    manager.start(WorkerPath(), {u"hammer-manager"_s, QString::number(ops), u"1"_s});
    sync.start(WorkerPath(), {u"hammer-sync"_s, QString::number(ops), u"2"_s});
    for (QProcess* p : {&manager, &sync}) {
        ASSERT_TRUE(p->waitForFinished(15 * 60 * 1000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
    }
    ExpectStoreSound();
}

// The simulated handheld, rooted in the test's own folder.
class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_device = m_env.MakeDir(u"device"_s);
        m_pc = m_env.MakeDir(u"pc"_s);
        QDir().mkpath(m_device + u"/C/Documents"_s);
        auto& reg = CRegistry::Default();
        reg.SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), m_device);
        reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), 0xFF);
        reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdHigh(), 0xA2B);
        reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), 1);
    }

    // Leftover temporary files of an interrupted copy are tolerated; anything else is not.
    static QStringList Documents(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

    CTempEnv m_env;
    QString m_device;
    QString m_pc;
};

using KillTest = DeviceFixture;

// A copy killed at any moment leaves each side with its old or its new content.
TEST_F(KillTest, KilledCopiesLeaveOldOrNewContent) {
    const int runs = SoakSetting("KILL_RUNS", 8, 200);
    const qint64 size = qint64(SoakSetting("FILE_MB", 8, 64)) << 20;
    const QString refA = m_env.Root() + u"/refA"_s;
    const QString refB = m_env.Root() + u"/refB"_s;
    ASSERT_TRUE(WritePatternFile(refA, size, 'a'));
    ASSERT_TRUE(WritePatternFile(refB, size / 2 + 12345, 'b'));
    const QByteArray hashA = FileHash(refA);
    const QByteArray hashB = FileHash(refB);
    const QString pcFile = m_pc + u"/report.txt"_s;
    const QString devFile = m_device + u"/C/Documents/Report"_s;
    ASSERT_TRUE(QFile::copy(refA, pcFile));
    ASSERT_TRUE(QFile::copy(refB, devFile));

    // Kills fall anywhere from the worker's start to a little past the end of a whole copy,
    // timed here: a fixed window either misses most copies or wastes most kills after them.
    QElapsedTimer timer;
    timer.start();
    const WorkerResult warmUp = RunWorker({u"copy"_s, u"pc"_s, refA, u"dev"_s, u"C:\\Documents\\WarmUp"_s});
    ASSERT_EQ(warmUp.exitCode, 0) << qPrintable(warmUp.output);
    const qint64 windowUs = std::max<qint64>(20000, timer.nsecsElapsed() / 1000 * 3 / 2);

    std::mt19937 rng(42);
    int killedMidway = 0;
    int replaced = 0;
    for (int run = 0; run < runs; ++run) {
        // Alternate directions; the source always holds the other content than the target.
        const bool toDevice = run % 2 == 0;
        const QString source = toDevice ? pcFile : devFile;
        const QString target = toDevice ? devFile : pcFile;
        const QByteArray before = FileHash(target);
        const QString other = before == hashA ? refB : refA;
        QFile::remove(source);
        ASSERT_TRUE(QFile::copy(other, source));
        const QByteArray expectedNew = FileHash(other);
        const QStringList args = toDevice
                                     ? QStringList{u"copy"_s, u"pc"_s, pcFile, u"dev"_s, u"C:\\Documents\\Report"_s}
                                     : QStringList{u"copy"_s, u"dev"_s, u"C:\\Documents\\Report"_s, u"pc"_s, pcFile};
        QProcess worker;
        worker.start(WorkerPath(), args);
        ASSERT_TRUE(worker.waitForStarted());
        QThread::usleep(rng() % windowUs);
        ::kill(pid_t(worker.processId()), SIGKILL);
        worker.waitForFinished();
        if (worker.exitStatus() == QProcess::CrashExit)
            ++killedMidway;
        const QByteArray after = FileHash(target);
        if (after != before)
            ++replaced;
        EXPECT_TRUE(after == before || after == expectedNew)
            << "run " << run << ": " << qPrintable(target) << " is neither old nor new";
        EXPECT_EQ(FileHash(source), expectedNew) << "run " << run << ": the source changed";
    }
    ExpectStoreSound();
    // The next copy completes and leaves the two sides equal.
    const WorkerResult next = RunWorker({u"copy"_s, u"pc"_s, pcFile, u"dev"_s, u"C:\\Documents\\Report"_s});
    EXPECT_EQ(next.exitCode, 0) << qPrintable(next.output);
    EXPECT_EQ(FileHash(devFile), FileHash(pcFile));
    std::printf("%d runs, %d killed before they ended, %d replaced the target\n", runs, killedMidway, replaced);
}

using DiskFullTest = DeviceFixture;

TEST_F(DiskFullTest, WriteFailureKeepsTheOldDestination) {
    const QString pcFile = m_env.WriteFile(u"pc/big.txt"_s, QByteArray(512 * 1024, 'n'));
    const QString pcOld = m_env.WriteFile(u"pc/old.txt"_s, "old pc");
    const QString devFile = m_device + u"/C/Documents/Big"_s;
    QFile(devFile).open(QIODevice::WriteOnly), QFile(devFile).remove();
    {
        QFile f(devFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old device");
    }
    const QString devBig = m_device + u"/C/Documents/BigSource"_s;
    ASSERT_TRUE(QFile::copy(pcFile, devBig));

    struct Case {
        const char* what;
        QStringList args;
        QString destination;
        QByteArray old;
    };
    const Case cases[] = {
        {"to the device", {u"pc"_s, pcFile, u"dev"_s, u"C:\\Documents\\Big"_s}, devFile, "old device"},
        {"to the PC", {u"dev"_s, u"C:\\Documents\\BigSource"_s, u"pc"_s, pcOld}, pcOld, "old pc"},
    };
    for (const Case& c : cases) {
        const WorkerResult r = RunWorker(QStringList{u"--fsize"_s, u"65536"_s, u"copy"_s} + c.args);
        EXPECT_FALSE(r.crashed) << c.what;
        EXPECT_NE(r.exitCode, 0) << c.what << ": a failed copy was reported as done";
        EXPECT_TRUE(r.output.contains(u"copy: -"_s)) << c.what << ": " << qPrintable(r.output);
        QFile f(c.destination);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), c.old) << c.what;
        EXPECT_EQ(Documents(QFileInfo(c.destination).path()).size(), c.destination == devFile ? 2 : 2)
            << c.what << ": a temporary file was left behind";
    }
}

// A real full file system, when this machine lets the test mount one. It is the whole
// handheld: the engine never enters a file system mounted below the handheld's root.
TEST_F(DiskFullTest, FullFileSystemOnTheDevice) {
    const QString device = m_env.MakeDir(u"small-device"_s);
    if (::geteuid() != 0 ||
        QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, device}) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    CRegistry::Default().SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(),
                                   device);
    const QString mountPoint = device + u"/D"_s;
    QDir().mkpath(mountPoint + u"/Documents"_s);
    {
        QFile f(mountPoint + u"/Documents/Full"_s);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(700 * 1024, 'o'));
    }
    const QByteArray oldHash = FileHash(mountPoint + u"/Documents/Full"_s);
    const QString pcFile = m_env.WriteFile(u"pc/large.txt"_s, QByteArray(600 * 1024, 'n'));
    const WorkerResult r = RunWorker({u"copy"_s, u"pc"_s, pcFile, u"dev"_s, u"D:\\Documents\\Full"_s});
    const QByteArray afterHash = FileHash(mountPoint + u"/Documents/Full"_s);
    const QStringList left = Documents(mountPoint + u"/Documents"_s);
    QProcess::execute(u"umount"_s, {device});
    EXPECT_NE(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_TRUE(r.output.contains(u"copy: %1"_s.arg(EngineError::kDiskFull))) << qPrintable(r.output);
    EXPECT_EQ(afterHash, oldHash);
    EXPECT_EQ(left, QStringList{u"Full"_s});
}

using HostileNameTest = DeviceFixture;

// Hostile EPOC names are refused and nothing around the device root or the PC folder moves.
TEST_F(HostileNameTest, RefusedWithoutTouchingAnythingElse) {
    m_env.WriteFile(u"outside.txt"_s, "outside");
    m_env.WriteFile(u"device/C/Documents/Keep"_s, "keep");
    const QString pcFile = m_env.WriteFile(u"pc/a.txt"_s, "pc data");
    const QString overlong = u"C:\\Documents\\"_s + QString(300, u'x');
    const QString longComponent = u"C:\\Documents\\"_s + QString(256, u'y');
    const QStringList names = {
        u"C:\\Documents\\..\\..\\outside.txt"_s,
        u"C:\\..\\..\\outside.txt"_s,
        u"C:\\Documents\\..\\..\\..\\..\\..\\..\\..\\..\\tmp\\soak-escape"_s,
        u"C:\\Documents/../../outside.txt"_s,
        u"C:/../../outside.txt"_s,
        u"/etc/passwd"_s,
        u"C:\\Documents\\a\u0001b"_s,
        u"C:\\Documents\\tab\there"_s,
        u"C:\\Documents\\new\nline"_s,
        u"..\\outside.txt"_s,
        u"Z:\\nowhere"_s,
        overlong,
        longComponent,
    };
    // The registry file itself changes with every engine start; everything else must not.
    const auto snapshot = [this] {
        auto tree = SnapshotTree(m_env.Root());
        tree.removeIf([](auto it) { return it.key().startsWith(u"/registry.db"_s); });
        return tree;
    };
    const auto before = snapshot();
    for (const QString& name : names) {
        for (bool toDevice : {true, false}) {
            const QString pcTarget = m_pc + u"/target.txt"_s;
            const QStringList args = toDevice ? QStringList{u"copy"_s, u"pc"_s, pcFile, u"dev"_s, name}
                                              : QStringList{u"copy"_s, u"dev"_s, name, u"pc"_s, pcTarget};
            const WorkerResult r = RunWorker(args, 30000);
            EXPECT_FALSE(r.crashed) << qPrintable(name);
            EXPECT_NE(r.exitCode, 0) << qPrintable(name) << " was accepted";
        }
    }
    const auto after = snapshot();
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_TRUE(after == before) << "a file around the device changed";
    EXPECT_FALSE(QFile::exists(u"/tmp/soak-escape"_s));
}

// Binding values of the wrong type, oversized or missing: strict reads fail, lenient reads
// fall back, nothing crashes.
TEST(HostileRegistry, DamagedBindingValues) {
    CTempEnv env;
    CDocSynchEntry good = CDocSynchEntry::NewForManager(CRuleSet{}, u"(unknown)"_s);
    good.WinPath = env.Root() + u"/"_s;
    good.WinFileName = u"none.txt"_s;
    good.EpocPath = u"C:\\Documents\\"_s;
    good.LinkStatus = 1;
    good.CopyRule = kCopyDeviceToPc;
    good.KeepCopy = true;
    auto& reg = CRegistry::Default();
    // Values are read whatever their stored type, as the original store did; only sizes that
    // cannot be a value of the field and missing values make a binding unreadable.
    struct Case {
        const char* what;
        const char* value;
        uint32_t type;
        QByteArray data;  // null = delete the value
        bool strictReads;
    };
    const Case cases[] = {
        {"number stored as text", "CopyRule", kRegSz, QByteArray("2", 2), true},
        {"text stored as number", "WinFileType", kRegDword, QByteArray("\1\0\0\0", 4), true},
        // The same bytes as a name: a control character, refused.
        {"name stored as number", "EpocFileName", kRegDword, QByteArray("\1\0\0\0", 4), false},
        {"short number", "LinkStatus", kRegDword, QByteArray("\1", 1), true},
        {"oversized number", "IsActive", kRegDword, QByteArray(64, '\1'), false},
        {"oversized text", "WinFileName", kRegSz, QByteArray(70000, 'w') + '\0', false},
        {"empty text", "WinFileType", kRegSz, QByteArray(""), false},
        // Its last byte is taken for the terminator: "/tmp/" is what is read.
        {"text without terminator", "WinPath", kRegSz, QByteArray("/tmp/x"), true},
        {"binary blob", "KeepCopy", kRegBinary, QByteArray("\xff\xff", 2), true},
        {"missing text", "EpocPath", kRegNone, QByteArray(), false},
        {"missing number", "PromptBothChanged", kRegNone, QByteArray(), false},
    };
    int entry = 0;
    for (const Case& c : cases) {
        WriteDocSynchEntry(kUser, entry, good);
        if (c.data.isNull())
            reg.DeleteValue(RegRoot::CurrentUser, EntryKeyPath(entry), QString::fromLatin1(c.value));
        else
            reg.SetValue(RegRoot::CurrentUser, EntryKeyPath(entry), QString::fromLatin1(c.value), c.type, c.data);
        CDocSynchEntry record;
        EXPECT_EQ(bool(ReadDocSynchEntry(kUser, entry, record, ReadMode::Strict)), c.strictReads) << c.what;
        CDocSynchEntry lenient;
        ReadDocSynchEntry(kUser, entry, lenient, ReadMode::Lenient);
        EXPECT_LE(lenient.WinFileName.size(), kRegStringMax) << c.what;
        EXPECT_EQ(lenient.EpocFileType, good.EpocFileType) << c.what << ": an untouched value was lost";
        ++entry;
    }
    EXPECT_TRUE(reg.CheckIntegrity());
}

// A settings file that is not a database: every access fails, and the tools name the file.
TEST(HostileRegistry, FileThatIsNotADatabase) {
    CTempEnv env;
    const QString path = env.WriteFile(u"garbage.db"_s, QByteArray("this is not a database\n").repeated(200));
    env.SetEnv("DOVETAIL_REGISTRY", path);
    const QByteArray before = FileHash(path);
    auto& reg = CRegistry::Default();
    EXPECT_FALSE(reg.IsUsable());
    EXPECT_FALSE(reg.SetString(RegRoot::CurrentUser, u"Software\\Soak"_s, u"x"_s, u"y"_s));
    CDocSynchEntry record;
    EXPECT_FALSE(ReadDocSynchEntry(kUser, 0, record, ReadMode::Strict));
    EXPECT_FALSE(reg.CheckIntegrity());

    QProcess dtreg;
    dtreg.setProcessChannelMode(QProcess::MergedChannels);
    dtreg.start(BinDir() + u"/dtreg"_s, {u"check"_s});
    ASSERT_TRUE(dtreg.waitForFinished(30000));
    EXPECT_NE(dtreg.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(dtreg.readAll()).contains(path));
    EXPECT_EQ(FileHash(path), before) << "the foreign file was changed";
}

}  // namespace
