// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Clock.h"
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"

#include "platform/registry/Registry.h"
#include "tests/support/StoreBusy.h"
#include "tests/support/TempEnv.h"

#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kUser = QStringLiteral("Ann");
const QString kArea = QStringLiteral("DocSynchEntries");

QString EntryKeyPath(const QString& entry) {
    return QString::fromLatin1(kUsersKey) + QStringLiteral("\\Ann\\DocSynchEntries\\") + entry;
}

CDocSynchEntry SampleRecord() {
    CDocSynchEntry r;
    r.WinFileName = QStringLiteral("Report.txt");
    r.EpocFileName = QStringLiteral("Report");
    r.WinPath = QStringLiteral("/home/ann/");
    r.EpocPath = QStringLiteral("C:\\Documents\\");
    r.WinFileType = QStringLiteral("Text Document");
    r.EpocFileType = QStringLiteral("Word");
    r.LastSyncTimeStamp = 0xF0000000u;  // in 2097: past the signed range
    r.WasUpdated = true;
    r.FileSize = 1234;
    r.IsActive = false;
    r.CopyRule = kCopyDeviceToPc;
    r.Prompt24Hrs = true;
    r.PromptBothChanged = false;
    r.KeepCopy = true;
    return r;
}

void ExpectSameStoredFields(const CDocSynchEntry& a, const CDocSynchEntry& b) {
    EXPECT_EQ(a.WinFileName, b.WinFileName);
    EXPECT_EQ(a.EpocFileName, b.EpocFileName);
    EXPECT_EQ(a.WinPath, b.WinPath);
    EXPECT_EQ(a.EpocPath, b.EpocPath);
    EXPECT_EQ(a.WinFileType, b.WinFileType);
    EXPECT_EQ(a.EpocFileType, b.EpocFileType);
    EXPECT_EQ(a.LinkStatus, b.LinkStatus);
    EXPECT_EQ(a.LastSyncTimeStamp, b.LastSyncTimeStamp);
    EXPECT_EQ(a.WasUpdated, b.WasUpdated);
    EXPECT_EQ(a.IsActive, b.IsActive);
    EXPECT_EQ(a.CopyRule, b.CopyRule);
    EXPECT_EQ(a.Prompt24Hrs, b.Prompt24Hrs);
    EXPECT_EQ(a.PromptBothChanged, b.PromptBothChanged);
    EXPECT_EQ(a.KeepCopy, b.KeepCopy);
}

TEST(BindingStoreTest, WriteThenStrictReadKeepsEveryValueInOrder) {
    CTempEnv env;
    const CDocSynchEntry written = SampleRecord();
    WriteDocSynchEntry(kUser, 7, written);

    CDocSynchEntry read = CDocSynchEntry::NewForSynchronizer(QStringLiteral("UNKNOWN"), 1);
    ASSERT_TRUE(ReadDocSynchEntry(kUser, 7, read, ReadMode::Strict));
    ExpectSameStoredFields(read, written);
    EXPECT_EQ(read.FileSize, 1234);
    EXPECT_EQ(read.BindingNumber, 7);

    const char* order[] = {"WinFileName",  "EpocFileName", "WinPath",           "EpocPath",          "WinFileType",
                           "EpocFileType", "LinkStatus",   "LastSyncTimeStamp", "WasUpdated",        "FileSize",
                           "IsActive",     "CopyRule",     "Prompt24Hrs",       "PromptBothChanged", "KeepCopy"};
    int count = 0;
    ASSERT_EQ(CRegistry::Default().CountValues(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("7")), count),
              RegStatus::Ok);
    ASSERT_EQ(count, 15);
    for (int i = 0; i < count; ++i) {
        RegValue v;
        ASSERT_EQ(CRegistry::Default().EnumValue(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("7")), i, v),
                  RegStatus::Ok);
        EXPECT_EQ(v.name, QString::fromLatin1(order[i]));
        EXPECT_EQ(v.type, uint32_t(i < 6 ? kRegSz : kRegDword));
    }
}

TEST(BindingStoreTest, StrictReadFailsOnAMissingValueLenientReadFillsIn) {
    CTempEnv env;
    WriteDocSynchEntry(kUser, 0, SampleRecord());
    ASSERT_EQ(CRegistry::Default().DeleteValue(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("0")),
                                               QStringLiteral("KeepCopy")),
              RegStatus::Ok);
    ASSERT_EQ(CRegistry::Default().DeleteValue(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("0")),
                                               QStringLiteral("EpocFileType")),
              RegStatus::Ok);

    CDocSynchEntry strict;
    EXPECT_FALSE(ReadDocSynchEntry(kUser, 0, strict, ReadMode::Strict));

    CDocSynchEntry lenient = CDocSynchEntry::NewForManager(CRuleSet{}, QStringLiteral("(unknown)"));
    int iconCalls = 0;
    EXPECT_TRUE(ReadDocSynchEntry(kUser, 0, lenient, ReadMode::Lenient, [&](const QString& path) {
        ++iconCalls;
        EXPECT_EQ(path, QStringLiteral("/home/ann/Report.txt"));
        return 4;
    }));
    EXPECT_EQ(iconCalls, 1);
    EXPECT_EQ(lenient.ImageIndex, 4);
    EXPECT_EQ(lenient.WinFileName, QStringLiteral("Report.txt"));
    EXPECT_TRUE(lenient.EpocFileType.isEmpty());
    EXPECT_FALSE(lenient.KeepCopy);
    EXPECT_TRUE(lenient.Prompt24Hrs);
    EXPECT_EQ(lenient.CopyRule, kCopyDeviceToPc);
    EXPECT_EQ(lenient.LastSyncTimeStamp, 0xF0000000u);
}

TEST(BindingStoreTest, FlagsReadAsSetWhenNotZero) {
    CTempEnv env;
    WriteDocSynchEntry(kUser, 1, SampleRecord());
    for (const char* flag : {"WasUpdated", "IsActive", "Prompt24Hrs", "PromptBothChanged", "KeepCopy"})
        ASSERT_TRUE(WriteEntryNumber(kUser, kArea, QStringLiteral("1"), QString::fromLatin1(flag), 5));
    for (ReadMode mode : {ReadMode::Strict, ReadMode::Lenient}) {
        CDocSynchEntry r;
        r.IsActive = false;
        ASSERT_TRUE(ReadDocSynchEntry(kUser, 1, r, mode));
        EXPECT_TRUE(r.WasUpdated && r.IsActive && r.Prompt24Hrs && r.PromptBothChanged && r.KeepCopy);
    }
    EXPECT_TRUE(IsEntryActive(kUser, 1));
    SetEntryActive(kUser, 1, false);
    EXPECT_FALSE(IsEntryActive(kUser, 1));
    SetEntryActive(kUser, 1, true);
    uint32_t stored = 0;
    ASSERT_TRUE(ReadEntryNumber(kUser, kArea, QStringLiteral("1"), QStringLiteral("IsActive"), stored));
    EXPECT_EQ(stored, 1u);
}

TEST(BindingStoreTest, LenientReadRefreshesAndWritesBackTheFileSize) {
    CTempEnv env;
    const QString folder = env.MakeDir(QStringLiteral("pc")) + QLatin1Char('/');
    CDocSynchEntry r = SampleRecord();
    r.WinPath = folder;
    r.FileSize = 999;
    WriteDocSynchEntry(kUser, 2, r);
    const auto storedSize = [] {
        uint32_t size = 12345;
        ReadEntryNumber(kUser, kArea, QStringLiteral("2"), QStringLiteral("FileSize"), size);
        return size;
    };

    // Missing file: a fresh record writes its own 0, never the stored 999.
    CDocSynchEntry fresh;
    ReadDocSynchEntry(kUser, 2, fresh, ReadMode::Lenient);
    EXPECT_EQ(fresh.FileSize, 0);
    EXPECT_EQ(storedSize(), 0u);

    env.WriteFile(QStringLiteral("pc/Report.txt"), QByteArray(321, 'x'));
    ReadDocSynchEntry(kUser, 2, fresh, ReadMode::Lenient);
    EXPECT_EQ(fresh.FileSize, 321);
    EXPECT_EQ(storedSize(), 321u);

    // Gone again: a reused record keeps what it last saw, a new one (as a listing uses) has 0.
    QFile::remove(folder + QStringLiteral("Report.txt"));
    ReadDocSynchEntry(kUser, 2, fresh, ReadMode::Lenient);
    EXPECT_EQ(storedSize(), 321u);
    CDocSynchEntry again;
    ReadDocSynchEntry(kUser, 2, again, ReadMode::Lenient);
    EXPECT_EQ(storedSize(), 0u);
}

TEST(BindingStoreTest, LenientReadOfAVanishedEntryDoesNotRecreateIt) {
    CTempEnv env;
    WriteDocSynchEntry(kUser, 3, SampleRecord());
    DeleteDocSynchEntry(kUser, 3);
    CDocSynchEntry r;
    // Without names there is no PC path to look at.
    EXPECT_TRUE(ReadDocSynchEntry(kUser, 3, r, ReadMode::Lenient).IsRefused());
    EXPECT_TRUE(r.WinFileName.isEmpty());
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("3"))));
}

// Deletions by another connection racing with the manager's lenient reads: an entry is
// either whole or gone, never a key holding only the size the read wrote back.
TEST(BindingStoreTest, LenientReadsRacingDeletesNeverLeaveASizeOnlyKey) {
    CTempEnv env;
    const QString folder = env.MakeDir(QStringLiteral("pc")) + QLatin1Char('/');
    env.WriteFile(QStringLiteral("pc/Report.txt"), QByteArray(77, 'x'));
    constexpr int kEntries = 150;
    CDocSynchEntry r = SampleRecord();
    r.WinPath = folder;
    for (int n = 0; n < kEntries; ++n) {
        r.FileSize = n;  // every read finds a size to correct
        WriteDocSynchEntry(kUser, n, r);
    }
    std::atomic<bool> done = false;
    std::thread deleter([&] {
        for (int n = kEntries - 1; n >= 0; --n)
            DeleteDocSynchEntry(kUser, n);
        done = true;
    });
    while (!done) {
        for (int n = 0; n < kEntries; ++n) {
            CDocSynchEntry read;
            ReadDocSynchEntry(kUser, n, read, ReadMode::Lenient);
        }
    }
    deleter.join();
    for (int n = 0; n < kEntries; ++n)
        EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, EntryKeyPath(QString::number(n)))) << n;
}

TEST(BindingStoreTest, FreeNumbersAreReusedLowestFirst) {
    CTempEnv env;
    EXPECT_EQ(FindFreeEntryNumber(kUser), 0);  // no area yet
    for (int n = 0; n <= 5; ++n)
        WriteDocSynchEntry(kUser, n, SampleRecord());
    EXPECT_EQ(FindFreeEntryNumber(kUser), 6);
    DeleteDocSynchEntry(kUser, 3);
    const int first = FindFreeEntryNumber(kUser);
    EXPECT_EQ(first, 3);
    WriteDocSynchEntry(kUser, first, SampleRecord());
    EXPECT_EQ(FindFreeEntryNumber(kUser), 6);

    // A key without "LinkStatus" does not hold its number.
    ASSERT_TRUE(WriteEntryNumber(kUser, kArea, QStringLiteral("6"), QStringLiteral("FileSize"), 1));
    EXPECT_EQ(FindFreeEntryNumber(kUser), 6);
}

TEST(BindingStoreTest, FreeNumberScanInsideACallersTransactionKeepsItsWrites) {
    CTempEnv env;
    WriteDocSynchEntry(kUser, 0, SampleRecord());
    int found = -2;
    ASSERT_EQ(CRegistry::Default().Transaction([&] {
        found = FindFreeEntryNumber(kUser);
        WriteDocSynchEntry(kUser, found, SampleRecord());
        return true;
    }),
              RegStatus::Ok);
    EXPECT_EQ(found, 1);
    CDocSynchEntry r;
    EXPECT_TRUE(ReadDocSynchEntry(kUser, 1, r, ReadMode::Strict));
    EXPECT_EQ(FindFreeEntryNumber(kUser), 2);
}

TEST(BindingStoreTest, FullStoreHasNoFreeNumber) {
    CTempEnv env;
    ASSERT_EQ(CRegistry::Default().Transaction([] {
        for (int n = 0; n <= kMaxEntryNumber; ++n) {
            if (!WriteEntryNumber(kUser, kArea, QString::number(n), QStringLiteral("LinkStatus"), 0))
                return false;
        }
        return true;
    }),
              RegStatus::Ok);
    EXPECT_EQ(FindFreeEntryNumber(kUser), -1);
}

TEST(BindingStoreTest, PositionsMapToLeadingDigitsOfTheKeyName) {
    CTempEnv env;
    int entry = -5;
    EXPECT_FALSE(GetEntryNumberAt(kUser, 0, entry));  // empty store
    EXPECT_EQ(entry, -5);

    for (const char* key : {"12abc", "abc", "4", "30"})
        ASSERT_TRUE(WriteEntryNumber(kUser, kArea, QString::fromLatin1(key), QStringLiteral("LinkStatus"), 0));
    struct Row {
        int position;
        int entry;
        const char* key;
    };
    const Row rows[] = {{0, 12, "12abc"}, {1, 30, "30"}, {2, 4, "4"}, {3, 0, "abc"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        QString key;
        ASSERT_TRUE(GetEntryNumberAt(kUser, row.position, entry, &key));
        EXPECT_EQ(entry, row.entry);
        EXPECT_EQ(key, QString::fromLatin1(row.key));
    }
    EXPECT_FALSE(GetEntryNumberAt(kUser, 4, entry));
    EXPECT_FALSE(GetEntryNumberAt(kUser, -1, entry));

    // Reading and marking by key name reach the "12abc" entry, not entry 12.
    MarkSynchronizedKey(kUser, QStringLiteral("12abc"));
    uint32_t updated = 0;
    EXPECT_TRUE(ReadEntryNumber(kUser, kArea, QStringLiteral("12abc"), QStringLiteral("WasUpdated"), updated));
    EXPECT_EQ(updated, 1u);
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("12"))));
}

struct CTestClockScope {
    explicit CTestClockScope(QDateTime now) {
        CClock::SetTestClock([now] { return now; });
    }
    ~CTestClockScope() { CClock::ResetTestClock(); }
};

TEST(BindingStoreTest, MarkSynchronizedStoresNowPlusThreeSecondsBeyond2038) {
    CTempEnv env;
    struct Row {
        const char* what;
        QDateTime now;
    };
    const Row rows[] = {
        {"noon 2026", QDateTime(QDate(2026, 12, 8), QTime(12, 0, 0), Qt::UTC)},
        {"after the signed range ends", QDateTime(QDate(2040, 2, 29), QTime(23, 59, 58), Qt::UTC)},
        {"local time converts to UTC", QDateTime(QDate(2039, 6, 1), QTime(12, 0, 0), QTimeZone(3600))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CTestClockScope clock(row.now);
        WriteDocSynchEntry(kUser, 9, SampleRecord());
        MarkSynchronized(kUser, 9);
        CDocSynchEntry r;
        ASSERT_TRUE(ReadDocSynchEntry(kUser, 9, r, ReadMode::Strict));
        EXPECT_TRUE(r.WasUpdated);
        EXPECT_EQ(TimeStampToDateTime(r.LastSyncTimeStamp), row.now.addSecs(3).toUTC());
    }
}

// A binding deleted while a run waited (on a prompt, on its copies) must not come back as a
// key holding the run's values: the manager would list a broken row and the next add would
// not take the number for free.
TEST(BindingStoreTest, WritesOfARunReachOnlyBindingsThatStillExist) {
    CTempEnv env;
    struct Row {
        const char* what;
        std::function<void()> arrange;  // on entries 3 (the one written) and 4 (another)
        BindingWrite expected;
    };
    const Row rows[] = {
        {"still there", [] {}, BindingWrite::Written},
        {"deleted", [] { ASSERT_TRUE(DeleteDocSynchEntry(kUser, 3)); }, BindingWrite::Gone},
        {"a key left without its LinkStatus",
         [] {
             ASSERT_TRUE(DeleteDocSynchEntry(kUser, 3));
             ASSERT_TRUE(WriteEntryNumber(kUser, kArea, QStringLiteral("3"), QStringLiteral("FileSize"), 7));
         },
         BindingWrite::Gone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DeleteDocSynchEntry(kUser, 3);
        WriteDocSynchEntry(kUser, 3, SampleRecord());
        WriteDocSynchEntry(kUser, 4, SampleRecord());
        row.arrange();
        const bool existed = CRegistry::Default().KeyExists(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("3")));
        const std::vector<BindingWrite> marks = MarkSynchronizedKeys(
            kUser, {{QStringLiteral("3"), 1234567, {}, false}, {QStringLiteral("4"), 7654321, {}, false}});
        ASSERT_EQ(marks.size(), 2u);
        EXPECT_EQ(marks[0], row.expected);
        EXPECT_EQ(marks[1], BindingWrite::Written);  // the others are marked all the same
        EXPECT_EQ(WriteBindingString(kUser, QStringLiteral("3"), QStringLiteral("WinFileType"), QStringLiteral("T")),
                  row.expected);
        uint32_t stamp = 0;
        EXPECT_TRUE(ReadEntryNumber(kUser, kArea, QStringLiteral("4"), QStringLiteral("LastSyncTimeStamp"), stamp));
        EXPECT_EQ(stamp, 7654321u);
        if (row.expected == BindingWrite::Gone) {
            EXPECT_EQ(CRegistry::Default().KeyExists(RegRoot::CurrentUser, EntryKeyPath(QStringLiteral("3"))), existed);
            EXPECT_FALSE(ReadEntryNumber(kUser, kArea, QStringLiteral("3"), QStringLiteral("WasUpdated"), stamp));
            EXPECT_FALSE(ReadEntryNumber(kUser, kArea, QStringLiteral("3"), QStringLiteral("LinkStatus"), stamp));
        }
    }
}

// A refresh and a mark trust the bindings the run read only while nothing but the run's own
// marks was committed since: a binding renamed meanwhile, by another process or by this one, is
// read again and left alone.
TEST(BindingStoreTest, AMarkReadsItsBindingAgainOnlyWhenTheStoreMoved) {
    CTempEnv env;
    const CDocSynchEntry record = SampleRecord();
    CSyncState state{true,           {4, 10, u"aa"_s},   {5, 20, u"bb"_s}, u"M1"_s,
                     record.WinPath, record.WinFileName, record.EpocPath,  record.EpocFileName};
    const auto rename = [] { ASSERT_TRUE(WriteEntryString(kUser, kArea, u"3"_s, u"WinFileName"_s, u"Other.txt"_s)); };
    const auto elsewhere = [&rename] { std::thread(rename).join(); };
    const auto none = [] {};
    struct Row {
        std::function<void()> beforeRefresh, beforeMark;
        BindingWrite refresh, mark;
    };
    const Row rows[] = {
        {none, none, BindingWrite::Written, BindingWrite::Written},
        {rename, none, BindingWrite::Changed, BindingWrite::Changed},
        {elsewhere, none, BindingWrite::Changed, BindingWrite::Changed},
        {none, elsewhere, BindingWrite::Written, BindingWrite::Changed},
    };
    for (const Row& row : rows) {
        WriteDocSynchEntry(kUser, 3, record);
        ASSERT_EQ(MarkSynchronizedKeys(kUser, {{u"3"_s, 1, state, false}}).front(), BindingWrite::Written);
        StoreStamp readAt = RegStamp();
        CDocSynchEntry read;
        ASSERT_TRUE(ReadDocSynchEntryKey(kUser, u"3"_s, read, ReadMode::Strict));
        row.beforeRefresh();
        CSyncState moved = state;
        moved.epoc.time = 99;
        EXPECT_EQ(MarkSynchronizedKeys(kUser, {{u"3"_s, 0, moved, true}}, &readAt).front(), row.refresh);
        row.beforeMark();
        moved.pc = {6, 30, u"cc"_s};
        EXPECT_EQ(MarkSynchronizedKeys(kUser, {{u"3"_s, 2, moved, false, &read}}, &readAt).front(), row.mark);
        QString time;
        ASSERT_TRUE(ReadEntryString(kUser, kArea, u"3"_s, u"SyncEpocTime"_s, time));
        EXPECT_EQ(time, row.refresh == BindingWrite::Written ? u"99"_s : u"20"_s);
        ASSERT_TRUE(ReadEntryString(kUser, kArea, u"3"_s, u"SyncPcPrint"_s, time));
        EXPECT_EQ(time, row.mark == BindingWrite::Written ? u"cc"_s : u"aa"_s);
    }
}

TEST(BindingStoreTest, AMarkTheStoreDoesNotTakeIsReported) {
    CTempEnv env;
    WriteDocSynchEntry(kUser, 3, SampleRecord());
    CStoreWriteHold busy(env.RegistryPath());
    ASSERT_TRUE(busy.IsHeld());
    EXPECT_EQ(MarkSynchronizedKeys(kUser, {{QStringLiteral("3"), 1, {}, false}}),
              std::vector<BindingWrite>{BindingWrite::Failed});
    EXPECT_EQ(MarkSynchronized(kUser, 3), BindingWrite::Failed);
}

TEST(BindingStoreTest, TimeStampsAreUnsigned) {
    const QDateTime in2038 = TimeStampToDateTime(0x80000000u);
    EXPECT_EQ(in2038, QDateTime(QDate(2038, 1, 19), QTime(3, 14, 8), Qt::UTC));
    EXPECT_LT(TimeStampToDateTime(0x7fffffffu), in2038);
    EXPECT_EQ(DateTimeToTimeStamp(in2038), 0x80000000u);
    EXPECT_EQ(TimeStampToDateTime(0xffffffffu).date(), QDate(2106, 2, 7));
    EXPECT_EQ(DateTimeToTimeStamp(QDateTime(QDate(1969, 1, 1), QTime(0, 0), Qt::UTC)), 0u);
    EXPECT_EQ(DateTimeToTimeStamp(QDateTime(QDate(2200, 1, 1), QTime(0, 0), Qt::UTC)), 0xffffffffu);
}

}  // namespace
