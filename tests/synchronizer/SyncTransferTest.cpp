// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeConverter.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include "common/ProfileRegistry.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kComplete = u"Synchronization complete."_s;
const QString kCompleteWithErrors = u"Synchronization completed with errors."_s;

class SyncTransferTest : public ::testing::Test {
protected:
    SyncTransferTest() : state(std::make_shared<CFakeConverterState>()) {
        world.converters = MakeFakeConverters(state);
    }

    // A binding between a Word file on the PC and a text file on the handheld.
    CDocSynchEntry ConvertingBinding() const {
        CDocSynchEntry b = world.MakeBinding(u"a.doc"_s);
        b.EpocFileName = u"a.txt"_s;
        b.WinFileType = u"Word"_s;
        b.EpocFileType = u"Text"_s;
        return b;
    }
    QStringList PcFolderEntries() const {
        return QDir(world.pcDir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    CSyncTestWorld world;
    std::shared_ptr<CFakeConverterState> state;
};

TEST_F(SyncTransferTest, ConvertsOnTheWayToTheHandheld) {
    state->items = {{u"Word\n{1}"_s, u"Text\n{2}"_s}};
    world.AddBinding(u"0"_s, ConvertingBinding());
    const QString pc = world.WritePcFile(u"a.doc"_s, "pc", kNow - 100);
    auto run = world.Run();

    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("converted:pc"));
    EXPECT_EQ(world.RunLines(), (QStringList{u"*** 1  files to synchronize."_s, QString(),
                                             u"Converted "_s + pc + u" -> C:\\Documents\\a.txt"_s,
                                             u"File copied to MC 218 : a.doc -> a.txt"_s, QString(), kComplete}));
    EXPECT_EQ(state->loads, QStringList{u"|"_s + pc});
    EXPECT_EQ(state->conversions, QStringList{pc + u" -> "_s + run->TempFile()});
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"WasUpdated"_s), 1u);
}

TEST_F(SyncTransferTest, ConvertsIntoThePcFileAfterTheCopy) {
    state->items = {{u"Word\n{1}"_s, u"Text\n{2}"_s}, {u"TEXT\n{2}"_s, u"x\nword"_s}};
    world.AddBinding(u"0"_s, ConvertingBinding());
    const QString pc = world.WritePcFile(u"a.doc"_s, "old", kNow - 250000);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    auto run = world.Run();

    EXPECT_EQ(world.ReadPcFile(u"a.doc"_s), QByteArray("converted:epoc"));
    EXPECT_EQ(PcFolderEntries(), QStringList{u"a.doc"_s});  // no replacement file left behind
    EXPECT_EQ(world.RunLines(),
              (QStringList{u"*** 1  files to synchronize."_s, QString(), u"Converted C:\\Documents\\a.txt -> "_s + pc,
                           u"File copied to PC  : a.txt -> a.doc"_s, QString(), kComplete}));
    EXPECT_EQ(world.engine.Matching(u"CopyFile"_s),
              QStringList{u"CopyFile 2:C:\\Documents\\a.txt -> 1:"_s + run->TempFile() + u" 1"_s});
}

TEST_F(SyncTransferTest, FailedConversionAfterTheCopyKeepsThePcFile) {
    state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s, true}};
    world.AddBinding(u"0"_s, ConvertingBinding());
    world.WritePcFile(u"a.doc"_s, "old", kNow - 250000);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 100);
    auto run = world.Run();

    EXPECT_EQ(world.ReadPcFile(u"a.doc"_s), QByteArray("old"));
    EXPECT_EQ(PcFolderEntries(), QStringList{u"a.doc"_s});
    const QStringList lines = world.RunLines();
    // The conversion failed, so nothing was converted: no "Converted" line.
    EXPECT_EQ(lines.mid(2),
              (QStringList{u"Converter error: bad input"_s, u"Unable to copy file to Windows device : a.txt -> a.doc"_s,
                           QString(), kCompleteWithErrors}));
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
    EXPECT_TRUE(world.ui.completionErrors);
}

TEST_F(SyncTransferTest, MissingConverterSkipsTheBindingBeforeCopying) {
    struct Row {
        const char* name;
        bool noFactory;
        bool loadThrows;
    };
    for (const Row row : {Row{"NoMatch", false, false}, Row{"LoadFails", false, true}, Row{"NoObject", true, false}}) {
        SCOPED_TRACE(row.name);
        CSyncTestWorld w;
        auto s = std::make_shared<CFakeConverterState>();
        s->items = {{u"Rtf\n{3}"_s, u"Text\n{2}"_s}, {u"Word\n{1}"_s, u"Sheet\n{4}"_s}};
        s->loadThrows = row.loadThrows;
        if (!row.noFactory)
            w.converters = MakeFakeConverters(s);
        CDocSynchEntry b = w.MakeBinding(u"a.doc"_s);
        b.EpocFileName = u"a.txt"_s;
        b.WinFileType = u"Word"_s;
        b.EpocFileType = u"Text"_s;
        w.AddBinding(u"0"_s, b);
        w.WritePcFile(u"a.doc"_s, "pc", kNow - 100);
        auto run = w.Run();

        EXPECT_EQ(w.engine.CountCalls(u"CopyFile"_s), 0);
        EXPECT_EQ(
            w.RunLines(),
            (QStringList{u"*** 1  files to synchronize."_s, QString(), u"Unable to locate appropriate converter"_s,
                         u"Unable to copy file to MC 218 : a.txt -> a.doc"_s, QString(), kCompleteWithErrors}));
        EXPECT_TRUE(w.ui.completionErrors);
        // The failed conversion still steps the bar in the copy phase.
        EXPECT_EQ(w.ui.Count(u"step"_s), 2);
    }
}

TEST_F(SyncTransferTest, RetriedCopyConvertsAgain) {
    state->items = {{u"Word\n{1}"_s, u"Text\n{2}"_s}};
    world.AddBinding(u"0"_s, ConvertingBinding());
    world.WritePcFile(u"a.doc"_s, "pc", kNow - 100);
    world.engine.copyResults = {-2};
    world.ui.copyErrorAnswers = {CopyErrorAnswer::Retry};
    auto run = world.Run();

    EXPECT_EQ(state->conversions.size(), 2);
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 2);
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\a.txt"_s].content, QByteArray("converted:pc"));
}

TEST_F(SyncTransferTest, WinFileTypeIsRenamedOnlyWhenAllConvertersAgree) {
    struct Row {
        const char* name;
        std::vector<CFakeConverterState::Item> items;
        QString storedType;
        int conversions;
    };
    const std::vector<Row> rows = {
        {"AllAgree", {{u"Word 97\n{1}"_s, u"Text\n{2}"_s}, {u"Word 97\n{1}"_s, u"Rtf\n{3}"_s}}, u"Word 97"_s, 1},
        {"SecondLineMatches", {{u"Other\nword"_s, u"Text\n{2}"_s}}, u"Word"_s, 1},
        {"ThirdLineIgnored", {{u"Other\nX\nWord"_s, u"Text\n{2}"_s}}, u"Other"_s, 1},
        {"Disagree", {{u"Word 97\n{1}"_s, u"Text\n{2}"_s}, {u"Rtf\n{3}"_s, u"Text\n{2}"_s}}, u"Word"_s, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CSyncTestWorld w;
        auto s = std::make_shared<CFakeConverterState>();
        s->items = row.items;
        w.converters = MakeFakeConverters(s);
        CDocSynchEntry b = w.MakeBinding(u"a.doc"_s);
        b.EpocFileName = u"a.txt"_s;
        b.WinFileType = u"Word"_s;
        b.EpocFileType = u"Text"_s;
        w.AddBinding(u"0"_s, b);
        w.WritePcFile(u"a.doc"_s, "pc", kNow - 100);
        auto run = w.Run();

        QString stored;
        ReadEntryString(QLatin1String(kOwner), QLatin1String(kDocSynchArea), u"0"_s, u"WinFileType"_s, stored);
        EXPECT_EQ(stored, row.storedType);
        EXPECT_EQ(s->conversions.size(), row.conversions);
    }
}

TEST_F(SyncTransferTest, UnknownTypeOrEqualTypesCopyPlainly) {
    for (const auto& [win, epoc] :
         {std::pair{u"UNKNOWN"_s, u"Text"_s}, std::pair{u"Word"_s, u"UNKNOWN"_s}, std::pair{u"Text"_s, u"Text"_s}}) {
        CDocSynchEntry b = world.MakeBinding(u"a.doc"_s);
        b.WinFileType = win;
        b.EpocFileType = epoc;
        EXPECT_FALSE(CSyncTransfer::NeedsConversion(b));
    }
    CDocSynchEntry b = world.MakeBinding(u"a.doc"_s);
    b.WinFileType = u"text"_s;
    EXPECT_TRUE(CSyncTransfer::NeedsConversion(b));  // the comparison is exact
}

TEST_F(SyncTransferTest, BackupReplacesTheEarlierOne) {
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
    b.KeepCopy = true;
    world.AddBinding(u"0"_s, b);
    const QString backup = world.pcDir + u"user1/Dovetail/a.txt"_s;
    for (const QByteArray& content : {QByteArray("first"), QByteArray("second")}) {
        world.WritePcFile(u"a.txt"_s, content, kNow - 5000);
        world.WriteDeviceFile(u"a.txt"_s, "epoc " + content, kNow - 100);
        CRegistry::Default().SetNumber(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\owner1\\DocSynchEntries\\0"_s,
                                       u"LastSyncTimeStamp"_s, static_cast<uint32_t>(kNow - 200000));
        world.ui.closed = false;
        auto run = world.Run();
        QFile f(backup);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), content);
    }
}

}  // namespace
