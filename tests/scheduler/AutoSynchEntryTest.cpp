// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/AutoSynchEntry.h"

#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "tests/scheduler/SchedulerWorld.h"
#include "tests/support/TempEnv.h"

#include <QFile>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString Key(const QString& user, const QString& entry) {
    return QLatin1String(kUsersKey) + u'\\' + user + u"\\AutoSynchApps\\"_s + entry;
}

QByteArray Dword(uint32_t n) {
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((n >> (8 * i)) & 0xff);
    return data;
}

const AutoSynchEntry* Find(const AutoSynchScan& scan, const QString& user, const QString& name) {
    for (const AutoSynchEntry& entry : scan.entries)
        if (entry.user == user && entry.name == name)
            return &entry;
    return nullptr;
}

struct RawValue {
    const char* name;
    uint32_t type;
    QByteArray data;
};

struct EntryCase {
    const char* name;
    std::vector<RawValue> values;
    bool kept;
    SynchFrequency frequency;
    std::optional<uint32_t> lastSynch;
};

class ReadEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(ReadEntryTest, KeepsOnlyUsableEntries) {
    CTempEnv env;
    const EntryCase& c = GetParam();
    CRegistry& registry = CRegistry::Default();
    const QString key = Key(u"alice"_s, u"Dovetail"_s);
    ASSERT_EQ(registry.CreateKey(RegRoot::CurrentUser, key), RegStatus::Ok);
    for (const RawValue& value : c.values)
        ASSERT_EQ(registry.SetValue(RegRoot::CurrentUser, key, QString::fromUtf8(value.name), value.type, value.data),
                  RegStatus::Ok);

    const AutoSynchScan scan = ReadAutoSynchEntries();
    ASSERT_TRUE(scan.ok);
    const AutoSynchEntry* entry = Find(scan, u"alice"_s, u"Dovetail"_s);
    ASSERT_EQ(entry != nullptr, c.kept);
    if (!entry)
        return;
    EXPECT_EQ(entry->frequency, c.frequency);
    EXPECT_EQ(entry->executablePath, u"/opt/dt/bindcopy"_s);
    EXPECT_EQ(entry->lastSynch, c.lastSynch);
}

const QByteArray kPath = QByteArray("/opt/dt/bindcopy", 17);  // with its NUL

INSTANTIATE_TEST_SUITE_P(
    Values, ReadEntryTest,
    ::testing::Values(
        EntryCase{
            "Complete",
            {{"Frequency", kRegDword, Dword(2)}, {"ExecutablePath", kRegSz, kPath}, {"LastSynch", kRegDword, Dword(5)}},
            true,
            SynchFrequency::Daily,
            5u},
        EntryCase{"LastSynchAfter2038",
                  {{"Frequency", kRegDword, Dword(3)},
                   {"ExecutablePath", kRegSz, kPath},
                   {"LastSynch", kRegDword, Dword(0x90000000u)}},
                  true,
                  SynchFrequency::Weekly,
                  0x90000000u},
        EntryCase{"NoLastSynch",
                  {{"Frequency", kRegDword, Dword(1)}, {"ExecutablePath", kRegSz, kPath}},
                  true,
                  SynchFrequency::OnConnect,
                  std::nullopt},
        EntryCase{"TextLastSynchIsNoStamp",
                  {{"Frequency", kRegDword, Dword(2)},
                   {"ExecutablePath", kRegSz, kPath},
                   {"LastSynch", kRegSz, QByteArray("123", 4)}},
                  true,
                  SynchFrequency::Daily,
                  std::nullopt},
        EntryCase{"PathWithoutNul",
                  {{"Frequency", kRegDword, Dword(1)}, {"ExecutablePath", kRegSz, "/opt/dt/bindcopy"}},
                  true,
                  SynchFrequency::OnConnect,
                  std::nullopt},
        EntryCase{"FrequencyOff",
                  {{"Frequency", kRegDword, Dword(0)}, {"ExecutablePath", kRegSz, kPath}},
                  false,
                  SynchFrequency::Off,
                  std::nullopt},
        EntryCase{"FrequencyMissing", {{"ExecutablePath", kRegSz, kPath}}, false, SynchFrequency::Off, std::nullopt},
        EntryCase{"FrequencyOutOfRange",
                  {{"Frequency", kRegDword, Dword(4)}, {"ExecutablePath", kRegSz, kPath}},
                  false,
                  SynchFrequency::Off,
                  std::nullopt},
        EntryCase{"FrequencyAsText",
                  {{"Frequency", kRegSz, QByteArray("1", 2)}, {"ExecutablePath", kRegSz, kPath}},
                  false,
                  SynchFrequency::Off,
                  std::nullopt},
        EntryCase{"FrequencyTooShort",
                  {{"Frequency", kRegBinary, QByteArray(1, '\x01')}, {"ExecutablePath", kRegSz, kPath}},
                  false,
                  SynchFrequency::Off,
                  std::nullopt},
        EntryCase{"PathMissing", {{"Frequency", kRegDword, Dword(1)}}, false, SynchFrequency::Off, std::nullopt},
        EntryCase{"PathEmpty",
                  {{"Frequency", kRegDword, Dword(1)}, {"ExecutablePath", kRegSz, QByteArray(1, '\0')}},
                  false,
                  SynchFrequency::Off,
                  std::nullopt},
        EntryCase{"PathAsNumber",
                  {{"Frequency", kRegDword, Dword(1)}, {"ExecutablePath", kRegDword, Dword(7)}},
                  false,
                  SynchFrequency::Off,
                  std::nullopt}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST(ReadAutoSynchEntries, ReadsEveryUserAndEveryEntry) {
    CTempEnv env;
    using namespace SchedulerWorld;
    SetFrequency(u"alice"_s, u"Dovetail"_s, 1);
    SetExecutablePath(u"alice"_s, u"Dovetail"_s, u"/a/bindcopy"_s);
    SetFrequency(u"alice"_s, u"OtherApp"_s, 3);
    SetExecutablePath(u"alice"_s, u"OtherApp"_s, u"/a/other"_s);
    SetFrequency(u"bob"_s, u"Dovetail"_s, 2);
    SetExecutablePath(u"bob"_s, u"Dovetail"_s, u"/b/bindcopy"_s);
    SetFrequency(u"carol"_s, u"Dovetail"_s, 9);  // bad: reported, not fatal
    ASSERT_EQ(CRegistry::Default().CreateKey(RegRoot::CurrentUser, QLatin1String(kUsersKey) + u"\\dave"_s),
              RegStatus::Ok);

    const AutoSynchScan scan = ReadAutoSynchEntries();
    ASSERT_TRUE(scan.ok);
    EXPECT_EQ(scan.entries.size(), 3u);
    ASSERT_NE(Find(scan, u"alice"_s, u"OtherApp"_s), nullptr);
    EXPECT_EQ(Find(scan, u"alice"_s, u"OtherApp"_s)->executablePath, u"/a/other"_s);
    ASSERT_NE(Find(scan, u"bob"_s, u"Dovetail"_s), nullptr);
    EXPECT_EQ(Find(scan, u"bob"_s, u"Dovetail"_s)->frequency, SynchFrequency::Daily);
    ASSERT_EQ(scan.skipped.size(), 1);
    EXPECT_TRUE(scan.skipped.front().startsWith(u"carol\\Dovetail"_s));
}

TEST(ReadAutoSynchEntries, EmptyAndBrokenStores) {
    CTempEnv env;
    AutoSynchScan scan = ReadAutoSynchEntries();  // no file yet
    EXPECT_TRUE(scan.ok);
    EXPECT_TRUE(scan.entries.empty());

    const QString garbage = env.WriteFile(u"garbage.db"_s, QByteArray(4096, 'x'));
    env.SetEnv("DOVETAIL_REGISTRY", garbage);
    scan = ReadAutoSynchEntries();
    EXPECT_FALSE(scan.ok);
    EXPECT_TRUE(scan.entries.empty());
}

}  // namespace
