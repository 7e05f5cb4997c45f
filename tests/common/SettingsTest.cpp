// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Profile.h"
#include "common/StringTable.h"
#include "platform/registry/Registry.h"

#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

namespace {

const QString kSettingsKey = QStringLiteral("Software\\Veroz\\Dovetail\\Settings");

TEST(SettingsTest, FreshInstallationDefaultRules) {
    CTempEnv env;
    const CRuleSet rules = ReadDefaultRules();
    EXPECT_EQ(rules.CopyRule, kCopyNewest);
    EXPECT_FALSE(rules.Prompt24Hrs);
    EXPECT_FALSE(rules.KeepCopy);
    EXPECT_TRUE(rules.PromptBothChanged);

    const CDocSynchEntry seeded = CDocSynchEntry::NewForManager(rules, QStringLiteral("(unknown)"));
    EXPECT_TRUE(seeded.PromptBothChanged);
    EXPECT_EQ(seeded.WinFileName, QStringLiteral("(unknown)"));
    EXPECT_EQ(seeded.ImageIndex, -1);
}

TEST(SettingsTest, StoredRulesAreReadAsStoredAndWrittenBackAsFlags) {
    CTempEnv env;
    CRegistry& reg = CRegistry::Default();
    ASSERT_TRUE(reg.SetNumber(RegRoot::CurrentUser, kSettingsKey, QStringLiteral("KeepCopy"), 5));
    ASSERT_TRUE(reg.SetNumber(RegRoot::CurrentUser, kSettingsKey, QStringLiteral("CopyRule"), 7));
    ASSERT_TRUE(reg.SetNumber(RegRoot::CurrentUser, kSettingsKey, QStringLiteral("PromptBothChanged"), 0));

    CRuleSet rules = ReadDefaultRules();
    EXPECT_EQ(rules.CopyRule, 7);  // kept, even though no direction matches it
    EXPECT_TRUE(rules.KeepCopy);
    EXPECT_FALSE(rules.PromptBothChanged);

    WriteDefaultRules(rules);
    uint32_t keep = 0;
    ASSERT_TRUE(reg.GetNumber(RegRoot::CurrentUser, kSettingsKey, QStringLiteral("KeepCopy"), keep));
    EXPECT_EQ(keep, 1u);
}

TEST(SettingsTest, DefaultRulesAreWrittenInTheirOrder) {
    CTempEnv env;
    CRuleSet rules;
    rules.CopyRule = kCopyPcToDevice;
    rules.Prompt24Hrs = true;
    WriteDefaultRules(rules);
    const char* order[] = {"CopyRule", "Prompt24Hrs", "KeepCopy", "PromptBothChanged"};
    const uint32_t values[] = {1, 1, 0, 1};
    for (int i = 0; i < 4; ++i) {
        RegValue v;
        ASSERT_EQ(CRegistry::Default().EnumValue(RegRoot::CurrentUser, kSettingsKey, i, v), RegStatus::Ok);
        EXPECT_EQ(v.name, QString::fromLatin1(order[i]));
        EXPECT_EQ(v.type, uint32_t(kRegDword));
        EXPECT_EQ(v.data, QByteArray(reinterpret_cast<const char*>(&values[i]), 4));
    }
}

TEST(SettingsTest, ProfileValuesBySectionWithDefaults) {
    CTempEnv env;
    const CAppProfile profile;
    const QString cols = QStringLiteral("ListColWidth");
    EXPECT_EQ(profile.GetProfileInt(cols, QStringLiteral("Col 3"), 125), 125);
    EXPECT_EQ(
        profile.GetProfileString(QStringLiteral("Settings"), QStringLiteral("Last Epoc Path"), QStringLiteral("C:\\")),
        QStringLiteral("C:\\"));

    EXPECT_TRUE(profile.WriteProfileInt(cols, QStringLiteral("Col 3"), -40));
    EXPECT_EQ(profile.GetProfileInt(cols, QStringLiteral("col 3"), 125), -40);
    // An empty section is the profile key itself.
    EXPECT_TRUE(profile.WriteProfileString({}, QStringLiteral("SyncronizerPath"), QStringLiteral("/opt/dt/bindcopy")));
    QString path;
    EXPECT_TRUE(CRegistry::Default().GetString(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Dovetail"),
                                               QStringLiteral("SyncronizerPath"), path));
    EXPECT_EQ(path, QStringLiteral("/opt/dt/bindcopy"));
    EXPECT_EQ(profile.GetProfileString({}, QStringLiteral("SyncronizerPath")), path);

    // A value of the wrong type gives the default rather than garbage.
    ASSERT_TRUE(CRegistry::Default().SetString(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Dovetail"),
                                               QStringLiteral("Number"), QStringLiteral("12")));
    EXPECT_EQ(profile.GetProfileInt({}, QStringLiteral("Number"), 3), 3);
}

TEST(SettingsTest, StringTableLoadsByNumber) {
    CStringTable::Install({{101, "(unknown)"}, {102, "Synchronization complete."}});
    CStringTable::Install({{101, "(inconnu)"}});
    bool ok = false;
    EXPECT_EQ(CStringTable::Load(101, &ok), QStringLiteral("(inconnu)"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(CStringTable::Load(102), QStringLiteral("Synchronization complete."));
    EXPECT_TRUE(CStringTable::Load(103, &ok).isEmpty());
    EXPECT_FALSE(ok);
}

}  // namespace
