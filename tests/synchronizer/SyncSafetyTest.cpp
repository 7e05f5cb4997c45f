// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeConverter.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kComplete = u"Synchronization complete."_s;
const QString kCompleteWithErrors = u"Synchronization completed with errors."_s;
const QString kChanged = u"Not copied, the destination changed during synchronization : "_s;

struct EditRow {
    const char* name;
    int32_t copyRule;
    bool pcExists;          // the first binding's PC file before the run
    bool deviceNewer;       // else the PC side is the newer one
    bool editOnDevice;      // the edit lands on the handheld, else on the PC
    const char* direction;  // the logged "source -> destination"
};

class EditDuringRunTest : public ::testing::TestWithParam<EditRow> {};

// The first binding is decided at once; the user edits its destination while the prompt
// of the second binding is open. The edit survives, the binding is reported and the next
// run asks about it.
TEST_P(EditDuringRunTest, IsNeverOverwrittenUnseen) {
    const EditRow& row = GetParam();
    // Looked at alone, or by the copy itself.
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "in the copy" : "alone");
        CSyncTestWorld world;
        world.engine.looksAtOnce = atOnce;
        CDocSynchEntry first = world.MakeBinding(u"a.txt"_s, row.copyRule);
        first.PromptBothChanged = true;
        CDocSynchEntry second = world.MakeBinding(u"b.txt"_s);
        second.PromptBothChanged = true;
        world.AddBinding(u"0"_s, first);
        world.AddBinding(u"1"_s, second);
        if (row.pcExists)
            world.WritePcFile(u"a.txt"_s, "pc", row.deviceNewer ? kNow - 300000 : kNow - 100);
        world.WriteDeviceFile(u"a.txt"_s, "epoc", row.deviceNewer ? kNow - 100 : kNow - 300000);
        world.WritePcFile(u"b.txt"_s, "pc b", kNow - 100);
        world.WriteDeviceFile(u"b.txt"_s, "epoc b", kNow - 50);
        world.ui.bothChangedAnswers = {BothChangedAnswer::LeaveBoth};
        world.ui.duringPrompt = [&world, &row] {
            world.ui.duringPrompt = nullptr;
            if (row.editOnDevice)
                world.WriteDeviceFile(u"a.txt"_s, "edited on the handheld", kNow - 10);
            else
                world.WritePcFile(u"a.txt"_s, "edited on the PC", kNow - 150);
        };
        auto run = world.Run();

        if (row.editOnDevice)
            EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("edited on the handheld"));
        else
            EXPECT_EQ(world.ReadPcFile(u"a.txt"_s), QByteArray("edited on the PC"));
        EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 0);
        const QString pc = world.pcDir + u"a.txt"_s;
        const QString epoc = u"C:\\Documents\\a.txt"_s;
        const QString line = kChanged + QString::fromLatin1(row.direction).arg(pc, epoc);
        EXPECT_EQ(world.RunLines(),
                  (QStringList{u"*** 1  files to synchronize."_s, QString(), line, QString(), kCompleteWithErrors}));
        EXPECT_TRUE(world.ui.completionErrors);
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));

        // Both sides now changed since the last synchronization: the next run asks.
        world.ui = CScriptedSyncUi();
        world.ui.bothChangedAnswers = {BothChangedAnswer::LeaveBoth, BothChangedAnswer::LeaveBoth};
        run = world.Run();
        EXPECT_EQ(world.ui.Matching(u"both-changed:"_s).value(0), u"both-changed:"_s + pc + u'|' + epoc);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sync, EditDuringRunTest,
    ::testing::Values(EditRow{"PcEditedBeforeHandheldCopy", kCopyNewest, true, true, false, "%2 -> %1"},
                      EditRow{"PcFileAppearedBeforeHandheldCopy", kCopyDeviceToPc, false, true, false, "%2 -> %1"},
                      EditRow{"HandheldEditedBeforePcCopy", kCopyNewest, true, false, true, "%1 -> %2"}),
    [](const auto& info) { return std::string(info.param.name); });

// A conversion into the PC file happens after the copy from the handheld, which may take a
// while: the document is looked at again just before it is written.
TEST(EditDuringRun, ConversionIntoAnEditedPcFileIsNotWritten) {
    CSyncTestWorld world;
    auto state = std::make_shared<CFakeConverterState>();
    state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s}};
    world.converters = MakeFakeConverters(state);
    CDocSynchEntry b = world.MakeBinding(u"a.doc"_s);
    b.EpocFileName = u"a.txt"_s;
    b.WinFileType = u"Word"_s;
    world.AddBinding(u"0"_s, b);
    world.WritePcFile(u"a.doc"_s, "old", kNow - 300000);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    CSyncRunSettings settings = world.Settings();
    auto run = std::make_unique<CSyncRun>(world.ui, settings);
    run->Initialise(&world.sink);
    while (!world.ui.closed && !world.engine.events.empty()) {
        const auto [event, result] = world.engine.events.front();
        world.engine.events.pop_front();
        if (event == EngineEvent::CopyDone)
            world.WritePcFile(u"a.doc"_s, "edited", kNow - 5);
        run->HandleEvent(event, result);
    }

    EXPECT_EQ(world.ReadPcFile(u"a.doc"_s), QByteArray("edited"));
    EXPECT_TRUE(state->conversions.isEmpty());
    EXPECT_TRUE(world.RunLines().contains(kChanged + u"C:\\Documents\\a.txt -> "_s + world.pcDir + u"a.doc"_s));
    EXPECT_TRUE(world.ui.completionErrors);
}

// A handheld that goes away mid-scan leaves bindings unexamined: each is named, and the run
// reports errors rather than success.
TEST(ConnectionLost, EveryBindingNotExaminedIsLoggedAsAnError) {
    CSyncTestWorld world;
    for (const QString& name : {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s}) {
        world.AddBinding(QString::number(name.front().unicode() - u'a'), world.MakeBinding(name));
        world.WritePcFile(name, "pc", kNow - 5000);
        world.WriteDeviceFile(name, "newer on the handheld", kNow - 100);
    }
    world.engine.unplugBeforeOpening = u"C:\\Documents\\b.txt"_s;
    auto run = world.Run();

    const QString lost = u"Not synchronized, the connection to the MC 218 was lost : "_s;
    const QStringList lines = world.RunLines();
    EXPECT_TRUE(lines.contains(lost + world.pcDir + u"b.txt <-> C:\\Documents\\b.txt"_s));
    EXPECT_TRUE(lines.contains(lost + world.pcDir + u"c.txt <-> C:\\Documents\\c.txt"_s));
    EXPECT_FALSE(lines.contains(lost + world.pcDir + u"a.txt <-> C:\\Documents\\a.txt"_s));
    EXPECT_TRUE(world.ui.completionErrors);
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\c.txt"_s].content, QByteArray("newer on the handheld"));

    // Back again before the scan ended: an absent file is absent once more.
    CSyncTestWorld again;
    again.AddBinding(u"0"_s, again.MakeBinding(u"a.txt"_s));
    again.AddBinding(u"1"_s, again.MakeBinding(u"b.txt"_s));
    again.WritePcFile(u"a.txt"_s, "pc a", kNow - 100);
    again.WritePcFile(u"b.txt"_s, "pc b", kNow - 100);
    auto second = std::make_unique<CSyncRun>(again.ui, again.Settings());
    second->Initialise(&again.sink);
    bool bounced = false;
    while (!again.ui.closed && !again.engine.events.empty()) {
        const auto [event, result] = again.engine.events.front();
        again.engine.events.pop_front();
        second->HandleEvent(event, result);
        if (event == EngineEvent::SessionReady && !bounced) {
            bounced = true;
            second->HandleEvent(EngineEvent::Disconnected, 0);
            second->HandleEvent(EngineEvent::Connected, 0);
        }
    }
    EXPECT_EQ(again.engine.files[u"C:\\Documents\\b.txt"_s].content, QByteArray("pc b"));
    EXPECT_EQ(again.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("pc a"));
}

// The backup is what a file copy gives: the document's time and permissions, not the
// moment the backup was made.
TEST(Backup, KeepsTheDocumentsTimeAndPermissions) {
    CSyncTestWorld world;
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
    b.KeepCopy = true;
    world.AddBinding(u"0"_s, b);
    const QString pc = world.WritePcFile(u"a.txt"_s, "old", kNow - 5000);
    QFile::setPermissions(pc, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    auto run = world.Run();

    const QFileInfo backup(world.pcDir + u"user1/Dovetail/a.txt"_s);
    ASSERT_TRUE(backup.exists());
    EXPECT_EQ(backup.lastModified().toSecsSinceEpoch(), kNow - 5000);
    EXPECT_EQ(backup.permissions(),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    // The backup folder lists the names of documents kept in private folders, and the log names
    // them too: both are the user's alone.
    EXPECT_EQ(QFileInfo(backup.path()).permissions() & 0x0077, QFileDevice::Permissions());
    EXPECT_EQ(QFileInfo(run->LogPath()).permissions() & 0x0077, QFileDevice::Permissions());
}

class ConverterFailureTest : public ::testing::Test {
protected:
    ConverterFailureTest() : state(std::make_shared<CFakeConverterState>()) {
        world.converters = MakeFakeConverters(state);
    }
    CDocSynchEntry ConvertingBinding(const QString& pcFolder) const {
        CDocSynchEntry b = world.MakeBinding(u"a.doc"_s);
        b.WinPath = pcFolder;
        b.EpocFileName = u"a.txt"_s;
        b.WinFileType = u"Word"_s;
        return b;
    }

    CSyncTestWorld world;
    std::shared_ptr<CFakeConverterState> state;
};

// The converter writes the document under its own name, so a command converter can tell
// the format from the extension, and nothing else appears in the folder.
TEST_F(ConverterFailureTest, ConverterWritesTheRealPcFile) {
    state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s}};
    world.AddBinding(u"0"_s, ConvertingBinding(world.pcDir));
    const QString pc = world.WritePcFile(u"a.doc"_s, "old", kNow - 5000);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    auto run = world.Run();

    // Under the document's own name, beside the conversion file; then put in its place.
    EXPECT_EQ(state->conversions,
              QStringList{run->TempFile() + u" -> "_s + QFileInfo(run->TempFile()).path() + u"/converted/a.doc"_s});
    EXPECT_EQ(world.ReadPcFile(u"a.doc"_s), QByteArray("converted:epoc"));
    EXPECT_EQ(QDir(world.pcDir).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.doc"_s});
}

// A document whose folder has gone cannot be written: the reason is what
// the report says, not only that the copy failed.
TEST_F(ConverterFailureTest, FailureToWriteThePcFileIsLoggedWithItsReason) {
    state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s}};
    world.AddBinding(u"0"_s, ConvertingBinding(world.pcDir + u"gone/"_s));
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    auto run = world.Run();

    EXPECT_EQ(
        world.RunLines().mid(2),
        (QStringList{u"The converted file could not be put in place : No such file or directory"_s,
                     u"Unable to copy file to Windows device : a.txt -> a.doc"_s, QString(), kCompleteWithErrors}));
    EXPECT_TRUE(world.ui.completionErrors);
}

// Error output of several lines keeps the report's line ends: one line of the file each.
TEST_F(ConverterFailureTest, MultiLineErrorTextBecomesOneLogLinePerLine) {
    state->items = {{u"Word\n{1}"_s, u"Text\n{2}"_s, true, u"first problem\r\nsecond problem\nthird"_s}};
    world.AddBinding(u"0"_s, ConvertingBinding(world.pcDir));
    world.WritePcFile(u"a.doc"_s, "pc", kNow - 100);
    auto run = world.Run();

    QFile log(world.programDir + u"Dovetail Synchronization{user1}.srp"_s);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    EXPECT_TRUE(bytes.contains("\r\nConverter error: first problem\r\nsecond problem\r\nthird\r\n")) << bytes.data();
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
}

}  // namespace
