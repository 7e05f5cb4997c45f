// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/Registry.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kEntry = u"Software\\Veroz\\Users\\owner1\\DocSynchEntries\\0"_s;

// Every content either side or the backup folder holds.
QList<QByteArray> Survivors(CSyncTestWorld& world) {
    QList<QByteArray> all{world.ReadPcFile(u"a.txt"_s), world.engine.files[u"C:\\Documents\\a.txt"_s].content};
    const QDir backups(world.pcDir + u"user1/Dovetail"_s);
    for (const QString& name : backups.entryList(QDir::Files)) {
        QFile f(backups.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all << f.readAll();
    }
    return all;
}

struct ClockRow {
    const char* name;
    // After a first run that put "base" on both sides and recorded it.
    std::function<void(CSyncTestWorld&)> change;
    int copies;                     // engine copies of the second run, keeping a replaced file included
    QList<QByteArray> mustSurvive;  // somewhere: either side or the backup folder
    QByteArray pcAfter;             // the PC document after the second run
    bool forgetRecord = false;      // decided as a binding synchronized before states were recorded
    bool asksBothChanged = false;
};

void ShiftDevice(CSyncTestWorld& w, int64_t by) {
    w.engine.files[u"C:\\Documents\\a.txt"_s].modifiedUtc += by;
}

class ClockTest : public ::testing::TestWithParam<ClockRow> {
protected:
    void Check(bool atOnce);
};

// Each row both ways: the handheld's files opened one by one, and looked at and read together.
TEST_P(ClockTest, NoEditIsLostAndNothingUnchangedIsCopied) {
    for (const bool atOnce : {false, true})
        Check(atOnce);
}

void ClockTest::Check(bool atOnce) {
    SCOPED_TRACE(atOnce ? "together" : "one by one");
    const ClockRow& row = GetParam();
    CSyncTestWorld world;
    world.engine.looksAtOnce = atOnce;
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
    b.PromptBothChanged = row.asksBothChanged;
    world.AddBinding(u"0"_s, b);
    world.WritePcFile(u"a.txt"_s, "base", kNow - 1000);
    world.WriteDeviceFile(u"a.txt"_s, "old", kNow - 2000);
    world.Run();
    ASSERT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, "base");
    if (row.forgetRecord)
        CRegistry::Default().SetString(RegRoot::CurrentUser, kEntry, u"SyncMachine"_s, QString());

    row.change(world);
    const int before = world.engine.CountCalls(u"CopyFile"_s);
    world.ui.closed = false;
    world.Run();

    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s) - before, row.copies) << world.RunLines().join(u'|').toStdString();
    const QList<QByteArray> survivors = Survivors(world);
    for (const QByteArray& edit : row.mustSurvive)
        EXPECT_TRUE(survivors.contains(edit)) << edit.toStdString();
    EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), row.pcAfter);
    EXPECT_EQ(!world.ui.Matching(u"both-changed:"_s).isEmpty(), row.asksBothChanged);
    EXPECT_EQ(world.engine.CountCalls(u"LookAtRemoteFiles"_s) > 0, atOnce);
}

const ClockRow kClockRows[] = {
    {"HandheldTimesAnHourLater", [](CSyncTestWorld& w) { ShiftDevice(w, 3600); }, 0, {"base"}, "base"},
    {"HandheldTimesFiveHoursEarlier", [](CSyncTestWorld& w) { ShiftDevice(w, -5 * 3600); }, 0, {"base"}, "base"},
    {"PcTimeAnHourLater",
     [](CSyncTestWorld& w) { w.WritePcFile(u"a.txt"_s, "base", kNow + 3600); },
     0,
     {"base"},
     "base"},
    {"HandheldInTheFutureAgainstATodaysPcEdit",
     [](CSyncTestWorld& w) {
         w.WriteDeviceFile(u"a.txt"_s, "handheld edit", kNow + 86400);
         w.WritePcFile(u"a.txt"_s, "pc edit", kNow - 10);
     },
     2,
     {"handheld edit", "pc edit"},
     "pc edit"},
    {"HandheldEditedOnAClockBehind",
     [](CSyncTestWorld& w) { w.WriteDeviceFile(u"a.txt"_s, "edited behind", kNow - 50000); },
     1,
     {"edited behind"},
     "edited behind"},
    {"DriverKeepsTheOldTime",
     [](CSyncTestWorld& w) {
         auto& f = w.engine.files[u"C:\\Documents\\a.txt"_s];
         f.content = "base and more";
     },
     1,
     {"base and more"},
     "base and more"},
    {"PcEditASecondAfterTheReport",
     [](CSyncTestWorld& w) { w.WritePcFile(u"a.txt"_s, "BASE", kNow + 4); },
     1,
     {"BASE"},
     "BASE"},
    {"BothEditedWithoutAPrompt",
     [](CSyncTestWorld& w) {
         w.WritePcFile(u"a.txt"_s, "pc two", kNow + 10);
         w.WriteDeviceFile(u"a.txt"_s, "handheld two", kNow + 20);
     },
     1,
     {"pc two", "handheld two"},
     "handheld two"},
    {"FutureStampKeepsTheBothChangedPrompt",
     [](CSyncTestWorld& w) {
         CRegistry::Default().SetNumber(RegRoot::CurrentUser, kEntry, u"LastSyncTimeStamp"_s, uint32_t(kNow + 86400));
         w.WritePcFile(u"a.txt"_s, "pc three", kNow - 30);
         w.WriteDeviceFile(u"a.txt"_s, "handheld three", kNow - 20);
     },
     1,
     {"pc three", "handheld three"},
     "handheld three",
     true,
     true},
};

INSTANTIATE_TEST_SUITE_P(Sync, ClockTest, ::testing::ValuesIn(kClockRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The state recorded with the mark spares the third run any work: a moved time found unchanged
// is recorded anew, and nothing is read again.
// Read alone or as it is looked at, the same.
TEST(SyncRecordTest, AMovedTimeIsReadOnce) {
    for (const bool atOnce : {false, true}) {
        CSyncTestWorld world;
        world.engine.looksAtOnce = atOnce;
        world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
        world.WritePcFile(u"a.txt"_s, "base", kNow - 1000);
        world.Run();
        ShiftDevice(world, 3600);
        for (int expected : {1, 1}) {
            world.ui.closed = false;
            world.Run();
            EXPECT_EQ(world.engine.CountCalls(u"ReadFingerprint"_s), expected);
            EXPECT_EQ(world.engine.CountCalls(u"ReadFingerprint looked"_s), atOnce ? expected : 0);
            EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 1);
        }
    }
}

TEST(SyncRecordTest, ANumberTakenByAnotherBindingDuringAPromptIsNotMarked) {
    CSyncTestWorld world;
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
    b.Prompt24Hrs = true;
    b.WasUpdated = true;
    b.LastSyncTimeStamp = uint32_t(kNow - 3600);
    world.AddBinding(u"3"_s, b);
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 10);
    world.WriteDeviceFile(u"a.txt"_s, "old", kNow - 7200);
    world.ui.recentSyncAnswers = {RecentSyncAnswer::SynchronizeAnyway};
    world.ui.duringPrompt = [&] {
        CRegistry::Default().DeleteTree(RegRoot::CurrentUser, kEntry.chopped(1) + u"3"_s);
        CDocSynchEntry other = world.MakeBinding(u"other.txt"_s);
        world.AddBinding(u"3"_s, other);
    };
    world.Run();

    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, "pc");
    EXPECT_EQ(world.EntryNumber(u"3"_s, u"LastSyncTimeStamp"_s), uint32_t(kNow - 200000));
    EXPECT_TRUE(world.RunLines().filter(u"Not marked, the binding was changed during synchronization : 3"_s).size() ==
                1)
        << world.RunLines().join(u'|').toStdString();
}

// Two bindings never write one file: not two backups of one name, not one handheld file
// through two spellings.
TEST(SyncRecordTest, BindingsNeverShareABackupOrAFile) {
    CSyncTestWorld world;
    QDir(world.pcDir).mkpath(u"x"_s);
    QDir(world.pcDir).mkpath(u"y"_s);
    for (const auto& [key, folder, epoc] :
         {std::tuple{u"1"_s, u"x/"_s, u"Notes"_s}, {u"2"_s, u"y/"_s, u"Other"_s}, {u"5"_s, u"x/"_s, u"NOTES"_s}}) {
        CDocSynchEntry b = world.MakeBinding(u"notes.txt"_s);
        b.WinPath = world.pcDir + folder;
        b.EpocFileName = epoc;
        b.KeepCopy = true;
        b.CopyRule = kCopyDeviceToPc;
        world.AddBinding(key, b);
        world.WritePcFile(folder + u"notes.txt"_s, "pc " + folder.toUtf8(), kNow - 250000);
        world.WriteDeviceFile(epoc, "handheld " + epoc.toUtf8(), kNow - 100);
    }
    world.Run();

    EXPECT_EQ(world.ReadPcFile(u"x/notes.txt"_s), "handheld Notes");
    EXPECT_EQ(world.ReadPcFile(u"y/notes.txt"_s), "handheld Other");
    const QDir backups(world.pcDir + u"user1/Dovetail"_s);
    EXPECT_EQ(backups.entryList(QDir::Files), (QStringList{u"notes (binding 1).txt"_s, u"notes (binding 2).txt"_s}));
    EXPECT_EQ(world.RunLines().filter(u"Binding 5 is left out: binding 1 names the same file"_s).size(), 1);
}

TEST(SyncRecordTest, TheReplacedSideIsKeptUnderANameThatSaysWhatItIs) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "base", kNow - 1000);
    world.Run();
    world.WritePcFile(u"a.txt"_s, "pc edit", kNow + 30);
    world.WriteDeviceFile(u"a.txt"_s, "handheld edit", kNow + 10);
    world.ui.closed = false;
    world.Run();

    const QStringList kept = QDir(world.pcDir + u"user1/Dovetail"_s).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(kept[0].startsWith(u"a (MC 218, binding 0, "_s) && kept[0].endsWith(u".txt"_s))
        << kept[0].toStdString();
    EXPECT_EQ(
        world.RunLines().filter(u"Both files changed; the replaced one is kept : C:\\Documents\\a.txt -> "_s).size(),
        1);
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, "pc edit");
}

}  // namespace

// Bindings read ahead stand for the store as it was then, and only their owner's run takes them:
// a binding added afterwards waits for the next run, another user's run reads its own.
TEST(SyncRecordTest, BindingsReadAheadAreTakenByTheirOwnersRunOnly) {
    for (const bool owners : {true, false}) {
        const char* current = owners ? kOwner : kCurrentUser;
        CSyncTestWorld world;
        CRegistry& reg = CRegistry::Default();
        reg.SetString(RegRoot::CurrentUser, u"Software\\Veroz\\CurrentUser"_s, {}, QLatin1String(current));
        reg.SetString(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\owner1\\PCDirectory"_s, {}, world.pcDir);
        world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
        world.WritePcFile(u"a.txt"_s, "a", kNow - 100);
        CSyncRunSettings settings = world.Settings();
        settings.ahead = ReadBindingsAhead();
        AwaitBindingsAhead(*settings.ahead);
        world.AddBinding(u"1"_s, world.MakeBinding(u"b.txt"_s));
        world.WritePcFile(u"b.txt"_s, "b", kNow - 100);
        world.Run(settings);
        EXPECT_EQ(world.engine.files.count(u"C:\\Documents\\a.txt"_s), 1u) << current;
        EXPECT_EQ(world.engine.files.count(u"C:\\Documents\\b.txt"_s), owners ? 0u : 1u) << current;
    }
}
