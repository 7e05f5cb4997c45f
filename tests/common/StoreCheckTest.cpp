// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "common/StoreCheck.h"

#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kUsers = QString::fromLatin1(kUsersKey);
const QString kPsiWin = QString::fromLatin1(kPsiWinKey);

// What a hostile value is refused for; an empty reason means it is usable.
struct CheckRow {
    const char* name;
    QString value;
    QString reason;
};

class PcFolderCheck : public ::testing::TestWithParam<CheckRow> {};

TEST_P(PcFolderCheck, RefusesAllButAbsoluteCleanFolders) {
    const CheckRow& row = GetParam();
    const CStoreCheck check = CheckPcFolder(u"\"PCDirectory\""_s, row.value);
    EXPECT_EQ(bool(check), row.reason.isEmpty());
    EXPECT_EQ(check.Reason(), row.reason);
    EXPECT_FALSE(check.IsMissing());
}

INSTANTIATE_TEST_SUITE_P(
    Store, PcFolderCheck,
    ::testing::Values(
        CheckRow{"Absolute", u"/home/ann/Documents/"_s, {}}, CheckRow{"WithoutTrailingSlash", u"/home/ann"_s, {}},
        CheckRow{"DoubledSeparatorIsHarmless", u"/home//ann/"_s, {}},
        CheckRow{"DotsInsideANameAreFine", u"/home/ann/..notes/a.b/"_s, {}},
        CheckRow{"Empty", u""_s, u"\"PCDirectory\" is empty"_s},
        CheckRow{"Relative", u"relative/dir/"_s, u"\"PCDirectory\" is not an absolute path: \"relative/dir/\""_s},
        CheckRow{"WindowsForm", u"C:\\Users\\ann\\"_s,
                 u"\"PCDirectory\" is not an absolute path: \"C:\\Users\\ann\\\""_s},
        CheckRow{"ParentComponent", u"/abs/../x"_s,
                 u"\"PCDirectory\" holds a \".\" or \"..\" component: \"/abs/../x\""_s},
        CheckRow{"TrailingParent", u"/home/ann/.."_s,
                 u"\"PCDirectory\" holds a \".\" or \"..\" component: \"/home/ann/..\""_s},
        CheckRow{"CurrentComponent", u"/home/./ann/"_s,
                 u"\"PCDirectory\" holds a \".\" or \"..\" component: \"/home/./ann/\""_s},
        CheckRow{"LineBreak", u"/home/a\nb/"_s, u"\"PCDirectory\" holds a control character: \"/home/a\\x0Ab/\""_s},
        CheckRow{"LineSeparator", u"/home/a\u2028b/"_s,
                 u"\"PCDirectory\" holds a control character: \"/home/a\\u2028b/\""_s}),
    [](const ::testing::TestParamInfo<CheckRow>& info) { return std::string(info.param.name); });

TEST(NameChecks, EachSideRefusesItsOwnSeparators) {
    struct Row {
        const char* what;
        QString name;
        bool pc;    // usable as WinFileName
        bool epoc;  // usable as EpocFileName, and as a user name
    };
    const Row rows[] = {
        {"plain", u"Report.txt"_s, true, true},
        {"beyond Latin-1", u"Отчёт 報告.txt"_s, true, true},
        {"leading dots", u"..hidden"_s, true, true},
        {"PC separator", u"a/b"_s, false, false},
        {"climbs out", u"../../etc/passwd"_s, false, false},
        {"handheld separator", u"a\\b"_s, true, false},
        {"parent", u".."_s, false, false},
        {"current", u"."_s, false, false},
        {"empty", u""_s, false, false},
        {"line break", u"a\r\nb"_s, false, false},
        {"bell", u"a\u0007"_s, false, false},
        {"DEL", u"a\u007F"_s, false, false},
        {"C1 next line", u"a\u0085b"_s, false, false},
        {"255 bytes", QString(255, u'x'), true, true},
        {"256 bytes", QString(256, u'x'), false, false},
        {"128 two-byte characters", QString(128, u'é'), false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(bool(CheckPcFileName(u"\"WinFileName\""_s, row.name)), row.pc);
        EXPECT_EQ(bool(CheckEpocFileName(u"\"EpocFileName\""_s, row.name)), row.epoc);
        EXPECT_EQ(bool(CheckUserName(u"\"CurrentUser\""_s, row.name)), row.epoc);
    }
    EXPECT_EQ(CheckPcFileName(u"\"WinFileName\""_s, u"../x"_s).Reason(),
              u"\"WinFileName\" is not a single name: \"../x\""_s);
    EXPECT_EQ(CheckPcFilePath(u"\"Control File\""_s, u"/opt/psiwin/"_s).Reason(),
              u"\"Control File\" names a folder, not a file: \"/opt/psiwin/\""_s);
}

TEST(EscapeControlCharacters, LeavesEverythingElseAsItIs) {
    EXPECT_EQ(EscapeControlCharacters(u"C:\\Documents\\Report"_s), u"C:\\Documents\\Report"_s);
    EXPECT_EQ(EscapeControlCharacters(u"naïve 文書"_s), u"naïve 文書"_s);
    const QString controls = u"a\r\nb\tc"_s + QChar(0) + u"d\u001Be\u009F\u2029"_s;
    EXPECT_EQ(EscapeControlCharacters(controls), u"a\\x0D\\x0Ab\\x09c\\x00d\\x1Be\\x9F\\u2029"_s);
}

TEST(FutureStamps, AFewSecondsAheadIsARunThatJustEnded) {
    const uint32_t now = 1700000000;
    EXPECT_FALSE(IsStampInFuture(now - 100000, now));
    EXPECT_FALSE(IsStampInFuture(now + 3, now));  // what MarkSynchronized writes
    EXPECT_FALSE(IsStampInFuture(now + kFutureStampToleranceSecs, now));
    EXPECT_TRUE(IsStampInFuture(now + kFutureStampToleranceSecs + 1, now));
    EXPECT_TRUE(IsStampInFuture(0xFFFFFFFFu, now));
    EXPECT_FALSE(IsStampInFuture(0, 0xFFFFFFFFu));
}

// The suite's and the user's values: a refused one is never handed out, and the caller's
// text stays as it was.
TEST(CheckedReads, RefusedValuesAreNeverHandedOut) {
    struct Row {
        const char* what;
        const char* value;    // the value written
        const char* refused;  // reason, empty when usable
    };
    const Row users[] = {
        {"plain", "alice", ""},
        {"slash", "a/b", "\"CurrentUser\" is not a single name: \"a/b\""},
        {"climbs", "../../x", "\"CurrentUser\" is not a single name: \"../../x\""},
        {"backslash addresses a deeper key", "bob\\DocSynchEntries", nullptr},
        {"parent", "..", "\"CurrentUser\" is not a single name: \"..\""},
        {"line break", "a\nb", "\"CurrentUser\" holds a control character: \"a\\x0Ab\""},
    };
    for (const Row& row : users) {
        SCOPED_TRACE(row.what);
        CTempEnv env;
        ASSERT_TRUE(
            RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), {}, QString::fromUtf8(row.value)));
        QString user = u"kept"_s;
        const CStoreCheck read = GetCurrentUser(user);
        const bool usable = row.refused && !*row.refused;
        EXPECT_EQ(bool(read), usable);
        EXPECT_EQ(read.IsRefused(), !usable);
        EXPECT_EQ(user, usable ? QString::fromUtf8(row.value) : u"kept"_s);
        if (row.refused && *row.refused) {
            EXPECT_EQ(read.Reason(), QString::fromUtf8(row.refused));
        }
    }

    CTempEnv env;
    QString text = u"kept"_s;
    EXPECT_TRUE(GetCurrentUser(text).IsMissing());
    for (const char* folder : {"relative/dir", "", "/abs/../x", "/a\tb"}) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kUsers + u"\\Ann\\PCDirectory"_s, {}, QString::fromUtf8(folder)));
        ASSERT_TRUE(
            RegWriteString(HKEY_LOCAL_MACHINE, kPsiWin, u"Installation Directory"_s, QString::fromUtf8(folder)));
        const QString control = *folder ? QString::fromUtf8(folder) + u"/Convert.ini"_s : QString();
        ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kPsiWin, u"Control File"_s, control));
        EXPECT_TRUE(GetUserPCDirectory(u"Ann"_s, text).IsRefused());
        EXPECT_TRUE(GetEpocConnectDirectory(text).IsRefused());
        EXPECT_TRUE(GetControlFile(text).IsRefused());
        EXPECT_EQ(text, u"kept"_s);
        EXPECT_EQ(GetControlFile(), QString());
        EXPECT_EQ(GetControlDirectory(), QString());
        // Present is installed, whatever it holds; what it holds is refused where it is used.
        EXPECT_TRUE(IsEpocConnectInstalled());
    }
}

// The first profile that knows the handheld is its owner; a name that cannot be used is
// refused, never replaced by a later profile that also knows it.
TEST(CheckedReads, RefusedOwnerIsNotReplacedByTheNextProfile) {
    CTempEnv env;
    for (const char* name : {"a/b", "zed"})
        ASSERT_EQ(CRegistry::Default().CreateKey(RegRoot::CurrentUser,
                                                 kUsers + u'\\' + QString::fromLatin1(name) + u"\\Machines\\A2B-FF"_s),
                  RegStatus::Ok);
    QString owner = u"none"_s;
    const CStoreCheck found = FindUserForMachine(0xA2B, 0xFF, owner);
    EXPECT_TRUE(found.IsRefused());
    EXPECT_EQ(found.Reason(), u"The handheld owner's name is not a single name: \"a/b\""_s);
    EXPECT_EQ(owner, u"none"_s);
    EXPECT_TRUE(FindUserForMachine(1, 2, owner).IsMissing());
}

// The strict read names the first fault; the values that name files are checked only once
// everything was read, and a disabled binding's IsActive is known even when it is broken.
TEST(CheckedReads, StrictReadNamesTheFault) {
    CTempEnv env;
    CDocSynchEntry good;
    good.WinFileName = u"a.txt"_s;
    good.EpocFileName = u"A"_s;
    good.WinPath = u"/home/ann/"_s;
    good.EpocPath = u"C:\\Documents\\"_s;
    const auto stored = [&](const std::function<void(CDocSynchEntry&)>& change) {
        CDocSynchEntry b = good;
        change(b);
        WriteDocSynchEntry(u"Ann"_s, 0, b);
        CDocSynchEntry read;
        return std::make_pair(ReadDocSynchEntry(u"Ann"_s, 0, read, ReadMode::Strict), read);
    };
    EXPECT_TRUE(stored([](CDocSynchEntry&) {}).first);
    // Numbers keep the meaning the rules give them; none makes a binding unreadable.
    EXPECT_TRUE(stored([](CDocSynchEntry& b) {
                    b.CopyRule = 7;
                    b.FileSize = -5;
                    b.LinkStatus = 99;
                    b.LastSyncTimeStamp = 0xFFFFFFFFu;
                }).first);

    auto [relative, record] = stored([](CDocSynchEntry& b) {
        b.WinPath = u"relative/dir/"_s;
        b.IsActive = false;
    });
    EXPECT_TRUE(relative.IsRefused());
    EXPECT_EQ(relative.Reason(), u"\"WinPath\" is not an absolute path: \"relative/dir/\""_s);
    EXPECT_FALSE(record.IsActive);
    EXPECT_EQ(stored([](CDocSynchEntry& b) { b.WinPath = u"/home/ann"_s; }).first.Reason(),
              u"\"WinPath\" does not end with \"/\": \"/home/ann\""_s);
    EXPECT_EQ(stored([](CDocSynchEntry& b) { b.EpocFileName = u"..\\System\\x"_s; }).first.Reason(),
              u"\"EpocFileName\" is not a single name: \"..\\System\\x\""_s);

    ASSERT_EQ(
        CRegistry::Default().DeleteValue(RegRoot::CurrentUser, kUsers + u"\\Ann\\DocSynchEntries\\0"_s, u"CopyRule"_s),
        RegStatus::Ok);
    CDocSynchEntry read;
    const CStoreCheck missing = ReadDocSynchEntry(u"Ann"_s, 0, read, ReadMode::Strict);
    EXPECT_TRUE(missing.IsMissing());
    EXPECT_EQ(missing.Reason(), u"\"CopyRule\" is missing or unreadable"_s);
    EXPECT_EQ(ReadDocSynchEntry(u"Ann"_s, 5, read, ReadMode::Strict).Reason(), u"there is no such binding"_s);
}

}  // namespace
