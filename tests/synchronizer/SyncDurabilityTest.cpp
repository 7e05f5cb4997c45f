// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProfileRegistry.h"
#include "platform/engine/SimulatorConfig.h"
#include "tests/support/FakeConverter.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kComplete = u"Synchronization complete."_s;
const QString kCompleteWithErrors = u"Synchronization completed with errors."_s;
const QString kStopped = u"Synchronization stopped."_s;
const QString kNotDurable = u"Not marked, the copy could not be flushed to disk : "_s;
const QString kSourceChanged = u"Not marked, the source changed during synchronization : "_s;
const QString kSourceChangedMidCopy = u"Not copied, the source changed while it was copied : "_s;
const QString kGone = u"Not marked, the binding was deleted during synchronization : "_s;
const QString kNoBackup = u"Not copied, no backup of the PC file could be made : "_s;
constexpr uint32_t kOldStamp = static_cast<uint32_t>(kNow - 200000);

// Bindings a.txt, b.txt ... numbered 0, 1 ..., each with a newer PC file to copy over the handheld's.
void AddPcChanges(CSyncTestWorld& world, const QStringList& names) {
    for (int i = 0; i < names.size(); ++i) {
        world.AddBinding(QString::number(i), world.MakeBinding(names[i]));
        world.WritePcFile(names[i], "pc " + names[i].toUtf8(), kNow - 100);
        world.WriteDeviceFile(names[i], "old", kNow - 300000);
    }
}

QString ToDevice(const CSyncTestWorld& world, const QString& name) {
    return world.pcDir + name + u" -> C:\\Documents\\"_s + name;
}

// A run started by hand, so that a test can reach it while it runs.
std::unique_ptr<CSyncRun> StartRun(CSyncTestWorld& world, CSyncRunSettings settings) {
    auto run = std::make_unique<CSyncRun>(world.ui, std::move(settings));
    run->Initialise(&world.sink);
    return run;
}

struct DurableRow {
    const char* name;
    int32_t durableResult;
    uint32_t marked;  // WasUpdated afterwards (the bindings start at 1 with an old stamp)
};

class DurableMarkTest : public ::testing::TestWithParam<DurableRow> {};

// A binding is marked only once the handheld holds its copy for good; before the last line
// and the report, the handheld holds everything the run wrote.
TEST_P(DurableMarkTest, MarksOnlyWhatIsOnDisk) {
    const DurableRow& row = GetParam();
    CSyncTestWorld world;
    AddPcChanges(world, {u"a.txt"_s, u"b.txt"_s});
    world.engine.durableResults = {row.durableResult};
    auto run = world.Run();

    const QStringList copies = world.engine.Matching(u"CopyFile"_s);
    ASSERT_EQ(copies.size(), 2);
    EXPECT_EQ(world.engine.calls.indexOf(u"MakeCopiesDurable"_s), world.engine.calls.indexOf(copies.last()) + 1);
    EXPECT_EQ(world.engine.CountCalls(u"MakeCopiesDurable"_s), 1);
    for (const QString& key : {u"0"_s, u"1"_s}) {
        const bool marked = world.EntryNumber(key, u"LastSyncTimeStamp"_s) != kOldStamp;
        EXPECT_EQ(marked, row.durableResult == 0) << key.toStdString();
    }
    const QStringList lines = world.RunLines();
    if (row.durableResult == 0) {
        EXPECT_EQ(lines.last(), kComplete);
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), uint32_t(kNow + 3));
    } else {
        const QString code = u" [%1]"_s.arg(row.durableResult);
        EXPECT_TRUE(lines.contains(kNotDurable + ToDevice(world, u"a.txt"_s) + code))
            << lines.join(u'\n').toStdString();
        EXPECT_TRUE(lines.contains(kNotDurable + ToDevice(world, u"b.txt"_s) + code));
        EXPECT_EQ(lines.last(), kCompleteWithErrors);
        EXPECT_TRUE(world.ui.completionErrors);
    }
}

INSTANTIATE_TEST_SUITE_P(Sync, DurableMarkTest,
                         ::testing::Values(DurableRow{"Durable", 0, 1},
                                           DurableRow{"HandheldPulledFirst", EngineError::kNotReady, 1},
                                           DurableRow{"FlushFailed", EngineError::kGeneral, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DurableMarks, ARunThatCopiesNothingFlushesNothing) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "same", kNow - 300000);
    world.WriteDeviceFile(u"a.txt"_s, "same", kNow - 300000);
    auto run = world.Run();
    EXPECT_EQ(world.engine.CountCalls(u"MakeCopiesDurable"_s), 0);
    EXPECT_EQ(world.RunLines().last(), kComplete);
}

// Marks are not held back for long: a run killed loses only its last moments' marks, and a
// copy-error prompt, which may stay open for minutes, comes after the marks of what was copied.
TEST(DurableMarks, AreMadeOftenAndBeforeACopyErrorPrompt) {
    CSyncTestWorld world;
    AddPcChanges(world, {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s});
    CSyncRunSettings settings = world.Settings();
    settings.marksAtLeastEvery = std::chrono::milliseconds(0);
    world.engine.copyResults = {0, 0, EngineError::kGeneral};
    QList<uint32_t> markedDuringCopies;
    world.engine.duringCopy = [&] { markedDuringCopies << world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s); };
    uint32_t markedDuringPrompt = 0;
    world.ui.duringCopyError = [&] { markedDuringPrompt = world.EntryNumber(u"1"_s, u"LastSyncTimeStamp"_s); };
    world.ui.copyErrorAnswers = {CopyErrorAnswer::Stop};
    auto run = StartRun(world, settings);
    world.Continue(*run);

    EXPECT_EQ(markedDuringCopies, (QList<uint32_t>{kOldStamp, uint32_t(kNow + 3), uint32_t(kNow + 3)}));
    EXPECT_EQ(markedDuringPrompt, uint32_t(kNow + 3));
    EXPECT_EQ(world.engine.CountCalls(u"MakeCopiesDurable"_s), 2);
    EXPECT_EQ(world.EntryNumber(u"2"_s, u"LastSyncTimeStamp"_s), kOldStamp);
    EXPECT_EQ(world.RunLines().last(), kStopped);
    EXPECT_FALSE(world.ui.completionShown);
}

// Stop pressed while a copy is under way: that copy is ended (it could run on for minutes, and the
// process with it), the run makes what it copied before durable and marks it, then closes its
// window itself, its last line naming what was not copied. Abandoned before that, nothing is
// marked and the log says so.
TEST(DurableMarks, StopMarksWhatWasCopiedUnlessAbandoned) {
    for (const bool abandon : {false, true}) {
        SCOPED_TRACE(abandon ? "abandoned" : "stopped");
        CSyncTestWorld world;
        AddPcChanges(world, {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s});
        auto run = StartRun(world, world.Settings());
        int copies = 0;
        bool deferred = false;
        world.engine.duringCopy = [&] {
            if (++copies != 2)
                return;
            deferred = run->Stop();
            if (abandon)
                run->Abandon();
        };
        world.Continue(*run);

        EXPECT_TRUE(deferred);
        EXPECT_EQ(copies, 2);
        EXPECT_EQ(world.ui.Count(u"close:0"_s), abandon ? 0 : 1);  // an abandoned run's window is the caller's to close
        EXPECT_FALSE(world.ui.completionShown);
        EXPECT_EQ(world.engine.CountCalls(u"CancelCopies"_s), 1);
        EXPECT_EQ(world.engine.files[u"C:\\Documents\\b.txt"_s].content, QByteArray("old"));
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), abandon ? kOldStamp : uint32_t(kNow + 3));
        EXPECT_EQ(world.EntryNumber(u"1"_s, u"LastSyncTimeStamp"_s), kOldStamp);
        EXPECT_EQ(world.EntryNumber(u"2"_s, u"LastSyncTimeStamp"_s), kOldStamp);
        const QStringList lines = world.RunLines();
        EXPECT_EQ(lines.last(),
                  u"Synchronization stopped. Files copied: 1; not copied : "_s + ToDevice(world, u"b.txt"_s));
        EXPECT_EQ(lines.contains(kNotDurable + ToDevice(world, u"a.txt"_s)), abandon)
            << lines.join(u'\n').toStdString();
    }
}

// A handheld file that cannot be closed ends the run; what the copy phase copied before is
// made durable and marked all the same.
TEST(DurableMarks, ARunEndedByAFileThatCannotBeClosedMarksWhatItCopied) {
    CSyncTestWorld world;
    AddPcChanges(world, {u"a.txt"_s, u"b.txt"_s});
    CSyncRunSettings settings = world.Settings();
    settings.marksAtLeastEvery = std::chrono::hours(1);
    world.engine.duringCopy = [&] { world.engine.files[u"C:\\Documents\\b.txt"_s].closeFailures = 100; };
    auto run = StartRun(world, settings);
    world.Continue(*run);

    EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), uint32_t(kNow + 3));
    EXPECT_EQ(world.EntryNumber(u"1"_s, u"LastSyncTimeStamp"_s), kOldStamp);
    const QStringList lines = world.RunLines();
    EXPECT_TRUE(lines.contains(u"Copied "_s + ToDevice(world, u"a.txt"_s))) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines.mid(lines.size() - 3),
              (QStringList{QString(), u"Unable to close an EPOC file : b.txt"_s, QString()}));
    EXPECT_TRUE(run->ErrorsOccurred());
}

struct SavedRow {
    const char* name;
    SyncDirection direction;
    bool converting;
};

class SavedDuringCopyTest : public ::testing::TestWithParam<SavedRow> {};

// The source saved anew while it is copied (an editor writing a new file and renaming it over
// the old one leaves the copy whole, but old): the binding is not marked and the run says so;
// a conversion into the PC document is not made at all.
TEST_P(SavedDuringCopyTest, LeavesTheBindingUnmarked) {
    const SavedRow& row = GetParam();
    const bool toDevice = row.direction == SyncDirection::PcToDevice;
    // The engine copying the next document while this one is looked at again, or not.
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "looked at in the copy" : "looked at alone");
        CSyncTestWorld world;
        world.engine.looksAtOnce = atOnce;
        auto state = std::make_shared<CFakeConverterState>();
        state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s}};
        world.converters = MakeFakeConverters(state);
        CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
        if (row.converting)
            b.WinFileType = u"Word"_s;
        world.AddBinding(u"0"_s, b);
        world.WritePcFile(u"a.txt"_s, "pc", toDevice ? kNow - 100 : kNow - 300000);
        world.WriteDeviceFile(u"a.txt"_s, "handheld", toDevice ? kNow - 300000 : kNow - 100);
        const QString others[] = {u"b.txt"_s, u"c.txt"_s};
        for (const QString& other : others) {
            world.AddBinding(QString::number(other.front().unicode() - u'a'), world.MakeBinding(other));
            world.WritePcFile(other, "pc " + other.toLatin1(), kNow - 100);
            world.WriteDeviceFile(other, "handheld", kNow - 300000);
        }
        world.engine.duringCopy = [&] {
            world.engine.duringCopy = nullptr;
            if (toDevice) {
                const QString saved = world.WritePcFile(u"a.txt.saved"_s, "pc, saved anew", kNow - 50);
                ASSERT_TRUE(::rename(QFile::encodeName(saved).constData(),
                                     QFile::encodeName(world.pcDir + u"a.txt"_s).constData()) == 0);
            } else {
                world.WriteDeviceFile(u"a.txt"_s, "handheld, saved anew", kNow - 50);
            }
        };
        auto run = world.Run();

        const QString pc = world.pcDir + u"a.txt"_s;
        const QString epoc = u"C:\\Documents\\a.txt"_s;
        const QString transfer = toDevice ? pc + u" -> "_s + epoc : epoc + u" -> "_s + pc;
        const QStringList lines = world.RunLines();
        const qsizetype at = lines.indexOf(kSourceChanged + transfer);
        EXPECT_GE(at, 1) << lines.join(u'\n').toStdString();
        // Replaced, unless the conversion into the PC document was still to come.
        if (row.converting) {
            EXPECT_FALSE(lines.contains(u"Converted "_s + transfer));
        } else {
            EXPECT_EQ(lines.value(at - 1), u"Copied "_s + transfer);
        }
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), kOldStamp);
        EXPECT_TRUE(world.ui.completionErrors);
        if (row.converting) {
            EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), QByteArray("pc"));
        }
        // The other documents are copied and marked all the same, and logged after this one.
        qsizetype after = at;
        for (const QString& other : others) {
            EXPECT_EQ(world.engine.files[u"C:\\Documents\\"_s + other].content, "pc " + other.toLatin1());
            EXPECT_NE(world.EntryNumber(QString::number(other.front().unicode() - u'a'), u"LastSyncTimeStamp"_s),
                      kOldStamp);
            const qsizetype line = lines.indexOf(u"Copied "_s + world.pcDir + other + u" -> C:\\Documents\\"_s + other);
            EXPECT_GT(line, after) << other.toStdString();
            after = line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sync, SavedDuringCopyTest,
                         ::testing::Values(SavedRow{"PcToHandheld", SyncDirection::PcToDevice, false},
                                           SavedRow{"HandheldToPc", SyncDirection::DeviceToPc, false},
                                           SavedRow{"HandheldToPcConverted", SyncDirection::DeviceToPc, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A handheld source that cannot be looked at after its copy (gone, or the handheld with it)
// cannot be shown to be what was copied.
TEST(SavedDuringCopy, AHandheldSourceOutOfSightAfterItsCopyLeavesTheBindingUnmarked) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 300000);
    world.WriteDeviceFile(u"a.txt"_s, "handheld", kNow - 100);
    world.engine.afterCopy = [&] { world.engine.files.erase(u"C:\\Documents\\a.txt"_s); };
    auto run = world.Run();

    const QStringList lines = world.RunLines();
    EXPECT_TRUE(
        lines.contains(u"Not marked, the source could not be looked at after its copy : C:\\Documents\\a.txt -> "_s +
                       world.pcDir + u"a.txt"_s))
        << lines.join(u'\n').toStdString();
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), kOldStamp);
    EXPECT_EQ(lines.last(), kCompleteWithErrors);
}

// The engine refuses a copy whose source was written to while it read it. Retry copies the
// source as it is now, and the binding is marked once that copy holds it.
TEST(SavedDuringCopy, TheEnginesRefusalIsSaidAndRetryCopiesTheNewContent) {
    for (const bool toDevice : {true, false}) {
        SCOPED_TRACE(toDevice ? "to the handheld" : "to the PC");
        CSyncTestWorld world;
        world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
        world.WritePcFile(u"a.txt"_s, "pc", toDevice ? kNow - 100 : kNow - 300000);
        world.WriteDeviceFile(u"a.txt"_s, "handheld", toDevice ? kNow - 300000 : kNow - 100);
        world.engine.copyResults = {EngineError::kSourceChanged, 0};
        world.engine.duringCopy = [&] {
            world.engine.duringCopy = nullptr;
            if (toDevice)
                world.WritePcFile(u"a.txt"_s, "pc, being saved", kNow - 50);
            else
                world.WriteDeviceFile(u"a.txt"_s, "handheld, being saved", kNow - 50);
        };
        world.ui.copyErrorAnswers = {CopyErrorAnswer::Retry};
        auto run = world.Run();

        const QString pc = world.pcDir + u"a.txt"_s;
        const QString epoc = u"C:\\Documents\\a.txt"_s;
        const QString transfer = toDevice ? pc + u" -> "_s + epoc : epoc + u" -> "_s + pc;
        const QStringList lines = world.RunLines();
        EXPECT_TRUE(lines.contains(kSourceChangedMidCopy + transfer)) << lines.join(u'\n').toStdString();
        EXPECT_EQ(world.ui.Matching(u"copy-error:"_s), QStringList{u"copy-error:"_s + (toDevice ? epoc : pc)});
        // Said as it happened, not as a device missing or write-protected.
        EXPECT_EQ(world.ui.copyErrorReasons, QStringList{u"The file was saved while it was being copied, so the copy "
                                                         u"was not kept. Retry copies it as it is now."_s});
        EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 2);
        if (toDevice) {
            EXPECT_EQ(world.engine.files[epoc].content, QByteArray("pc, being saved"));
        } else {
            EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), QByteArray("handheld, being saved"));
        }
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), uint32_t(kNow + 3));
        EXPECT_FALSE(lines.contains(kSourceChanged + transfer));
        EXPECT_EQ(lines.last(), kCompleteWithErrors);
    }
}

struct BackupRow {
    const char* name;
    std::function<void(const CSyncTestWorld&)> arrange;
    const char* firstLine;  // after the scan's two lines
};

class FailedBackupTest : public ::testing::TestWithParam<BackupRow> {};

// "Keep a backup" asks for one copy of the old document: without it, the document is not
// replaced.
TEST_P(FailedBackupTest, StopsTheTransfer) {
    const BackupRow& row = GetParam();
    CSyncTestWorld world;
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
    b.KeepCopy = true;
    world.AddBinding(u"0"_s, b);
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 250000);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    row.arrange(world);
    auto run = world.Run();

    const QString pc = world.pcDir + u"a.txt"_s;
    const QStringList lines = world.RunLines();
    EXPECT_TRUE(lines.value(2).startsWith(QString::fromUtf8(row.firstLine))) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(kNoBackup + u"C:\\Documents\\a.txt -> "_s + pc));
    EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), QByteArray("pc"));
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 0);
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), kOldStamp);
    EXPECT_TRUE(world.ui.completionErrors);
    EXPECT_EQ(lines.last(), kCompleteWithErrors);
}

INSTANTIATE_TEST_SUITE_P(
    Sync, FailedBackupTest,
    ::testing::Values(BackupRow{"FolderImpossible",
                                [](const CSyncTestWorld& world) {
                                    QFile blocker(world.pcDir + u"user1"_s);
                                    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
                                },
                                "The Ericsson EPOC Connect user folder does not exist and is impossible to create."},
                      BackupRow{"NameTakenByAFolder",
                                [](const CSyncTestWorld& world) {
                                    ASSERT_TRUE(QDir().mkpath(world.pcDir + u"user1/Dovetail/a.txt/inside"_s));
                                },
                                "Backing up file "}),
    [](const auto& info) { return std::string(info.param.name); });

// A binding deleted in the manager while the run waits on a prompt is not brought back by the
// run's writes, neither by its mark nor by a conversion's type name.
TEST(DeletedDuringRun, IsNotRecreated) {
    for (const bool converting : {false, true}) {
        SCOPED_TRACE(converting ? "converting" : "copying");
        CSyncTestWorld world;
        auto state = std::make_shared<CFakeConverterState>();
        state->items = {{u"Word\n{1}"_s, u"Text\n{2}"_s}};
        world.converters = MakeFakeConverters(state);
        CDocSynchEntry first = world.MakeBinding(u"a.txt"_s);
        if (converting)
            first.WinFileType = u"Document"_s;  // all converters read Word: the name is rewritten
        CDocSynchEntry second = world.MakeBinding(u"b.txt"_s);
        second.PromptBothChanged = true;
        world.AddBinding(u"0"_s, first);
        world.AddBinding(u"1"_s, second);
        world.WritePcFile(u"a.txt"_s, "pc a", kNow - 100);
        world.WriteDeviceFile(u"a.txt"_s, "old", kNow - 300000);
        world.WritePcFile(u"b.txt"_s, "pc b", kNow - 100);
        world.WriteDeviceFile(u"b.txt"_s, "epoc b", kNow - 50);
        world.ui.bothChangedAnswers = {BothChangedAnswer::LeaveBoth};
        world.ui.duringPrompt = [] { ASSERT_TRUE(DeleteDocSynchEntry(QLatin1String(kOwner), 0)); };
        auto run = world.Run();

        EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content,
                  QByteArray(converting ? "converted:pc a" : "pc a"));
        EXPECT_FALSE(UserEntryExists(QLatin1String(kOwner), QLatin1String(kDocSynchArea), u"0"_s));
        EXPECT_EQ(FindFreeEntryNumber(QLatin1String(kOwner)), 0);
        const QStringList lines = world.RunLines();
        EXPECT_TRUE(lines.contains(kGone + u"0 : "_s + ToDevice(world, u"a.txt"_s))) << lines.join(u'\n').toStdString();
        // The user's own deletion is no failure of the run.
        EXPECT_EQ(lines.last(), kComplete);
    }
}

}  // namespace
