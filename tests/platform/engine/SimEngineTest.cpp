// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/SimEngine.h"

#include "platform/engine/EpocUid.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "tests/platform/engine/EventRecorder.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/StoreProbe.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <thread>
#include <sys/stat.h>
#include <utime.h>

using namespace std::chrono_literals;

namespace {

FileSpec Spec(uint16_t location, const QString& path) {
    FileSpec spec;
    EXPECT_TRUE(MakeFileSpec(location, path.toUtf8().constData(), spec));
    return spec;
}

FileSpec Device(const char* path) {
    return Spec(kLocationDevice, QString::fromUtf8(path));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void SetMtime(const QString& path, time_t seconds) {
    const struct utimbuf times { seconds, seconds };
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

time_t Mtime(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mtime;
}

class SimEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_device = m_env.MakeDir(QStringLiteral("device"));
        m_pc = m_env.MakeDir(QStringLiteral("pc"));
        QDir().mkpath(m_device + QStringLiteral("/C/Documents"));
        Reg().SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), m_device);
        Reg().SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), 0xFF);
        Reg().SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdHigh(), 0xA2B);
        SetPlugged(true);
    }

    static CRegistry& Reg() { return CRegistry::Default(); }
    static void SetPlugged(bool plugged) {
        Reg().SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), plugged ? 1 : 0);
    }
    static void SetFault(const QString& name, uint32_t count) {
        Reg().SetNumber(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), name, count);
    }
    static uint32_t Fault(const QString& name) {
        uint32_t count = 99;
        Reg().GetNumber(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), name, count);
        return count;
    }

    // An engine with the recorder as its sink, past OnInitialized.
    std::unique_ptr<IEpocEngine> Start() {
        auto engine = CreateEpocEngine();
        EXPECT_TRUE(engine);
        if (!engine)
            return nullptr;
        engine->SetEventSink(&m_events);
        Expect("Initialized", 0);
        return engine;
    }

    RecordedEvent Expect(const char* name, std::optional<int32_t> result = std::nullopt) {
        const auto event = m_events.Next();
        EXPECT_TRUE(event) << "no event, expected " << name;
        if (!event)
            return {};
        EXPECT_EQ(event->name, name);
        if (result) {
            EXPECT_EQ(event->result, *result) << name;
        }
        return *event;
    }

    RecordedEvent ExpectFailure(const char* name) {
        const RecordedEvent event = Expect(name);
        EXPECT_NE(event.result, 0) << name << " should have failed";
        return event;
    }

    void ExpectQuiet(std::chrono::milliseconds span) {
        const auto event = m_events.Next(span);
        EXPECT_FALSE(event) << "unexpected event " << (event ? event->name : std::string());
    }

    QString DeviceFile(const QString& relative, const QByteArray& content) {
        const QString path = m_device + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    CTempEnv m_env;
    QString m_device;
    QString m_pc;
    CEventRecorder m_events;
};

TEST_F(SimEngineTest, EventsArriveOnTheEngineThreadInIssueOrder) {
    auto engine = Start();
    DeviceFile(QStringLiteral("C/Documents/Report"), "x");
    std::unique_ptr<IEpocRemoteFile> file;
    std::unique_ptr<IEpocMachine> machine;
    engine->Connect(15000);
    engine->GetMachine(2, machine);
    engine->BeginSession();
    engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
    engine->CloseRemoteFile(Device("C:\\Documents\\Report"), 0);
    engine->AttachRemote(2);
    const char* expected[] = {"Connected", "MachineReady", "SessionReady", "Opened", "Closed", "Status"};
    for (const char* name : expected) {
        const RecordedEvent event = Expect(name, 0);
        EXPECT_NE(event.thread, std::this_thread::get_id());
    }
    ExpectQuiet(300ms);
}

TEST_F(SimEngineTest, CreationNeedsAConfiguredHandheld) {
    Reg().DeleteTree(RegRoot::LocalMachine, SimulatorConfig::Key());
    EXPECT_EQ(CreateEpocEngine(), nullptr);
}

TEST_F(SimEngineTest, InitAndConnectFaults) {
    SetFault(SimulatorConfig::FaultInit(), 1);
    auto engine = CreateEpocEngine();
    engine->SetEventSink(&m_events);
    ExpectFailure("Initialized");
    SetFault(SimulatorConfig::FaultConnect(), 1);
    engine->Connect(15000);
    ExpectFailure("Connected");
    ExpectQuiet(400ms);
}

// The engine's thread reads the store through a connection of its own; when the thread ends
// (here after a failed start, as the scheduler saw it) the process must keep its share.
TEST_F(SimEngineTest, AnEngineThatEndsLeavesTheProcessOnTheStore) {
    SetFault(SimulatorConfig::FaultInit(), 1);
    {
        auto engine = CreateEpocEngine();
        ASSERT_TRUE(engine);
        engine->SetEventSink(&m_events);
        ExpectFailure("Initialized");
    }
    ExpectSharesTheStore(Reg(), QStringLiteral("EngineEnded"));
    SetFault(SimulatorConfig::FaultInit(), 0);
    Start().reset();
    ExpectSharesTheStore(Reg(), QStringLiteral("EngineEnded"), 2);
}

TEST_F(SimEngineTest, MachineAndStatus) {
    auto engine = Start();
    std::unique_ptr<IEpocMachine> machine;
    engine->GetMachine(2, machine);
    ASSERT_TRUE(machine);
    Expect("MachineReady", 0);
    MachineInfo info;
    ASSERT_EQ(machine->GetMachineInfo(info), 0);
    EXPECT_EQ(info.WordAt(0x20), 0xFFu);
    EXPECT_EQ(info.WordAt(0x24), 0xA2Bu);

    engine->AttachRemote(2);
    const RecordedEvent status = Expect("Status", 0);
    EXPECT_EQ(status.b, 2);
    EXPECT_EQ(status.c, 1);
}

TEST_F(SimEngineTest, FollowsTheHandheldAfterTheFirstConnect) {
    auto engine = Start();
    // Before any Connect nothing is followed.
    SetPlugged(false);
    ExpectQuiet(600ms);
    engine->Connect(15000);
    ExpectFailure("Connected");

    SetPlugged(true);
    Expect("Connected", 0);
    ExpectQuiet(700ms);
    SetPlugged(false);
    Expect("Disconnected", 0);
    ExpectQuiet(700ms);
    SetPlugged(true);
    const auto start = std::chrono::steady_clock::now();
    Expect("Connected", 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(SimEngineTest, OperationsFailWhileUnplugged) {
    auto engine = Start();
    DeviceFile(QStringLiteral("C/Documents/Report"), "x");
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/a.txt"), "pc");
    SetPlugged(false);
    std::unique_ptr<IEpocRemoteFile> file;
    std::unique_ptr<IEpocMachine> machine;
    engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
    ExpectFailure("Opened");
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Report"), 1);
    ExpectFailure("CopyDone");
    engine->CloseRemoteFile(Device("C:\\Documents\\Report"), 0);
    ExpectFailure("Closed");
    engine->GetMachine(2, machine);
    ExpectFailure("MachineReady");
    engine->BeginSession();
    ExpectFailure("SessionReady");
    engine->AttachRemote(2);
    ExpectFailure("Status");
    EXPECT_EQ(ReadAll(m_device + QStringLiteral("/C/Documents/Report")), "x");
    MachineInfo info;
    EXPECT_NE(machine->GetMachineInfo(info), 0);
}

TEST_F(SimEngineTest, OpenReportsTheFileInformation) {
    m_env.SetEnv("TZ", QStringLiteral("CET-1CEST,M3.5.0,M10.5.0/3"));
    ::tzset();
    const EpocUids uids{0x10000037, 0x1000006D, 0x1000007F};
    const QString path = DeviceFile(QStringLiteral("C/Documents/Report"), MakeEpocHeader(uids) + "body");
    const time_t summer = 1719835200;  // 2024-07-01 12:00:00 UTC, two hours ahead in CEST
    SetMtime(path, summer);
    DeviceFile(QStringLiteral("C/Documents/Plain.txt"), "no header here, long enough");
    DeviceFile(QStringLiteral("C/Documents/Short"), "abc");

    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    // The name is matched without regard to case and reported as stored.
    engine->OpenRemoteFile(Device("c:\\DOCUMENTS\\report"), file);
    Expect("Opened", 0);
    RemoteFileInfo info;
    ASSERT_EQ(file->GetFileInfo(info), 0);
    EXPECT_EQ(info.Attributes() & kAttrFolder, 0u);
    EXPECT_STREQ(info.Name(), "Report");
    EXPECT_EQ(info.TypeId(0), uids[0]);
    EXPECT_EQ(info.TypeId(1), uids[1]);
    EXPECT_EQ(info.TypeId(2), uids[2]);
    EXPECT_EQ(info.LocalFileTime(), uint64_t(summer + 7200 + 11644473600LL) * 10000000ULL);

    for (const char* name : {"C:\\Documents\\Plain.txt", "C:\\Documents\\Short"}) {
        engine->OpenRemoteFile(Device(name), file);
        Expect("Opened", 0);
        ASSERT_EQ(file->GetFileInfo(info), 0);
        EXPECT_EQ(info.TypeId(0) | info.TypeId(1) | info.TypeId(2), 0u) << name;
    }

    engine->OpenRemoteFile(Device("C:\\Documents\\"), file);
    Expect("Opened", 0);
    ASSERT_EQ(file->GetFileInfo(info), 0);
    EXPECT_EQ(info.Attributes() & kAttrFolder, kAttrFolder);
    EXPECT_STREQ(info.Name(), "Documents");
}

// One look at many files finds what opening each would, and reads a file whose time alone moved
// as reading it alone would; with a busy or close fault pending, or the handheld gone, no look
// is taken.
TEST_F(SimEngineTest, LooksAtManyFilesAsOpeningEachWould) {
    DeviceFile(QStringLiteral("C/Documents/Report"), MakeEpocHeader({0x10000037, 0x1000006D, 0x1000007F}) + "body");
    const std::vector<FileSpec> specs{Device("c:\\DOCUMENTS\\report"), Device("C:\\Documents\\"),
                                      Device("C:\\Documents\\Gone"), FileSpec{}};
    auto engine = Start();
    engine->LookAtRemoteFiles(specs, {});
    Expect("Looked", 0);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        SCOPED_TRACE(i);
        RemoteFileInfo looked;
        uint64_t lookedSize = 0;
        const int32_t result = engine->GetLookedFile(i, looked, lookedSize);
        std::unique_ptr<IEpocRemoteFile> file;
        engine->OpenRemoteFile(specs[i], file);
        Expect("Opened", result);
        RemoteFileInfo info;
        uint64_t size = 0;
        if (result == 0 && file->GetFileInfo(info) == 0 && file->GetFileSize(size) == 0) {
            EXPECT_EQ(std::memcmp(&info, &looked, sizeof info), 0);
            EXPECT_EQ(size, lookedSize);
        }
    }
    // Read with the look only where the size is as known and the time is not.
    engine->ReadFingerprint(specs[0]);
    Expect("FingerprintRead", 0);
    CFileFacts alone;
    ASSERT_EQ(engine->GetFingerprint(alone), 0);
    for (const auto& [time, read] : {std::pair{alone.time + 1, true}, {alone.time, false}}) {
        engine->LookAtRemoteFiles(specs, {{true, alone.size, time}, {true, 0, 0}, {true, 0, 1}});
        Expect("Looked", 0);
        CFileFacts together;
        EXPECT_EQ(engine->GetFingerprintOf(0, together), read ? 0 : IEpocEngine::kNotSupported);
        if (read) {
            EXPECT_TRUE(together.print == alone.print && together.size == alone.size && together.time == alone.time);
        }
        for (std::size_t i = 1; i < specs.size(); ++i)
            EXPECT_EQ(engine->GetFingerprintOf(i, together), IEpocEngine::kNotSupported) << i;
    }
    for (const QString& fault : {SimulatorConfig::FaultBusy(), SimulatorConfig::FaultCloseFail()}) {
        SetFault(fault, 1);
        engine->LookAtRemoteFiles(specs, {});
        Expect("Looked", IEpocEngine::kNotSupported);
        SetFault(fault, 0);
    }
    SetPlugged(false);
    engine->LookAtRemoteFiles(specs, {});
    Expect("Looked", 0);
    RemoteFileInfo info;
    uint64_t size = 0;
    EXPECT_NE(engine->GetLookedFile(0, info, size), 0);
}

// What a copy wrote is known without reading it back, and a read finds the same; once a
// session began, another machine id is another handheld: nothing more is done on it.
TEST_F(SimEngineTest, FingerprintsWhatItCopiesAndStaysWithTheSessionsMachine) {
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/a.txt"), "some text");
    auto engine = Start();
    engine->BeginSession();
    Expect("SessionReady", 0);
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\A"), 1);
    Expect("CopyDone", 0);
    CFileFacts copied;
    CFileFacts read;
    ASSERT_EQ(engine->GetCopyFacts(copied), 0);
    engine->ReadFingerprint(Device("C:\\Documents\\A"));
    Expect("FingerprintRead", 0);
    ASSERT_EQ(engine->GetFingerprint(read), 0);
    EXPECT_EQ(copied.size, 9u);
    EXPECT_TRUE(copied.print.valid);
    EXPECT_EQ(copied.print, read.print);
    EXPECT_EQ(copied.time, read.time);
    engine->ReadFingerprint(Spec(kLocationPc, pcFile));
    Expect("FingerprintRead", 0);
    ASSERT_EQ(engine->GetFingerprint(read), 0);
    EXPECT_EQ(copied.print, read.print);

    Reg().SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), 0xEE);
    std::unique_ptr<IEpocRemoteFile> file;
    engine->OpenRemoteFile(Device("C:\\Documents\\A"), file);
    ExpectFailure("Opened");
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\B"), 1);
    ExpectFailure("CopyDone");
    EXPECT_FALSE(QFile::exists(m_device + QStringLiteral("/C/Documents/B")));
}

TEST_F(SimEngineTest, OpeningAnAbsentFileFails) {
    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    engine->OpenRemoteFile(Device("C:\\Documents\\Missing"), file);
    ASSERT_TRUE(file);
    ExpectFailure("Opened");
    RemoteFileInfo info;
    info.bytes[30] = 'x';
    EXPECT_NE(file->GetFileInfo(info), 0);
    EXPECT_STREQ(info.Name(), "");
    // The remote file may go before its open completes.
    engine->OpenRemoteFile(Device("C:\\Documents\\Missing"), file);
    file.reset();
    ExpectFailure("Opened");
}

TEST_F(SimEngineTest, RefusedPathsAreNeverFollowed) {
    const QString outside = m_env.WriteFile(QStringLiteral("outside.txt"), "secret");
    QFile::link(m_env.Root(), m_device + QStringLiteral("/C/Documents/escape"));
    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    const char* refused[] = {
        "C:\\Documents\\..\\..\\..\\outside.txt",
        "C:\\Documents\\escape\\outside.txt",
        "C:\\Documents\\.\\Report",
        "C:\\Documents/../../outside.txt",
        "C:\\\\Documents",
        "Documents\\Report",
    };
    for (const char* path : refused) {
        engine->OpenRemoteFile(Device(path), file);
        EXPECT_EQ(Expect("Opened").result, EngineError::kBadName) << path;
    }
    const QString pcTarget = m_pc + QStringLiteral("/copy.txt");
    engine->CopyFile(Device("C:\\Documents\\escape\\outside.txt"), Spec(kLocationPc, pcTarget), 1);
    ExpectFailure("CopyDone");
    EXPECT_FALSE(QFile::exists(pcTarget));
    // Nor may a copy write through a link out of the device.
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/a.txt"), "pc");
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\escape\\outside.txt"), 1);
    ExpectFailure("CopyDone");
    EXPECT_EQ(ReadAll(outside), "secret");

    FileSpec unterminated;
    unterminated.location = kLocationDevice;
    std::memset(unterminated.path, 'A', sizeof unterminated.path);
    engine->OpenRemoteFile(unterminated, file);
    EXPECT_EQ(Expect("Opened").result, EngineError::kBadName);
}

// The simulator's "DeviceRoot" is a store value: one that is a link or leads through ".." is
// no handheld, and a pipe on the handheld is refused at once, whichever way it is used.
TEST_F(SimEngineTest, AnUnusableRootOrAPipeIsRefusedAtOnce) {
    DeviceFile(QStringLiteral("C/Documents/Report"), "report");
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/a.txt"), "pc");
    const QString link = m_env.Root() + QStringLiteral("/device-link");
    ASSERT_TRUE(HostileEntries::Link(m_device, link));
    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    for (const QString& root : {link, m_device + QStringLiteral("/C/.."), QStringLiteral("device")}) {
        SCOPED_TRACE(root.toStdString());
        Reg().SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), root);
        engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
        EXPECT_EQ(Expect("Opened").result, EngineError::kNotReady);
        engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Report"), 1);
        EXPECT_EQ(Expect("CopyDone").result, EngineError::kNotReady);
    }
    EXPECT_EQ(ReadAll(m_device + QStringLiteral("/C/Documents/Report")), "report");

    Reg().SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), m_device);
    CFifoUnjammer unjammer;
    const QString pipe = m_device + QStringLiteral("/C/Documents/Pipe");
    ASSERT_TRUE(HostileEntries::Fifo(pipe));
    unjammer.Watch(pipe);
    engine->OpenRemoteFile(Device("C:\\Documents\\Pipe"), file);
    EXPECT_EQ(Expect("Opened").result, EngineError::kAccessDenied);
    engine->CopyFile(Device("C:\\Documents\\Pipe"), Spec(kLocationPc, pcFile), 1);
    EXPECT_EQ(Expect("CopyDone").result, EngineError::kAccessDenied);
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Pipe"), 1);
    EXPECT_EQ(Expect("CopyDone").result, EngineError::kAccessDenied);
    EXPECT_EQ(ReadAll(pcFile), "pc");
    EXPECT_FALSE(unjammer.Unjam()) << "the engine waited on the pipe";
    engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
    EXPECT_EQ(Expect("Opened").result, 0);
}

TEST_F(SimEngineTest, BusyFileIsReportedThenOpensAndItsReleaseIsRecorded) {
    DeviceFile(QStringLiteral("C/Documents/Report"), "x");
    DeviceFile(QStringLiteral("C/Documents/Other"), "y");
    SetFault(SimulatorConfig::FaultBusy(), 2);
    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    for (int i = 0; i < 2; ++i) {
        engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
        Expect("Busy");
        ExpectQuiet(100ms);  // nothing more for a busy open
    }
    engine->OpenRemoteFile(Device("C:\\Documents\\report"), file);
    Expect("Opened", 0);
    engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
    Expect("Opened", 0);
    // The count is per file.
    engine->OpenRemoteFile(Device("C:\\Documents\\Other"), file);
    Expect("Busy");

    engine->ReleaseRemoteFile(Device("C:\\Documents\\Unrelated"));
    engine->ReleaseRemoteFile(Device("C:\\Documents\\Report"));
    engine->BeginSession();  // a fence: the releases have been handled before this completes
    Expect("SessionReady", 0);
    uint32_t released = 0;
    QString last;
    Reg().GetNumber(RegRoot::LocalMachine, SimulatorConfig::LogKey(), SimulatorConfig::ReleasedCount(), released);
    Reg().GetString(RegRoot::LocalMachine, SimulatorConfig::LogKey(), SimulatorConfig::LastReleased(), last);
    EXPECT_EQ(released, 1u);
    EXPECT_EQ(last, QStringLiteral("C:\\Documents\\Report"));
}

TEST_F(SimEngineTest, CloseAndForceCloseCountDownTheirFault) {
    DeviceFile(QStringLiteral("C/Documents/Report"), "x");
    auto engine = Start();
    engine->CloseRemoteFile(Device("C:\\Documents\\Report"), 0);
    Expect("Closed", 0);
    engine->CloseRemoteFile(Device("C:\\Documents\\Gone"), 0);
    ExpectFailure("Closed");
    engine->ForceCloseRemoteFile(Device("C:\\Documents\\Gone"));
    Expect("Closed", 0);

    SetFault(SimulatorConfig::FaultCloseFail(), 2);
    engine->CloseRemoteFile(Device("C:\\Documents\\Report"), 0);
    EXPECT_EQ(Expect("Closed").result, EngineError::kInjected);
    engine->ForceCloseRemoteFile(Device("C:\\Documents\\Report"));
    EXPECT_EQ(Expect("Closed").result, EngineError::kInjected);
    engine->ForceCloseRemoteFile(Device("C:\\Documents\\Report"));
    Expect("Closed", 0);
    EXPECT_EQ(Fault(SimulatorConfig::FaultCloseFail()), 0u);
}

TEST_F(SimEngineTest, CopiesBothWaysKeepingTheModificationTime) {
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/Notes.txt"), "from the pc");
    SetMtime(pcFile, 1600000000);
    const QString deviceFile = DeviceFile(QStringLiteral("C/Documents/Notes"), "old device text");
    auto engine = Start();

    // Overwrites the existing device file, found without regard to case.
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\documents\\NOTES"), 1);
    Expect("CopyDone", 0);
    EXPECT_EQ(ReadAll(deviceFile), "from the pc");
    EXPECT_EQ(Mtime(deviceFile), 1600000000);
    EXPECT_FALSE(QFile::exists(m_device + QStringLiteral("/C/Documents/NOTES")));

    // A new device file keeps the case it was given.
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\NewName.TXT"), 1);
    Expect("CopyDone", 0);
    EXPECT_EQ(ReadAll(m_device + QStringLiteral("/C/Documents/NewName.TXT")), "from the pc");

    DeviceFile(QStringLiteral("C/Documents/Back"), "from the device");
    SetMtime(m_device + QStringLiteral("/C/Documents/Back"), 1500000000);
    const QString pcTarget = m_pc + QStringLiteral("/Back.txt");
    engine->CopyFile(Device("C:\\Documents\\Back"), Spec(kLocationPc, pcTarget), 1);
    Expect("CopyDone", 0);
    EXPECT_EQ(ReadAll(pcTarget), "from the device");
    EXPECT_EQ(Mtime(pcTarget), 1500000000);
}

TEST_F(SimEngineTest, FailedCopiesLeaveTheDestinationIntact) {
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/src.txt"), "new content");
    const QString deviceFile = DeviceFile(QStringLiteral("C/Documents/Target"), "old content");
    QDir().mkpath(m_device + QStringLiteral("/C/Documents/Folder"));
    auto engine = Start();
    struct Case {
        const char* what;
        FileSpec source;
        FileSpec destination;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"injected failure", Spec(kLocationPc, pcFile), Device("C:\\Documents\\Target"),
         [] { SetFault(SimulatorConfig::FaultCopyFail(), 1); }},
        {"missing source", Spec(kLocationPc, m_pc + QStringLiteral("/absent.txt")), Device("C:\\Documents\\Target"),
         [] {}},
        {"missing destination folder", Spec(kLocationPc, pcFile), Device("C:\\Documents\\NoSuchFolder\\Target"), [] {}},
        {"destination is a folder", Spec(kLocationPc, pcFile), Device("C:\\Documents\\Folder"), [] {}},
        {"source is a folder", Spec(kLocationPc, m_pc), Device("C:\\Documents\\Target"), [] {}},
        {"relative pc path", Spec(kLocationPc, QStringLiteral("pc/src.txt")), Device("C:\\Documents\\Target"), [] {}},
        {"no overwrite", Spec(kLocationPc, pcFile), Device("C:\\Documents\\Target"), [] {}},
    };
    for (const Case& c : cases) {
        c.arrange();
        engine->CopyFile(c.source, c.destination, std::string(c.what) == "no overwrite" ? 0 : 1);
        ExpectFailure("CopyDone");
        EXPECT_EQ(ReadAll(deviceFile), "old content") << c.what;
    }
    EXPECT_EQ(Fault(SimulatorConfig::FaultCopyFail()), 0u);
    EXPECT_FALSE(QFile::exists(m_device + QStringLiteral("/C/Documents/NoSuchFolder")));
    const QStringList left =
        QDir(m_device + QStringLiteral("/C/Documents")).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(left, QStringList{QStringLiteral("Target")});

    // Once the fault is used up the copy goes through.
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Target"), 1);
    Expect("CopyDone", 0);
    EXPECT_EQ(ReadAll(deviceFile), "new content");
}

// A copy over the destination as it was seen: one found otherwise stays as it is, with a busy
// fault pending the caller is sent to look at it first, and one gone is no longer in the way.
TEST_F(SimEngineTest, ACopyOverReplacesOnlyTheDestinationAsSeen) {
    const FileSpec source = Spec(kLocationPc, m_env.WriteFile(QStringLiteral("pc/src.txt"), "new content"));
    const QString deviceFile = DeviceFile(QStringLiteral("C/Documents/Target"), "old content");
    const FileSpec target = Device("C:\\Documents\\Target");
    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    engine->OpenRemoteFile(target, file);
    Expect("Opened", 0);
    RemoteFileInfo info;
    ASSERT_EQ(file->GetFileInfo(info), 0);
    const CKnownFile seen{true, 11, info.LocalFileTime()};
    const CKnownFile others[] = {{}, {true, 12, seen.time}, {true, 11, seen.time + 10000000}};
    for (const CKnownFile& other : others) {
        engine->CopyFileOver(source, target, other);
        Expect("CopyDone", EngineError::kDestinationChanged);
    }
    SetFault(SimulatorConfig::FaultBusy(), 1);
    engine->CopyFileOver(source, target, seen);
    Expect("CopyDone", IEpocEngine::kNotSupported);
    EXPECT_EQ(ReadAll(deviceFile), "old content");
    SetFault(SimulatorConfig::FaultBusy(), 0);

    engine->CopyFileOver(source, target, seen);
    Expect("CopyDone", 0);
    EXPECT_EQ(ReadAll(deviceFile), "new content");
    ASSERT_TRUE(QFile::remove(deviceFile));
    engine->CopyFileOver(source, target, seen);
    Expect("CopyDone", 0);
    EXPECT_EQ(ReadAll(deviceFile), "new content");
}

// Pulling the cable ends the copy under way, as pulling a stick does: the old file stays whole
// and nothing is left beside it.
TEST_F(SimEngineTest, UnpluggingMidCopyFailsTheCopy) {
    m_env.SetEnv("DOVETAIL_TEST_COPY_PAUSE_MS", QStringLiteral("40"));
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/big.bin"), QByteArray(8 << 20, 'n'));
    const QString deviceFile = DeviceFile(QStringLiteral("C/Documents/Big"), "old content");
    auto engine = Start();
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Big"), 1);
    std::this_thread::sleep_for(100ms);
    SetPlugged(false);
    Expect("CopyDone", EngineError::kNotReady);
    EXPECT_EQ(ReadAll(deviceFile), "old content");
    EXPECT_EQ(QDir(m_device + QStringLiteral("/C/Documents")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Big")});
}

// Names given by copies are made durable on request, on both sides; a handheld gone before
// that cannot be.
TEST_F(SimEngineTest, CopiesAreMadeDurableOnRequest) {
    const QString pcFile = m_env.WriteFile(QStringLiteral("pc/Notes.txt"), "from the pc");
    DeviceFile(QStringLiteral("C/Documents/Back"), "from the device");
    auto engine = Start();
    engine->MakeCopiesDurable();
    Expect("CopiesDurable", 0);  // nothing to flush

    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Notes"), 1);
    Expect("CopyDone", 0);
    engine->CopyFile(Device("C:\\Documents\\Back"), Spec(kLocationPc, m_pc + QStringLiteral("/Back.txt")), 1);
    Expect("CopyDone", 0);
    engine->MakeCopiesDurable();
    Expect("CopiesDurable", 0);

    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Other"), 1);
    Expect("CopyDone", 0);
    SetPlugged(false);
    engine->MakeCopiesDurable();
    Expect("CopiesDurable", EngineError::kNotReady);
    // What could not be made durable is not asked for again.
    SetPlugged(true);
    engine->MakeCopiesDurable();
    Expect("CopiesDurable", 0);

    // With the flush turned off for measurements nothing is flushed, so nothing can fail.
    Reg().SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::FlushCopies(), 0);
    engine->CopyFile(Spec(kLocationPc, pcFile), Device("C:\\Documents\\Third"), 1);
    Expect("CopyDone", 0);
    SetPlugged(false);
    engine->MakeCopiesDurable();
    Expect("CopiesDurable", 0);
}

TEST_F(SimEngineTest, NoEventAfterTheSinkIsRemovedOrTheEngineIsGone) {
    DeviceFile(QStringLiteral("C/Documents/Report"), "x");
    auto engine = Start();
    std::unique_ptr<IEpocRemoteFile> file;
    for (int i = 0; i < 50; ++i)
        engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
    engine->SetEventSink(nullptr);
    const int seen = m_events.Total();
    engine->Connect(15000);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(m_events.Total(), seen);

    // A new sink gets its own OnInitialized; destruction with work queued stops delivery.
    CEventRecorder second;
    engine->SetEventSink(&second);
    for (int i = 0; i < 50; ++i)
        engine->OpenRemoteFile(Device("C:\\Documents\\Report"), file);
    const auto first = second.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "Initialized");
    engine.reset();
    const int afterDestruction = second.Total();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(second.Total(), afterDestruction);
    // The remote file outlives its engine safely.
    RemoteFileInfo info;
    file->GetFileInfo(info);
}

// A sink whose owner drops the engine while handling one of its events.
class CDroppingSink : public CEventRecorder {
public:
    std::unique_ptr<IEpocEngine> engine;
    int32_t OnSessionReady(int32_t r) override {
        engine.reset();
        return CEventRecorder::OnSessionReady(r);
    }
};

TEST_F(SimEngineTest, EngineMayBeDestroyedFromItsOwnEvent) {
    CDroppingSink sink;
    sink.engine = CreateEpocEngine();
    sink.engine->SetEventSink(&sink);
    sink.engine->BeginSession();
    sink.engine->AttachRemote(2);  // never delivered
    const auto first = sink.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "Initialized");
    const auto second = sink.Next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->name, "SessionReady");
    EXPECT_FALSE(sink.Next(300ms));
}

}  // namespace
