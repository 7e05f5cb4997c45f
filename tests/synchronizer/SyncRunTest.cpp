// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/synchronizer/SyncTestWorld.h"

#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/SyncStart.h"
#include "tests/support/TempEnv.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString kComplete = u"Synchronization complete."_s;
const QString kCompleteWithErrors = u"Synchronization completed with errors."_s;
const QString kStopped = u"Synchronization stopped."_s;

struct ChainFailureRow {
    const char* name;
    std::function<void(CSyncTestWorld&, CSyncRunSettings&)> arrange;
    QStringList logTail;  // the log's last lines (after the header)
    QString message;      // the message box shown, empty for none
    bool closed;
};

class ChainFailureTest : public ::testing::TestWithParam<ChainFailureRow> {};

TEST_P(ChainFailureTest, EndsWithItsLogTailAndMessage) {
    const ChainFailureRow& row = GetParam();
    CSyncTestWorld world;
    CSyncRunSettings settings = world.Settings();
    row.arrange(world, settings);
    auto run = world.Run(settings);

    // Read where the run wrote it: without a current user the log has no user in its name.
    const QStringList lines = CSyncTestWorld::LogLinesAt(run->LogPath()).mid(3);
    ASSERT_GE(lines.size(), row.logTail.size()) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines.mid(lines.size() - row.logTail.size()), row.logTail) << lines.join(u'|').toStdString();
    const QStringList messages = world.ui.Matching(u"message:"_s) + world.ui.Matching(u"stop-message:"_s);
    EXPECT_EQ(messages, row.message.isEmpty() ? QStringList() : QStringList{row.message});
    EXPECT_EQ(world.ui.closed, row.closed);
    EXPECT_FALSE(world.ui.completionShown);
    // Every ending names itself: a run left waiting ends with the Stop's line.
    if (!row.closed) {
        run->Stop();
        EXPECT_EQ(CSyncTestWorld::LogLinesAt(run->LogPath()).last(), kStopped);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chain, ChainFailureTest,
    ::testing::Values(
        ChainFailureRow{"EngineMissing",
                        [](CSyncTestWorld&, CSyncRunSettings& s) { s.createEngine = [] { return nullptr; }; },
                        {u"Cannot create engine instance"_s},
                        u"message:Cannot create engine instance"_s,
                        true},
        ChainFailureRow{"InitFailedWaitsForStop",
                        [](CSyncTestWorld& w, CSyncRunSettings&) { w.engine.initResult = -4; },
                        {u"Cannot init connection [-4]"_s, QString()},
                        u"message:Cannot init connection"_s,
                        false},
        ChainFailureRow{"ConnectionFailed",
                        [](CSyncTestWorld& w, CSyncRunSettings&) { w.engine.connectResult = -4; },
                        {u"Connection failed. [-4]"_s, QString(), u"Connection failed"_s},
                        u"message:Connection failed"_s,
                        true},
        ChainFailureRow{"MachineFailed",
                        [](CSyncTestWorld& w, CSyncRunSettings&) { w.engine.machineResult = -2; },
                        {u"Enable to retrieve the machine owner"_s},
                        QString(),
                        true},
        ChainFailureRow{"OwnerUnknown",
                        [](CSyncTestWorld& w, CSyncRunSettings&) { w.engine.machineWord20 = 0x99; },
                        {u"Enable to retrieve the machine owner"_s},
                        QString(),
                        true},
        ChainFailureRow{
            "NoBindings", [](CSyncTestWorld&, CSyncRunSettings&) {}, {u"Nothing to do."_s}, QString(), true},
        ChainFailureRow{"InactiveOnly",
                        [](CSyncTestWorld& w, CSyncRunSettings&) {
                            CDocSynchEntry b = w.MakeBinding(u"a.txt"_s);
                            b.IsActive = false;
                            w.AddBinding(u"0"_s, b);
                        },
                        {u"Nothing to do."_s},
                        QString(),
                        true},
        ChainFailureRow{"NoCurrentUser",
                        [](CSyncTestWorld&, CSyncRunSettings&) {
                            CRegistry::Default().DeleteValue(RegRoot::CurrentUser, u"Software\\Veroz\\CurrentUser"_s,
                                                             QString());
                        },
                        {u"No user installed"_s},
                        u"stop-message:No user installed"_s,
                        true},
        ChainFailureRow{"NoPcDirectory",
                        [](CSyncTestWorld&, CSyncRunSettings&) {
                            CRegistry::Default().DeleteTree(RegRoot::CurrentUser,
                                                            u"Software\\Veroz\\Users\\user1\\PCDirectory"_s);
                        },
                        {u"Please select 'My Epoc Properties'"_s, u"and confirm the 'Current Folder'"_s,
                         u"on the General page first."_s},
                        u"stop-message:Please select 'My Epoc Properties'\nand confirm the 'Current Folder'\non the "
                        u"General page first."_s,
                        true},
        ChainFailureRow{
            "SingleBindingMissing",
            [](CSyncTestWorld& w, CSyncRunSettings& s) {
                w.AddBinding(u"3"_s, w.MakeBinding(u"a.txt"_s));
                s.singleBinding = true;
                s.keyName = u"7"_s;
            },
            {u"Binding 7 cannot be read and is left out : there is no such binding"_s, QString(), u"Bad Argument"_s},
            u"message:Bad Argument"_s,
            true},
        ChainFailureRow{"SingleBindingUnreadable",
                        [](CSyncTestWorld& w, CSyncRunSettings& s) {
                            w.AddBinding(u"7"_s, w.MakeBinding(u"a.txt"_s));
                            // Only a name is left: no strict read can take it.
                            const QString owner = QLatin1String(kOwner);
                            DeleteUserKey(owner, u"DocSynchEntries"_s, u"7"_s);
                            WriteEntryString(owner, u"DocSynchEntries"_s, u"7"_s, u"WinFileName"_s, u"a.txt"_s);
                            s.singleBinding = true;
                            s.keyName = u"7"_s;
                        },
                        {u"Bad Argument"_s},
                        u"message:Bad Argument"_s,
                        true},
        ChainFailureRow{"SingleBindingInactive",
                        [](CSyncTestWorld& w, CSyncRunSettings& s) {
                            CDocSynchEntry b = w.MakeBinding(u"a.txt"_s);
                            b.IsActive = false;
                            w.AddBinding(u"7"_s, b);
                            s.singleBinding = true;
                            s.keyName = u"7"_s;
                        },
                        {u"Inactive Binding"_s},
                        u"message:Inactive Binding"_s,
                        true}),
    [](const ::testing::TestParamInfo<ChainFailureRow>& info) { return std::string(info.param.name); });

TEST(SyncStartTest, ADamagedStoreIsNamedAndTheMissingSuiteSaid) {
    InstallSyncStrings();
    CTempEnv env;
    EXPECT_EQ(SyncStartRefusal(), u"Ericsson EPOC connect not installed"_s);
    RegWriteString(HKEY_LOCAL_MACHINE, QLatin1String(kPsiWinKey), u"Installation Directory"_s, env.Root());
    EXPECT_EQ(SyncStartRefusal(), QString());

    const QByteArray junk(4096, 'z');
    const QString broken = env.WriteFile(u"broken.db"_s, junk);
    env.SetEnv("DOVETAIL_REGISTRY", broken);
    EXPECT_EQ(SyncStartRefusal(), RegistryUnusableMessage(broken));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

TEST(SyncRunTest, LogHeaderAndDisconnectLines) {
    CSyncTestWorld world;
    world.engine.connectResult = -4;
    auto run = world.Run();
    const QStringList lines = world.LogLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], u"Dovetail Synchronization 1.0 (039)"_s);
    EXPECT_FALSE(lines[1].isEmpty());
    EXPECT_EQ(lines[2], QString());
    QString logged;
    ReadUserString(QLatin1String(kCurrentUser), u"Dovetail"_s, u"LogDocSynchCopy"_s, logged);
    EXPECT_EQ(logged, world.programDir + u"Dovetail Synchronization{user1}.srp"_s);

    // A disconnect is logged with its code, but only while the log is open.
    CSyncTestWorld again;
    CSyncRunSettings s = again.Settings();
    auto second = std::make_unique<CSyncRun>(again.ui, s);
    second->Initialise(&again.sink);
    second->HandleEvent(EngineEvent::Disconnected, 3);
    second->HandleEvent(EngineEvent::Disconnected, 0);
    EXPECT_EQ(again.RunLines(),
              (QStringList{u"Connection terminated! [3]"_s, QString(), u"Connection terminated!"_s, QString()}));
}

TEST(SyncRunTest, SingleBindingModeRunsOnlyThatBindingAfterTheOwnerIsKnown) {
    CSyncTestWorld world;
    world.AddBinding(u"3"_s, world.MakeBinding(u"a.txt"_s));
    world.AddBinding(u"7"_s, world.MakeBinding(u"b.txt"_s));
    world.WritePcFile(u"a.txt"_s, "a", kNow - 100);
    world.WritePcFile(u"b.txt"_s, "b", kNow - 100);
    CSyncRunSettings s = world.Settings();
    s.singleBinding = true;
    s.keyName = u"7"_s;
    auto run = world.Run(s);

    // Opened by the scan, and again just before the copy replaces it.
    EXPECT_EQ(world.engine.Matching(u"OpenRemoteFile"_s), QStringList(2, u"OpenRemoteFile 2:C:\\Documents\\b.txt"_s));
    EXPECT_EQ(world.engine.files.count(u"C:\\Documents\\b.txt"_s), 1u);
    EXPECT_EQ(world.engine.files.count(u"C:\\Documents\\a.txt"_s), 0u);
    EXPECT_EQ(run->Owner(), QLatin1String(kOwner));
    EXPECT_TRUE(world.ui.completionShown);

    // A key that does not exist is found out only once the owner is known.
    CSyncTestWorld missing;
    s = missing.Settings();
    s.singleBinding = true;
    s.keyName = u"9"_s;
    auto bad = missing.Run(s);
    EXPECT_TRUE(missing.engine.calls.contains(u"BeginSession"_s));
    EXPECT_EQ(missing.ui.Matching(u"message:"_s), QStringList{u"message:Bad Argument"_s});
}

TEST(SyncRunTest, RegularRunLogsEveryTransferAndMarksBindings) {
    CSyncTestWorld world;
    CDocSynchEntry keep = world.MakeBinding(u"b.txt"_s);
    keep.KeepCopy = true;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.AddBinding(u"1"_s, keep);
    world.AddBinding(u"2"_s, world.MakeBinding(u"c.txt"_s));
    world.WritePcFile(u"a.txt"_s, "pc a", kNow - 100);      // newer on the PC
    world.WritePcFile(u"b.txt"_s, "old b", kNow - 250000);  // newer on the handheld
    world.WriteDeviceFile(u"b.txt"_s, "epoc b", kNow - 100);
    world.WritePcFile(u"c.txt"_s, "c", kNow - 300000);  // unchanged since the last run
    world.WriteDeviceFile(u"c.txt"_s, "c", kNow - 300000);
    auto run = world.Run();

    const QString pc = world.pcDir;
    const QString backup = pc + u"user1/Dovetail/b.txt"_s;
    EXPECT_EQ(world.RunLines(), (QStringList{u"*** 2  files to synchronize."_s, QString(),
                                             u"Copied "_s + pc + u"a.txt -> C:\\Documents\\a.txt"_s,
                                             u"File copied to MC 218 : a.txt -> a.txt"_s, QString(),
                                             u"Backing up file "_s + pc + u"b.txt -> "_s + backup + u" ... Done."_s,
                                             u"Copied C:\\Documents\\b.txt -> "_s + pc + u"b.txt"_s,
                                             u"File copied to PC  : b.txt -> b.txt"_s, QString(), kComplete}));
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("pc a"));
    EXPECT_EQ(world.ReadPcFile(u"b.txt"_s), QByteArray("epoc b"));
    QFile saved(backup);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("old b"));
    for (const QString& key : {u"0"_s, u"1"_s}) {
        EXPECT_EQ(world.EntryNumber(key, u"WasUpdated"_s), 1u);
        EXPECT_EQ(world.EntryNumber(key, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow + 3));
    }
    EXPECT_EQ(world.EntryNumber(u"2"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
    EXPECT_EQ(world.ui.calls.filter(u"completion"_s), QStringList{u"completion:0"_s});
    EXPECT_EQ(world.ui.calls.last(), u"close:1"_s);
}

// After the handheld goes away mid-scan, a file that cannot be opened is not taken for an
// absent one: the PC copy would replace the handheld's newer file if it came back in time.
TEST(SyncRunTest, FilesUnreachableAfterADisconnectAreLeftAlone) {
    CSyncTestWorld world;
    for (const QString& name : {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s}) {
        world.AddBinding(QString::number(name.front().unicode() - u'a'), world.MakeBinding(name));
        world.WritePcFile(name, "pc", kNow - 5000);
        world.WriteDeviceFile(name, "newer on the handheld", kNow - 100);
    }
    world.engine.unplugBeforeOpening = u"C:\\Documents\\b.txt"_s;
    auto run = world.Run();

    const QStringList copies = world.engine.Matching(u"CopyFile"_s);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_TRUE(copies[0].contains(u"a.txt"_s));
    const QStringList lines = world.RunLines();
    EXPECT_TRUE(lines.contains(u"Connection terminated!"_s));
    EXPECT_TRUE(lines.contains(u"*** 1  files to synchronize."_s));
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\c.txt"_s].content, QByteArray("newer on the handheld"));
}

TEST(SyncRunTest, ProgressStepsOncePerBindingInEachPhase) {
    CSyncTestWorld world;
    for (const QString& name : {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s}) {
        world.AddBinding(QString::number(name.at(0).unicode() - 'a'), world.MakeBinding(name));
        world.WritePcFile(name, "x", kNow - 300000);
        world.WriteDeviceFile(name, "x", kNow - 300000);
    }
    world.WritePcFile(u"b.txt"_s, "new", kNow - 100);  // NoCopy, PcToDevice, NoCopy
    auto run = world.Run();

    QStringList progress;
    for (const QString& call : world.ui.calls)
        if (call.startsWith(u"range"_s) || call.startsWith(u"step"_s) || call.startsWith(u"pos"_s) ||
            call.startsWith(u"text"_s))
            progress << call;
    EXPECT_EQ(progress, (QStringList{u"text:Connecting..."_s, u"text:Identify MC 218..."_s,
                                     u"text:Looking for files to update with owner1..."_s, u"range:0,3"_s, u"step:1"_s,
                                     u"pos:0"_s, u"step"_s, u"step"_s, u"step"_s, u"pos:0"_s, u"step"_s,
                                     u"text:b.txt"_s, u"step"_s, u"step"_s, u"text:Done."_s}));
    EXPECT_EQ(world.RunLines().first(), u"*** 1  files to synchronize."_s);
}

TEST(SyncRunTest, OnlyTheFirst1024BindingsAreConsidered) {
    CSyncTestWorld world;
    CRegistry::Default().Transaction([&] {
        for (int i = 0; i < 1030; ++i)
            world.AddBinding(QString::number(i), world.MakeBinding(u"f%1.txt"_s.arg(i)));
        return true;
    });
    auto run = world.Run();
    EXPECT_EQ(world.engine.CountCalls(u"OpenRemoteFile"_s), 1024);
    EXPECT_EQ(world.ui.Matching(u"range"_s), QStringList{u"range:0,1024"_s});
    EXPECT_EQ(world.RunLines(), (QStringList{u"*** 0  files to synchronize."_s, QString(), kComplete}));
}

TEST(SyncRunTest, BusyFileIsReopenedAndReleasedOnceAfterTheCopyPhase) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 100);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 250000);
    world.engine.files[u"C:\\Documents\\a.txt"_s].busyTimes = 2;
    auto run = world.Run();

    // Three times in the scan, once more to check it before the copy.
    EXPECT_EQ(world.engine.CountCalls(u"OpenRemoteFile"_s), 4);
    EXPECT_EQ(world.engine.Matching(u"ReleaseRemoteFile"_s),
              QStringList{u"ReleaseRemoteFile 2:C:\\Documents\\a.txt"_s});
    const QStringList calls = world.engine.calls;
    const auto firstOf = [&calls](const QString& prefix) {
        return std::find_if(calls.begin(), calls.end(), [&](const QString& c) { return c.startsWith(prefix); }) -
               calls.begin();
    };
    EXPECT_GT(firstOf(u"ReleaseRemoteFile"_s), firstOf(u"CopyFile"_s));
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("pc"));
}

TEST(SyncRunTest, CloseIsForcedUpToTheRetryLimit) {
    struct Row {
        int closeFailures;
        bool givesUp;
    };
    // One binding: the run gives up when the counter has passed n + 1 = 2.
    for (const Row row : {Row{3, false}, Row{4, true}}) {
        CSyncTestWorld world;
        world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
        world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
        world.engine.files[u"C:\\Documents\\a.txt"_s].closeFailures = row.closeFailures;
        auto run = world.Run();
        EXPECT_EQ(world.engine.CountCalls(u"ForceCloseRemoteFile"_s), 3) << row.closeFailures;
        if (row.givesUp) {
            EXPECT_EQ(world.RunLines(), (QStringList{QString(), u"Unable to close an EPOC file : a.txt"_s, QString()}));
            EXPECT_TRUE(run->ErrorsOccurred());
            EXPECT_FALSE(world.ui.completionShown);
        } else {
            EXPECT_EQ(world.RunLines().last(), kComplete);
            EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), QByteArray("epoc"));
        }
    }
}

TEST(SyncRunTest, CopyFailureAnswers) {
    // Two bindings, both new on the PC; a's copy fails first. "Copied" is written only for a
    // copy that was made; a run with a failure ends saying so.
    enum Line { Head, Empty, CopyA, OkA, FailA, CopyB, OkB, FailB, Done, Stopped };
    struct Row {
        const char* name;
        std::vector<CopyErrorAnswer> answers;
        std::vector<int32_t> copyResults;
        int dialogs;
        int copies;
        std::vector<Line> lines;
    };
    const std::vector<Row> rows = {
        {"Retry",
         {CopyErrorAnswer::Retry},
         {-2},
         1,
         3,
         {Head, Empty, FailA, Empty, CopyA, OkA, Empty, CopyB, OkB, Empty, Done}},
        {"IgnoreFile", {CopyErrorAnswer::IgnoreFile}, {-2}, 1, 2, {Head, Empty, FailA, Empty, CopyB, OkB, Empty, Done}},
        {"IgnoreAll", {CopyErrorAnswer::IgnoreAll}, {-2, -2}, 1, 2, {Head, Empty, FailA, Empty, FailB, Empty, Done}},
        {"Stop", {CopyErrorAnswer::Stop}, {-2}, 1, 1, {Head, Empty, FailA, Empty, Stopped}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CSyncTestWorld world;
        for (const QString& name : {u"a.txt"_s, u"b.txt"_s}) {
            world.AddBinding(QString::number(name.at(0).unicode() - 'a'), world.MakeBinding(name));
            world.WritePcFile(name, "pc", kNow - 100);
        }
        world.ui.copyErrorAnswers.assign(row.answers.begin(), row.answers.end());
        world.engine.copyResults.assign(row.copyResults.begin(), row.copyResults.end());
        auto run = world.Run();

        const auto text = [&](Line line) {
            switch (line) {
                case Head:
                    return u"*** 2  files to synchronize."_s;
                case Empty:
                    return QString();
                case CopyA:
                case CopyB: {
                    const QString name = line == CopyA ? u"a.txt"_s : u"b.txt"_s;
                    return u"Copied "_s + world.pcDir + name + u" -> C:\\Documents\\"_s + name;
                }
                case OkA:
                    return u"File copied to MC 218 : a.txt -> a.txt"_s;
                case OkB:
                    return u"File copied to MC 218 : b.txt -> b.txt"_s;
                case FailA:
                    return u"Unable to copy file to MC 218 : a.txt -> a.txt"_s;
                case FailB:
                    return u"Unable to copy file to MC 218 : b.txt -> b.txt"_s;
                case Stopped:
                    return kStopped;
                case Done:
                    break;
            }
            return kCompleteWithErrors;
        };
        QStringList expected;
        for (const Line line : row.lines)
            expected << text(line);
        EXPECT_EQ(world.RunLines(), expected);
        const QStringList dialogs = world.ui.Matching(u"copy-error:"_s);
        EXPECT_EQ(dialogs.size(), row.dialogs);
        EXPECT_EQ(dialogs.value(0), u"copy-error:C:\\Documents\\a.txt"_s);
        EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), row.copies);
        EXPECT_EQ(world.ui.completionShown, row.lines.back() == Done);
        EXPECT_TRUE(run->ErrorsOccurred());
        EXPECT_EQ(world.ui.completionErrors, row.lines.back() == Done);
    }
}

TEST(SyncRunTest, PcFileInUseIsNotCopiedEitherWay) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    const QString path = world.WritePcFile(u"a.txt"_s, "pc", kNow - 100);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 5000);
    QProcess holder;
    holder.setStandardInputFile(path);
    holder.start(u"sleep"_s, {u"30"_s});
    ASSERT_TRUE(holder.waitForStarted());
    auto run = world.Run();
    holder.kill();
    holder.waitForFinished();

    EXPECT_EQ(world.RunLines(),
              (QStringList{u"The following file is not available; it may be used by another application."_s, u"a.txt"_s,
                           QString(), u"*** 0  files to synchronize."_s, QString(), kCompleteWithErrors}));
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 0);
    EXPECT_TRUE(world.ui.completionErrors);
}

// A key with letters after its digits is no binding: it is left alone, and binding 12 too.
TEST(SyncRunTest, KeyWithLettersAfterItsNumberIsNoBinding) {
    CSyncTestWorld world;
    world.AddBinding(u"12"_s, world.MakeBinding(u"other.txt"_s));
    world.AddBinding(u"12abc"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 100);
    auto run = world.Run();

    ASSERT_EQ(run->Bindings().size(), 1u);
    EXPECT_EQ(run->Bindings()[0].BindingNumber, 12);
    EXPECT_EQ(world.EntryNumber(u"12abc"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
    EXPECT_EQ(world.EntryNumber(u"12"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
}

TEST(SyncRunTest, ConversionFileLivesInAPrivateFolderRemovedAtTeardown) {
    CSyncTestWorld world;
    auto run = std::make_unique<CSyncRun>(world.ui, world.Settings());
    run->Initialise(&world.sink);
    const QString file = run->TempFile();
    const QString folder = QFileInfo(file).path();
    EXPECT_EQ(QFileInfo(file).fileName(), u"_Dovetl_.dt_"_s);
    EXPECT_TRUE(folder.startsWith(world.env.Root()));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    QFile(file).open(QIODevice::WriteOnly);
    run.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(world.engine.calls.contains(u"SetEventSink null"_s));
}

TEST(SyncRunTest, StopEndsTheLogWithItsOwnLine) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 100);
    auto run = std::make_unique<CSyncRun>(world.ui, world.Settings());
    run->Initialise(&world.sink);
    while (!world.engine.events.empty() && world.engine.events.front().first != EngineEvent::RemoteFileOpened) {
        auto [event, result] = world.engine.events.front();
        world.engine.events.pop_front();
        run->HandleEvent(event, result);
    }
    const QStringList before = world.LogLines();
    run->Stop();
    world.Continue(*run);
    run->Stop();  // a second Stop (the window closing) adds nothing
    run.reset();
    EXPECT_EQ(world.LogLines(), before + QStringList{kStopped});
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 0);
    EXPECT_FALSE(world.ui.completionShown);
}

}  // namespace
