// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProfileRegistry.h"

#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

namespace {

const QString kUsers = QString::fromLatin1(kUsersKey);
const QString kPsiWin = QString::fromLatin1(kPsiWinKey);

void StoreRaw(RegRoot root, const QString& key, const QString& name, uint32_t type, const QByteArray& data) {
    ASSERT_EQ(CRegistry::Default().SetValue(root, key, name, type, data), RegStatus::Ok);
}

QByteArray WithNul(const QByteArray& text) {
    return text + QByteArray(1, '\0');
}

TEST(ProfileRegistryTest, StringLimitCountsUtf8BytesWithTheNul) {
    CTempEnv env;
    struct Row {
        const char* what;
        QByteArray text;  // stored with its NUL
        bool readable;
    };
    const QByteArray e259 = QByteArray("x") + QByteArray("\xc3\xa9").repeated(129);
    const Row rows[] = {
        {"258 bytes + NUL", QByteArray(258, 'a'), true},
        {"259 bytes + NUL reads whole", QByteArray(259, 'b'), true},
        {"260 bytes + NUL reads as absent", QByteArray(260, 'c'), false},
        {"259 bytes of two-byte characters", e259, true},
        {"260 bytes of two-byte characters", QByteArray("\xc3\xa9").repeated(130), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        StoreRaw(RegRoot::CurrentUser, QStringLiteral("Limits"), QStringLiteral("v"), kRegSz, WithNul(row.text));
        QString out = QStringLiteral("before");
        EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, QStringLiteral("Limits"), QStringLiteral("v"), out), row.readable);
        EXPECT_EQ(out, row.readable ? QString::fromUtf8(row.text) : QString());
    }
}

TEST(ProfileRegistryTest, MissingKeyKeepsTheTextMissingValueEmptiesIt) {
    CTempEnv env;
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Some\\Key"), QStringLiteral("Other"), {}));

    QString out = QStringLiteral("keep");
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, QStringLiteral("No\\Such\\Key"), QStringLiteral("V"), out));
    EXPECT_EQ(out, QStringLiteral("keep"));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, QStringLiteral("Some\\Key"), QStringLiteral("V"), out));
    EXPECT_TRUE(out.isEmpty());

    // An empty stored text is a successful read; a value with no bytes at all is not.
    out = QStringLiteral("keep");
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, QStringLiteral("Some\\Key"), QStringLiteral("Other"), out));
    EXPECT_TRUE(out.isEmpty());
    StoreRaw(RegRoot::CurrentUser, QStringLiteral("Some\\Key"), QStringLiteral("Zero"), kRegSz, {});
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, QStringLiteral("Some\\Key"), QStringLiteral("Zero"), out));

    uint32_t n = 77;
    EXPECT_FALSE(RegReadNumber(HKEY_CURRENT_USER, QStringLiteral("No\\Such\\Key"), QStringLiteral("N"), n));
    EXPECT_FALSE(RegReadNumber(HKEY_CURRENT_USER, QStringLiteral("Some\\Key"), QStringLiteral("N"), n));
    EXPECT_EQ(n, 77u);
}

TEST(ProfileRegistryTest, NumbersRoundTripAndOversizedValuesAreRefused) {
    CTempEnv env;
    const QString key = QStringLiteral("Numbers");
    for (uint32_t v : {0u, 1u, 0x7fffffffu, 0x80000000u, 0xffffffffu}) {
        ASSERT_TRUE(RegWriteNumber(HKEY_CURRENT_USER, key, QStringLiteral("N"), v));
        uint32_t back = 0;
        ASSERT_TRUE(RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("N"), back));
        EXPECT_EQ(back, v);
    }
    // Stored little-endian in four bytes, as other programs expect.
    RegValue raw;
    ASSERT_EQ(CRegistry::Default().QueryValue(RegRoot::CurrentUser, key, QStringLiteral("n"), raw), RegStatus::Ok);
    EXPECT_EQ(raw.type, uint32_t(kRegDword));
    EXPECT_EQ(raw.data, QByteArray("\xff\xff\xff\xff", 4));

    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Wide"), kRegBinary, QByteArray(8, '\x01'));
    uint32_t n = 5;
    EXPECT_FALSE(RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("Wide"), n));
    EXPECT_EQ(n, 5u);
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Short"), kRegBinary, QByteArray("\x34\x12", 2));
    EXPECT_TRUE(RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("Short"), n));
    EXPECT_EQ(n, 0x1234u);
}

TEST(ProfileRegistryTest, FoldersEndWithExactlyOneSeparator) {
    struct Row {
        const char* stored;
        const char* expected;
    };
    // An empty folder would become the root "/": refused.
    const Row rows[] = {{"/home/ann/Documents", "/home/ann/Documents/"},
                        {"/home/ann/Documents/", "/home/ann/Documents/"},
                        {"", nullptr}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        CTempEnv env;
        const QString stored = QString::fromUtf8(row.stored);
        ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kPsiWin, QStringLiteral("Installation Directory"), stored));
        ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kUsers + QStringLiteral("\\Ann\\PCDirectory"), {}, stored));

        const QString expected = row.expected ? QString::fromUtf8(row.expected) : QStringLiteral("kept");
        QString folder = QStringLiteral("kept");
        EXPECT_EQ(bool(GetEpocConnectDirectory(folder)), row.expected != nullptr);
        EXPECT_EQ(folder, expected);
        folder = QStringLiteral("kept");
        EXPECT_EQ(bool(GetUserPCDirectory(QStringLiteral("Ann"), folder)), row.expected != nullptr);
        EXPECT_EQ(folder, expected);
        // Even an empty installation folder marks the suite as installed.
        EXPECT_TRUE(IsEpocConnectInstalled());
    }
}

TEST(ProfileRegistryTest, FailedFolderReadsKeepTheCallersText) {
    CTempEnv env;
    QString folder = QStringLiteral("unchanged");
    EXPECT_FALSE(GetEpocConnectDirectory(folder));
    EXPECT_FALSE(GetUserPCDirectory(QStringLiteral("Nobody"), folder));
    EXPECT_FALSE(IsEpocConnectInstalled());
    // Key present, value missing.
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kPsiWin, QStringLiteral("Control File"), QStringLiteral("x")));
    EXPECT_FALSE(GetEpocConnectDirectory(folder));
    EXPECT_EQ(folder, QStringLiteral("unchanged"));
    EXPECT_FALSE(IsEpocConnectInstalled());
}

TEST(ProfileRegistryTest, ControlDirectoryIsThePathUpToItsLastSeparator) {
    struct Row {
        const char* stored;  // nullptr: value missing
        const char* file;
        const char* directory;
    };
    // A relative path would name a file of whatever folder the program is working in.
    const Row rows[] = {{"/opt/psiwin/Control.ini", "/opt/psiwin/Control.ini", "/opt/psiwin"},
                        {"/Control.ini", "/Control.ini", ""},
                        {"Control.ini", "", ""},
                        {"psiwin/Control.ini", "", ""},
                        {nullptr, "", ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        CTempEnv env;
        if (row.stored) {
            ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kPsiWin, QStringLiteral("Control File"),
                                       QString::fromUtf8(row.stored)));
        }
        EXPECT_EQ(GetControlFile(), QString::fromUtf8(row.file));
        EXPECT_EQ(GetControlDirectory(), QString::fromUtf8(row.directory));
    }
}

TEST(ProfileRegistryTest, KeyAndValueNamesIgnoreCase) {
    CTempEnv env;
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\VEROZ\\PSIWIN32"),
                               QStringLiteral("INSTALLATION DIRECTORY"), QStringLiteral("/opt/psiwin")));
    QString folder;
    EXPECT_TRUE(GetEpocConnectDirectory(folder));
    EXPECT_EQ(folder, QStringLiteral("/opt/psiwin/"));

    ASSERT_TRUE(WriteEntryNumber(QStringLiteral("Ann"), QStringLiteral("DocSynchEntries"), QStringLiteral("4"),
                                 QStringLiteral("LinkStatus"), 9));
    uint32_t n = 0;
    EXPECT_TRUE(ReadEntryNumber(QStringLiteral("ANN"), QStringLiteral("docsynchentries"), QStringLiteral("4"),
                                QStringLiteral("linkstatus"), n));
    EXPECT_EQ(n, 9u);
}

TEST(ProfileRegistryTest, CurrentUserIsTheDefaultValue) {
    CTempEnv env;
    QString user = QStringLiteral("keep");
    EXPECT_FALSE(GetCurrentUser(user));
    EXPECT_EQ(user, QStringLiteral("keep"));
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), {}, QStringLiteral("Ann")));
    EXPECT_TRUE(GetCurrentUser(user));
    EXPECT_EQ(user, QStringLiteral("Ann"));
}

TEST(ProfileRegistryTest, SubkeyNamesByPositionWithinBounds) {
    CTempEnv env;
    const QString user = QStringLiteral("Ann");
    const QString area = QStringLiteral("DocSynchEntries");
    QString out = QStringLiteral("keep");
    EXPECT_EQ(CountUserSubkeys(user, area), 0);
    EXPECT_FALSE(GetUserSubkeyName(user, area, 0, out));
    EXPECT_EQ(out, QStringLiteral("keep"));

    for (const char* entry : {"2", "10", "1"})
        ASSERT_TRUE(WriteEntryNumber(user, area, QString::fromLatin1(entry), QStringLiteral("LinkStatus"), 0));
    ASSERT_EQ(CountUserSubkeys(user, area), 3);

    struct Row {
        int index;
        bool ok;
        const char* name;
    };
    // Store order: by name, ignoring case (not numerically).
    const Row rows[] = {{-1, false, "keep"}, {0, true, "1"}, {1, true, "10"}, {2, true, "2"}, {3, false, "keep"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        out = QStringLiteral("keep");
        EXPECT_EQ(GetUserSubkeyName(user, area, row.index, out), row.ok);
        EXPECT_EQ(out, QString::fromLatin1(row.name));
    }
}

TEST(ProfileRegistryTest, FindUserForMachineTakesTheFirstUserInStoreOrder) {
    CTempEnv env;
    EXPECT_EQ(FormatMachineId(0xA2B, 0xFF), QStringLiteral("A2B-FF"));
    EXPECT_EQ(FormatMachineId(0, 0xDEADBEEF), QStringLiteral("0-DEADBEEF"));

    QString user = QStringLiteral("none");
    EXPECT_FALSE(FindUserForMachine(0xA2B, 0xFF, user));  // no users key at all
    for (const char* name : {"zed", "Bob", "alice"})
        ASSERT_EQ(CRegistry::Default().CreateKey(
                      RegRoot::CurrentUser,
                      kUsers + QLatin1Char('\\') + QString::fromLatin1(name) + QStringLiteral("\\Machines\\A2B-FF")),
                  RegStatus::Ok);
    ASSERT_EQ(CRegistry::Default().CreateKey(RegRoot::CurrentUser, kUsers + QStringLiteral("\\zed\\Machines\\1-2")),
              RegStatus::Ok);

    EXPECT_TRUE(FindUserForMachine(0xA2B, 0xFF, user));
    EXPECT_EQ(user, QStringLiteral("alice"));
    EXPECT_TRUE(FindUserForMachine(1, 2, user));
    EXPECT_EQ(user, QStringLiteral("zed"));
    // The words are not interchangeable, and a miss leaves the text alone.
    user = QStringLiteral("none");
    EXPECT_FALSE(FindUserForMachine(0xFF, 0xA2B, user));
    EXPECT_EQ(user, QStringLiteral("none"));
}

TEST(ProfileRegistryTest, WritesCreateMissingKeysAndDeletesTakeOneKey) {
    CTempEnv env;
    const QString user = QStringLiteral("Ann");
    ASSERT_TRUE(WriteEntryString(user, QStringLiteral("AutoSynchApps"), QStringLiteral("Dovetail"),
                                 QStringLiteral("Path"), QStringLiteral("/opt/dt/bindcopy")));
    QString text;
    EXPECT_TRUE(ReadEntryString(user, QStringLiteral("AutoSynchApps"), QStringLiteral("Dovetail"),
                                QStringLiteral("Path"), text));
    EXPECT_EQ(text, QStringLiteral("/opt/dt/bindcopy"));
    ASSERT_TRUE(WriteUserString(user, QStringLiteral("Dovetail"), QStringLiteral("LogDocSynchCopy"),
                                QStringLiteral("/tmp/x.srp")));
    EXPECT_TRUE(ReadUserString(user, QStringLiteral("Dovetail"), QStringLiteral("LogDocSynchCopy"), text));
    EXPECT_EQ(text, QStringLiteral("/tmp/x.srp"));

    // The area still holds its entry, so it cannot go first.
    EXPECT_FALSE(DeleteUserKey(user, QStringLiteral("AutoSynchApps")));
    EXPECT_TRUE(DeleteUserKey(user, QStringLiteral("AutoSynchApps"), QStringLiteral("Dovetail")));
    EXPECT_EQ(CountUserSubkeys(user, QStringLiteral("AutoSynchApps")), 0);
    EXPECT_TRUE(DeleteUserKey(user, QStringLiteral("AutoSynchApps")));
    EXPECT_FALSE(DeleteUserKey(user, QStringLiteral("AutoSynchApps")));
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, kUsers + QStringLiteral("\\Ann\\AutoSynchApps")));
}

}  // namespace

// The one-read form answers every question exactly as a read of that value on its own would,
// including what it leaves in the caller's variable.
TEST(ProfileRegistryTest, OneReadOfAnEntryAnswersAsSingleReads) {
    CTempEnv env;
    const QString area = QStringLiteral("DocSynchEntries");
    const QString key = kUsers + QStringLiteral("\\U\\DocSynchEntries\\4");
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Text"), kRegSz, WithNul("plain \xc3\xa9"));
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("EMPTY"), kRegSz, WithNul(""));
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("NoBytes"), kRegSz, {});
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("TooLong"), kRegSz, WithNul(QByteArray(260, 'x')));
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Inner"), kRegSz, WithNul(QByteArray("ab\0cd", 5)));
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Number"), kRegDword, QByteArray("\x01\x02\x00\x00", 4));
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Short"), kRegBinary, QByteArray("\x07", 1));
    StoreRaw(RegRoot::CurrentUser, key, QStringLiteral("Wide"), kRegBinary, QByteArray(5, '\x01'));
    const QString names[] = {
        QStringLiteral("Text"),    QStringLiteral("text"),  QStringLiteral("Empty"),     QStringLiteral("NoBytes"),
        QStringLiteral("TooLong"), QStringLiteral("Inner"), QStringLiteral("NUMBER"),    QStringLiteral("Short"),
        QStringLiteral("Wide"),    QStringLiteral("Gone"),  QStringLiteral("T\u0130xt"), QString(),
    };
    for (const QString& entry : {QStringLiteral("4"), QStringLiteral("5")}) {
        CEntryValues values;
        EXPECT_EQ(ReadEntryValues(QStringLiteral("U"), area, entry, values), entry == QStringLiteral("4"));
        for (const QString& name : names) {
            SCOPED_TRACE(qPrintable(QStringLiteral("entry %1, value \"%2\"").arg(entry, name)));
            QString single = QStringLiteral("keep"), together = QStringLiteral("keep");
            EXPECT_EQ(values.String(name, together), ReadEntryString(QStringLiteral("U"), area, entry, name, single));
            EXPECT_EQ(together, single);
            uint32_t singleNumber = 99, togetherNumber = 99;
            EXPECT_EQ(values.Number(name, togetherNumber),
                      ReadEntryNumber(QStringLiteral("U"), area, entry, name, singleNumber));
            EXPECT_EQ(togetherNumber, singleNumber);
        }
    }
}
