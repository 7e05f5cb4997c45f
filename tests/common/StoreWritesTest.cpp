// SPDX-License-Identifier: GPL-3.0-or-later
// Every write the manager makes says whether it landed: with another program holding the
// store it fails, and the store keeps what it had.
#include "common/DocSynchEntry.h"
#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "tests/support/StoreBusy.h"
#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kUser = QStringLiteral("Ann");

CDocSynchEntry Record(const QString& name) {
    CDocSynchEntry r;
    r.WinFileName = name;
    r.WinPath = QStringLiteral("/home/ann/");
    r.EpocFileName = name;
    r.EpocPath = QStringLiteral("C:\\Documents\\");
    r.WinFileType = r.EpocFileType = QStringLiteral("Text");
    return r;
}

QString Stored(int entry) {
    QString name;
    ReadEntryString(kUser, QString::fromLatin1(kDocSynchArea), QString::number(entry), QStringLiteral("WinFileName"),
                    name);
    return name;
}

struct Row {
    const char* name;
    std::function<bool()> write;
    // What the store holds afterwards, as text: unchanged after a failure.
    std::function<QString()> state;
    QString before;
    QString after;
};

}  // namespace

TEST(StoreWritesTest, EachWriteReportsWhetherTheStoreTookIt) {
    const Row rows[] = {
        {"WriteDocSynchEntry", [] { return WriteDocSynchEntry(kUser, 0, Record(QStringLiteral("new.txt"))); },
         [] { return Stored(0); }, QStringLiteral("old.txt"), QStringLiteral("new.txt")},
        {"DeleteDocSynchEntry", [] { return DeleteDocSynchEntry(kUser, 0); },
         [] {
             return UserEntryExists(kUser, QString::fromLatin1(kDocSynchArea), QStringLiteral("0"))
                        ? QStringLiteral("there")
                        : QStringLiteral("gone");
         },
         QStringLiteral("there"), QStringLiteral("gone")},
        {"SetEntryActive", [] { return SetEntryActive(kUser, 0, false); },
         [] { return IsEntryActive(kUser, 0) ? QStringLiteral("on") : QStringLiteral("off"); }, QStringLiteral("on"),
         QStringLiteral("off")},
        {"WriteDefaultRules",
         [] {
             return WriteDefaultRules(CRuleSet{kCopyDeviceToPc, true, false, true});
         },
         [] {
             const CRuleSet r = ReadDefaultRules();
             return QStringLiteral("%1%2%3%4")
                 .arg(r.CopyRule)
                 .arg(r.Prompt24Hrs)
                 .arg(r.PromptBothChanged)
                 .arg(r.KeepCopy);
         },
         QStringLiteral("0010"), QStringLiteral("2101")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CTempEnv env;
        ASSERT_TRUE(WriteDocSynchEntry(kUser, 0, Record(QStringLiteral("old.txt"))));
        ASSERT_EQ(row.state(), row.before);
        {
            CStoreWriteHold hold(env.RegistryPath());
            ASSERT_TRUE(hold.IsHeld());
            EXPECT_FALSE(row.write());
            EXPECT_EQ(row.state(), row.before);
        }
        EXPECT_TRUE(row.write());
        EXPECT_EQ(row.state(), row.after);
    }
}

TEST(StoreWritesTest, DeletingAnEntryThatIsGoneReportsFailure) {
    CTempEnv env;
    EXPECT_FALSE(DeleteDocSynchEntry(kUser, 7));
}
