// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeConverter.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kComplete = u"Synchronization complete."_s;

TEST(SyncEdgeCases, InactiveBindingIsMentionedNowhere) {
    CSyncTestWorld world;
    for (const QString& name : {u"a.txt"_s, u"b.txt"_s, u"hidden.txt"_s, u"c.txt"_s}) {
        CDocSynchEntry b = world.MakeBinding(name);
        b.IsActive = name != u"hidden.txt"_s;
        world.AddBinding(QString::number(world.engine.files.size()), b);
        world.WritePcFile(name, "pc", kNow - 100);
        world.WriteDeviceFile(name, "epoc", kNow - 250000);
    }
    auto run = world.Run();

    EXPECT_EQ(run->Bindings().size(), 3u);
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 3);
    EXPECT_EQ(world.ui.Matching(u"range"_s), QStringList{u"range:0,3"_s});
    EXPECT_EQ(world.RunLines().first(), u"*** 3  files to synchronize."_s);
    for (const QStringList* seen : {&world.engine.calls, &world.ui.calls}) {
        for (const QString& line : *seen)
            EXPECT_FALSE(line.contains(u"hidden"_s)) << line.toStdString();
    }
    for (const QString& line : world.LogLines())
        EXPECT_FALSE(line.contains(u"hidden"_s)) << line.toStdString();
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\hidden.txt"_s].content, QByteArray("epoc"));
}

struct RunRow {
    const char* name;
    int32_t copyRule;
    bool pcExists;
    int64_t pcTime;
    int64_t deviceTime;
    bool keepCopy;
    std::deque<BothChangedAnswer> answers;
    QByteArray pcAfter;      // the PC file once the run ended ("" = none)
    QByteArray deviceAfter;  // the handheld file once the run ended
    QStringList lines;       // the run's lines; %1 is the PC folder
};

class SyncRunRowTest : public ::testing::TestWithParam<RunRow> {};

TEST_P(SyncRunRowTest, EndsWithBothSidesAndTheLogAsExpected) {
    const RunRow& row = GetParam();
    CSyncTestWorld world;
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s, row.copyRule);
    b.KeepCopy = row.keepCopy;
    b.PromptBothChanged = !row.answers.empty();
    world.AddBinding(u"0"_s, b);
    if (row.pcExists)
        world.WritePcFile(u"a.txt"_s, "pc", row.pcTime);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", row.deviceTime);
    world.ui.bothChangedAnswers = row.answers;
    auto run = world.Run();

    EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), row.pcAfter);
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, row.deviceAfter);
    QStringList expected;
    for (const QString& line : row.lines)
        expected << (line.contains(u"%1"_s) ? line.arg(world.pcDir) : line);
    // A kept copy's name tells when it was made.
    QStringList lines = world.RunLines();
    lines.replaceInStrings(QRegularExpression(u"\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d"_s), u"WHEN"_s);
    EXPECT_EQ(lines, expected) << world.RunLines().join(u'|').toStdString();
    EXPECT_EQ(world.ui.Count(u"completion:0"_s), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sync, SyncRunRowTest,
    ::testing::Values(
        // The handheld-to-PC rule with the PC file deleted brings it back.
        RunRow{"HandheldToPcRuleWithPcFileDeleted",
               kCopyDeviceToPc,
               false,
               0,
               kNow - 300000,
               false,
               {},
               "epoc",
               "epoc",
               {u"*** 1  files to synchronize."_s, QString(), u"Copied C:\\Documents\\a.txt -> %1a.txt"_s,
                u"File copied to PC  : a.txt -> a.txt"_s, QString(), kComplete}},
        // Nothing to back up: no backup line at all.
        RunRow{"KeepCopyWithoutPcFileWritesNoBackupLine",
               kCopyNewest,
               false,
               0,
               kNow - 100,
               true,
               {},
               "epoc",
               "epoc",
               {u"*** 1  files to synchronize."_s, QString(), u"Copied C:\\Documents\\a.txt -> %1a.txt"_s,
                u"File copied to PC  : a.txt -> a.txt"_s, QString(), kComplete}},
        // The PC-to-handheld rule, both sides changed, answered "Overwrite Windows file": the
        // answer goes against the rule and the handheld's file comes to the PC.
        RunRow{
            "OverwriteWindowsFileOnAPcToHandheldBinding",
            kCopyPcToDevice,
            true,
            kNow - 100,
            kNow - 5000,
            false,
            {BothChangedAnswer::OverwriteWindows},
            "epoc",
            "epoc",
            {u"*** 1  files to synchronize."_s, QString(),
             u"Both files changed; the replaced one is kept : %1a.txt -> %1user1/Dovetail/a (PC, binding 0, WHEN).txt"_s,
             u"Copied C:\\Documents\\a.txt -> %1a.txt"_s, u"File copied to PC  : a.txt -> a.txt"_s, QString(),
             kComplete}}),
    [](const auto& info) { return std::string(info.param.name); });

// A handheld file that is there but cannot be opened is taken for an absent one.
TEST(SyncEdgeCases, EpocFileThatCannotBeOpenedCountsAsAbsent) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "pc", kNow - 300000);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    world.engine.files[u"C:\\Documents\\a.txt"_s].unreadable = true;
    auto run = world.Run();

    EXPECT_EQ(world.engine.Matching(u"CopyFile"_s),
              QStringList{u"CopyFile 1:"_s + world.pcDir + u"a.txt -> 2:C:\\Documents\\a.txt 1"_s});
    EXPECT_EQ(world.engine.CountCalls(u"CloseRemoteFile"_s), 0);
}

TEST(SyncEdgeCases, FailedHandheldCopyWithConversionKeepsTheBindingsState) {
    CSyncTestWorld world;
    auto state = std::make_shared<CFakeConverterState>();
    state->items = {{u"Word\n{1}"_s, u"Text\n{2}"_s}};
    world.converters = MakeFakeConverters(state);
    CDocSynchEntry b = world.MakeBinding(u"a.doc"_s);
    b.EpocFileName = u"a.txt"_s;
    b.WinFileType = u"Word"_s;
    b.WasUpdated = false;
    world.AddBinding(u"0"_s, b);
    world.WritePcFile(u"a.doc"_s, "pc", kNow - 100);
    world.engine.copyResults = {-2};
    auto run = world.Run();

    EXPECT_EQ(state->conversions.size(), 1);
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"WasUpdated"_s), 0u);
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
    EXPECT_TRUE(world.RunLines().contains(u"Unable to copy file to MC 218 : a.doc -> a.txt"_s));
    EXPECT_TRUE(world.ui.completionErrors);
}

// Whichever side is newer, a PC file another program holds open is copied neither way.
TEST(SyncEdgeCases, PcFileInUseIsCopiedInNeitherDirection) {
    for (const bool pcNewer : {true, false}) {
        SCOPED_TRACE(pcNewer ? "PC newer" : "handheld newer");
        CSyncTestWorld world;
        world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
        const QString path = world.WritePcFile(u"a.txt"_s, "pc", pcNewer ? kNow - 100 : kNow - 5000);
        world.WriteDeviceFile(u"a.txt"_s, "epoc", pcNewer ? kNow - 5000 : kNow - 100);
        QProcess holder;
        holder.setStandardInputFile(path);
        holder.start(u"sleep"_s, {u"30"_s});
        ASSERT_TRUE(holder.waitForStarted());
        auto run = world.Run();
        holder.kill();
        holder.waitForFinished();

        EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 0);
        EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), QByteArray("pc"));
        EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("epoc"));
        EXPECT_TRUE(world.RunLines().contains(u"*** 0  files to synchronize."_s));
        EXPECT_TRUE(world.ui.completionErrors);
    }
}

}  // namespace
