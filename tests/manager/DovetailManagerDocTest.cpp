// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerDoc.h"

#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "tests/manager/ManagerWorld.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTimeZone>

#include <vector>

namespace {
// Records what the document asks of its list.
class CFakeList : public IBindingList {
public:
    void RemoveAllItems() override { m_rows.clear(); }
    void AddItem(const CDocSynchEntry& record, int entry) override {
        m_rows.push_back(entry);
        m_records.push_back(record);
    }
    int GetFileIcon(const QString&) override { return 7; }
    void ShowMessage(const QString& text) override { m_messages.append(text); }
    void EndWaitCursor() override {}

    std::vector<int> m_rows;
    std::vector<CDocSynchEntry> m_records;
    QStringList m_messages;
};

using Column = BindingColumn;

TEST(DovetailManagerDocTest, LoadsEntriesInStoreOrderOnceUserAndViewAreKnown) {
    CManagerWorld world;
    for (int entry : {0, 2, 5})
        world.Store(entry, world.Binding(QStringLiteral("f%1.txt").arg(entry)));
    CDovetailManagerDoc doc;
    CFakeList list;
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.Title(), QStringLiteral("Alice"));
    EXPECT_FALSE(doc.IsLoaded());
    doc.SetView(&list);
    EXPECT_TRUE(doc.IsLoaded());
    EXPECT_EQ(list.m_rows, (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(list.m_records[0].ImageIndex, 7);

    // Once loaded, another user changes nothing.
    doc.SetUser(QStringLiteral("Bob"));
    EXPECT_EQ(doc.User(), QStringLiteral("Alice"));
    EXPECT_EQ(list.m_rows.size(), 3u);
}

TEST(DovetailManagerDocTest, WithoutCurrentUserStaysNotConnectedAndUnloaded) {
    CManagerWorld world;
    CRegistry::Default().DeleteValue(RegRoot::CurrentUser, QString::fromLatin1(kCurrentUserKey), QString());
    CDovetailManagerDoc doc;
    CFakeList list;
    doc.OnNewDocument();
    doc.SetView(&list);
    EXPECT_EQ(doc.Title(), QStringLiteral("Not connected"));
    EXPECT_FALSE(doc.IsLoaded());
    // The owner lookup supplies the user later: the rows load then.
    world.Store(0, world.Binding(QStringLiteral("a.txt")));
    doc.SetUser(QStringLiteral("Alice"));
    EXPECT_TRUE(doc.IsLoaded());
    EXPECT_EQ(list.m_rows.size(), 1u);
}

TEST(DovetailManagerDocTest, AddEntryRefusesASecondBindingToOneFile) {
    struct Case {
        const char* name;
        const char* pcName;
        const char* epocName;
        bool samePcFolder;
        bool accepted;
    };
    const Case cases[] = {
        {"same PC file, other EPOC file", "a.txt", "other.doc", true, false},
        {"same EPOC file, other PC file", "b.txt", "a.txt", true, false},
        {"same EPOC file spelled in other case", "c.txt", "A.TXT", true, false},
        {"PC name differs in case", "A.txt", "A.doc", true, true},
        {"same PC name in another folder", "a.txt", "x.doc", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CManagerWorld world;
        world.Store(0, world.Binding(QStringLiteral("a.txt")));
        CDovetailManagerDoc doc;
        CFakeList list;
        doc.OnNewDocument();
        doc.SetView(&list);
        CDocSynchEntry record = world.Binding(QString::fromUtf8(c.pcName), 3, QString::fromUtf8(c.epocName));
        if (!c.samePcFolder)
            record.WinPath = world.Env().MakeDir(QStringLiteral("elsewhere")) + QLatin1Char('/');
        EXPECT_EQ(doc.AddEntry(record), c.accepted);
        EXPECT_EQ(list.m_rows.size(), c.accepted ? 2u : 1u);
        EXPECT_EQ(list.m_messages.size(), c.accepted ? 0 : 1);
        if (!c.accepted) {
            EXPECT_EQ(list.m_messages.value(0), QStringLiteral("Similar item already exists"));
        }
        EXPECT_EQ(FindFreeEntryNumber(world.User()), c.accepted ? 2 : 1);
    }
}

// Every copy of such a binding would fail ("may not be present" at every run): refused where it
// is added, saying why.
TEST(DovetailManagerDocTest, AddEntryRefusesWhatTheHandheldCannotHold) {
    const struct {
        const char* epocPath;
        const char* epocName;
    } rows[] = {{"C:\\Documents\\", "why?.doc"}, {"C:\\Documents\\", "a.doc."}, {"C:\\Documents\\", "a|b.doc"},
                {"C:\\Documents", "a.doc"},      {"C:\\..\\..\\", "a.doc"},     {"Documents\\", "a.doc"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.epocName);
        CManagerWorld world;
        CDovetailManagerDoc doc;
        CFakeList list;
        doc.OnNewDocument();
        doc.SetView(&list);
        CDocSynchEntry record = world.Binding(QStringLiteral("a.txt"), 3, QString::fromUtf8(row.epocName));
        record.EpocPath = QString::fromUtf8(row.epocPath);
        EXPECT_FALSE(doc.AddEntry(record));
        EXPECT_TRUE(list.m_rows.empty());
        EXPECT_TRUE(list.m_messages.value(0).startsWith(
            QStringLiteral("This file cannot be bound: the MC 218 cannot hold its name there.")));
        EXPECT_EQ(FindFreeEntryNumber(world.User()), 0);
    }
}

// Keys that are no entry numbers would be listed with binding 0's data ("-1" and "abc" lead with
// no digits), and Delete on their rows deleted binding 0: they are left out, and said.
TEST(DovetailManagerDocTest, KeysThatAreNoEntryNumbersAreNotListed) {
    CManagerWorld world;
    world.Store(0, world.Binding(QStringLiteral("a.txt")));
    for (const QString& key :
         {QStringLiteral("-1"), QStringLiteral("abc"), QStringLiteral("99999"), QStringLiteral("012")})
        WriteEntryNumber(world.User(), QStringLiteral("DocSynchEntries"), key, QStringLiteral("LinkStatus"), 0);
    CDovetailManagerDoc doc;
    CFakeList list;
    doc.OnNewDocument();
    doc.SetView(&list);
    EXPECT_EQ(list.m_rows, std::vector<int>{0});
    ASSERT_EQ(list.m_messages.size(), 1);
    EXPECT_TRUE(list.m_messages[0].contains(QStringLiteral("\"-1\", \"012\", \"99999\", \"abc\"")))
        << list.m_messages[0].toStdString();
    CDocSynchEntry record = world.Binding(QStringLiteral("b.txt"));
    EXPECT_TRUE(doc.AddEntry(record)) << "another key's values are no duplicate";
}

TEST(DovetailManagerDocTest, AddEntryTakesLowestFreeNumberAndAppendsLast) {
    CManagerWorld world;
    world.Store(0, world.Binding(QStringLiteral("a.txt")));
    world.Store(2, world.Binding(QStringLiteral("c.txt")));
    CDovetailManagerDoc doc;
    CFakeList list;
    doc.OnNewDocument();
    doc.SetView(&list);
    CDocSynchEntry record = world.Binding(QStringLiteral("b.txt"));
    ASSERT_TRUE(doc.AddEntry(record));
    EXPECT_EQ(list.m_rows, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(doc.GetEntryText(1, int(Column::PcName)), QStringLiteral("b.txt"));

    // Deleting the only other entries and adding again reuses 0.
    doc.DeleteEntry(0);
    CDocSynchEntry again = world.Binding(QStringLiteral("d.txt"));
    ASSERT_TRUE(doc.AddEntry(again));
    EXPECT_EQ(list.m_rows.back(), 0);
}

TEST(DovetailManagerDocTest, EntryTextFallsBackPerColumnWhenValuesAreMissing) {
    CManagerWorld world;
    world.Store(0, world.Binding(QStringLiteral("a.txt")));
    CRegistry& reg = CRegistry::Default();
    for (const char* value : {"WinFileName", "WinPath", "WinFileType", "EpocFileName", "EpocPath", "EpocFileType",
                              "FileSize", "LastSyncTimeStamp"})
        reg.DeleteValue(RegRoot::CurrentUser, world.EntryKey(0), QString::fromLatin1(value));
    CDovetailManagerDoc doc;
    doc.OnNewDocument();
    const QString unknown = QStringLiteral("(unknown)");
    const std::pair<Column, QString> expected[] = {
        {Column::PcName, unknown},     {Column::PcPath, unknown},    {Column::PcType, unknown},
        {Column::EpocName, QString()}, {Column::EpocPath, unknown},  {Column::EpocType, unknown},
        {Column::Size, unknown},       {Column::LastSynch, unknown},
    };
    for (const auto& [column, text] : expected)
        EXPECT_EQ(doc.GetEntryText(0, int(column)), text) << int(column);

    // A stored empty text shows empty, not the fallback.
    RegWriteString(HKEY_CURRENT_USER, world.EntryKey(0), QStringLiteral("WinFileType"), QString());
    EXPECT_EQ(doc.GetEntryText(0, int(Column::PcType)), QString());
}

TEST(DovetailManagerDocTest, SizeOfMissingPcFileReadsZeroBytesAfterLoad) {
    CManagerWorld world;
    world.Store(0, world.Binding(QStringLiteral("gone.txt"), -1));
    world.Store(1, world.Binding(QStringLiteral("here.txt"), 1234));
    RegWriteNumber(HKEY_CURRENT_USER, world.EntryKey(0), QStringLiteral("FileSize"), 999);
    CDovetailManagerDoc doc;
    CFakeList list;
    doc.OnNewDocument();
    doc.SetView(&list);
    EXPECT_EQ(doc.GetEntryText(0, int(Column::Size)), QStringLiteral("0 bytes"));
    EXPECT_EQ(doc.GetEntryText(1, int(Column::Size)), QStringLiteral("1234 bytes"));
}

TEST(DovetailManagerDocTest, SizeCellShowsThePcFileAsItIsNow) {
    CManagerWorld world;
    world.Store(0, world.Binding(QStringLiteral("later.txt"), -1));
    CDovetailManagerDoc doc;
    CFakeList list;
    doc.OnNewDocument();
    doc.SetView(&list);
    EXPECT_EQ(doc.GetEntryText(0, int(Column::Size)), QStringLiteral("0 bytes"));
    // Created after the binding, then edited: the cell follows without any rewrite of the value.
    const QString path = world.Env().WriteFile(QStringLiteral("pc/later.txt"), QByteArray(5, 'a'));
    EXPECT_EQ(doc.GetEntryText(0, int(Column::Size)), QStringLiteral("5 bytes"));
    world.Env().WriteFile(QStringLiteral("pc/later.txt"), QByteArray(1500, 'a'));
    EXPECT_EQ(doc.GetEntryText(0, int(Column::Size)), QStringLiteral("1500 bytes"));
    ASSERT_TRUE(QFile::resize(path, qint64(5) << 30));
    EXPECT_EQ(doc.GetEntryText(0, int(Column::Size)), QStringLiteral("5368709120 bytes"));
    // Gone again: the last stored size.
    QFile::remove(path);
    EXPECT_EQ(doc.GetEntryText(0, int(Column::Size)), QStringLiteral("0 bytes"));
}

// Sparse files: sizes without the data. The cell shows the whole size; the store keeps what
// its 32 bits hold, held at the largest value rather than wrapped.
TEST(DovetailManagerDocTest, SizesBeyondTwoGigabytesShowWholeAndAreStoredHeld) {
    struct Row {
        qint64 size;
        uint32_t stored;
    };
    const Row rows[] = {{2147483647, 2147483647u}, {2147483648, 2147483647u}, {4194304000, 2147483647u}, {100, 100u}};
    CManagerWorld world;
    for (int entry = 0; entry < int(std::size(rows)); ++entry) {
        world.Store(entry, world.Binding(QStringLiteral("f%1.bin").arg(entry), 0));
        ASSERT_TRUE(QFile::resize(world.PcFolder() + QStringLiteral("f%1.bin").arg(entry), rows[entry].size));
    }
    CDovetailManagerDoc doc;
    CFakeList list;
    doc.OnNewDocument();
    doc.SetView(&list);
    for (int entry = 0; entry < int(std::size(rows)); ++entry) {
        SCOPED_TRACE(rows[entry].size);
        EXPECT_EQ(doc.GetEntryText(entry, int(Column::Size)), QStringLiteral("%1 bytes").arg(rows[entry].size));
        EXPECT_EQ(world.Number(entry, QStringLiteral("FileSize")), rows[entry].stored);
        EXPECT_EQ(list.m_records[std::size_t(entry)].FileSize, int32_t(rows[entry].stored));
    }
}

TEST(DovetailManagerDocTest, LastSynchShowsOnlyOnceWasUpdatedIsSet) {
    CManagerWorld world;
    CDocSynchEntry record = world.Binding(QStringLiteral("a.txt"));
    const QDateTime when(QDate(2026, 3, 4), QTime(12, 0, 3), Qt::UTC);
    record.LastSyncTimeStamp = uint32_t(when.toSecsSinceEpoch());
    record.WasUpdated = false;
    world.Store(0, record);
    CDovetailManagerDoc doc;
    doc.OnNewDocument();
    EXPECT_EQ(doc.GetEntryText(0, int(Column::LastSynch)), QStringLiteral("(unknown)"));

    RegWriteNumber(HKEY_CURRENT_USER, world.EntryKey(0), QStringLiteral("WasUpdated"), 1);
    const QString text = doc.GetEntryText(0, int(Column::LastSynch));
    EXPECT_EQ(text, FormatLocalDateTime(record.LastSyncTimeStamp));
    const QDateTime local = when.toLocalTime();
    EXPECT_TRUE(text.contains(QLocale::system().toString(local.date(), QLocale::ShortFormat))) << text.toStdString();
    EXPECT_TRUE(text.contains(local.time().toString(QStringLiteral("ss")))) << "seconds shown";
}
}  // namespace
