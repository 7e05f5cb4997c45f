// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncPlan.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int64_t kBefore = kNow - 300000;  // before the binding's last synchronization
constexpr int64_t kAfter = kNow - 100;      // after it

struct PlanRow {
    const char* name;
    std::function<void(CSyncTestWorld&, CDocSynchEntry&)> arrange;  // the binding is then added as "0"
    const char* action;
    const char* reason;
    const char* key = "0";  // the entry the row is about
};

void Pc(CSyncTestWorld& w, int64_t t) {
    w.WritePcFile(u"a.txt"_s, "pc", t);
}
void Device(CSyncTestWorld& w, int64_t t) {
    w.WriteDeviceFile(u"a.txt"_s, "handheld", t);
}

const PlanRow kPlanRows[] = {
    {"PcChanged", [](auto& w, auto&) { Pc(w, kAfter), Device(w, kBefore); }, "to-handheld", "pc-changed"},
    {"HandheldChanged", [](auto& w, auto&) { Pc(w, kBefore), Device(w, kAfter); }, "to-pc", "handheld-changed"},
    {"HandheldMissing", [](auto& w, auto&) { Pc(w, kBefore); }, "to-handheld", "handheld-missing"},
    {"PcMissing", [](auto& w, auto&) { Device(w, kBefore); }, "to-pc", "pc-missing"},
    {"Unchanged", [](auto& w, auto&) { Pc(w, kBefore), Device(w, kBefore); }, "in-step", "unchanged"},
    {"BothMissing", [](auto&, auto&) {}, "in-step", "both-missing"},
    {"BothChangedAsks", [](auto& w, auto& b) { Pc(w, kAfter), Device(w, kAfter + 5), b.PromptBothChanged = true; },
     "both-changed", "ask"},
    {"BothChangedHandheldWins", [](auto& w, auto&) { Pc(w, kAfter), Device(w, kAfter + 5); }, "both-changed",
     "handheld-wins"},
    {"BothChangedPcWins", [](auto& w, auto&) { Pc(w, kAfter + 5), Device(w, kAfter); }, "both-changed", "pc-wins"},
    {"FirstRunNewerGoes", [](auto& w, auto& b) { Pc(w, kAfter + 5), Device(w, kAfter), b.WasUpdated = false; },
     "to-handheld", "pc-newer"},
    {"RecentSyncAsks",
     [](auto& w, auto& b) {
         b.LastSyncTimeStamp = uint32_t(kNow - 1000), b.Prompt24Hrs = true;
         Pc(w, kAfter), Device(w, kBefore);
     },
     "to-handheld", "ask-recent"},
    {"CopyRuleOneWay", [](auto& w, auto& b) { Pc(w, kAfter), Device(w, kBefore), b.CopyRule = kCopyDeviceToPc; },
     "left", "copy-rule"},
    {"BothChangedAtOneSecond", [](auto& w, auto&) { Pc(w, kAfter), Device(w, kAfter); }, "left", "same-time"},
    {"HandheldGoneDuringTheScan",
     [](auto& w, auto&) {
         Pc(w, kAfter), Device(w, kBefore), w.engine.unplugBeforeOpening = u"C:\\Documents\\a.txt"_s;
     },
     "refused", "disconnected"},
    {"SameFileAsALowerNumber", [](auto& w, auto& b) { Pc(w, kAfter), Device(w, kBefore), w.AddBinding(u"5"_s, b); },
     "refused", "same-file", "5"},
    {"KeyNotANumber", [](auto& w, auto& b) { Pc(w, kAfter), Device(w, kBefore), w.AddBinding(u"x7"_s, b); }, "refused",
     "not-a-binding", "x7"},
};

class PlanTest : public ::testing::TestWithParam<PlanRow> {};

// The plan says what the run that follows does, prompts and refusals included, and does none of it.
TEST_P(PlanTest, SaysWhatTheNextRunDoes) {
    const PlanRow& row = GetParam();
    CSyncTestWorld world;
    CDocSynchEntry binding = world.MakeBinding(u"a.txt"_s);
    row.arrange(world, binding);
    world.AddBinding(u"0"_s, binding);

    CSyncRunSettings settings = world.Settings();
    settings.planOnly = true;
    auto plan = world.Run(settings);
    ASSERT_TRUE(world.ui.closed);
    EXPECT_TRUE(world.ui.Matching(u"close:1"_s).size() == 1) << world.ui.calls.join(u'|').toStdString();
    const auto found = std::find_if(plan->Plan().begin(), plan->Plan().end(),
                                    [&](const CPlanEntry& e) { return e.key == QLatin1String(row.key); });
    ASSERT_NE(found, plan->Plan().end());
    const CPlanEntry planned = *found;
    const CPlanEntry* entry = &planned;
    EXPECT_EQ(PlanActionWord(entry->action), QLatin1String(row.action));
    EXPECT_EQ(PlanReasonWord(entry->reason), QLatin1String(row.reason));
    // Nothing done: no prompt, no copy, no log, no mark.
    EXPECT_TRUE(world.ui.Matching(u"both-changed:"_s).isEmpty() && world.ui.Matching(u"recent:"_s).isEmpty());
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 0);
    EXPECT_FALSE(QFileInfo::exists(world.programDir + u"Dovetail Synchronization{user1}.srp"_s));
    EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), binding.LastSyncTimeStamp);
    EXPECT_FALSE(QDir(world.pcDir + u"user1/Dovetail"_s).exists());
    plan.reset();

    world.ui.closed = false;
    world.ui.calls.clear();
    world.engine.unplugged = false;
    world.engine.calls.clear();
    auto run = world.Run();
    const QString asked = world.ui.Matching(u"both-changed:"_s).isEmpty() ? QString() : u"ask"_s;
    const QString askedRecent = world.ui.Matching(u"recent:"_s).isEmpty() ? QString() : u"ask-recent"_s;
    EXPECT_EQ(asked + askedRecent, entry->reason == PlanReason::Ask || entry->reason == PlanReason::AskRecent
                                       ? PlanReasonWord(entry->reason)
                                       : QString());
    const auto& bindings = run->Bindings();
    int index = -1;
    for (int i = 0; i < int(bindings.size()); ++i)
        if (QString::number(bindings[i].BindingNumber) == QLatin1String(row.key))
            index = i;
    if (entry->action == PlanAction::Refused) {
        EXPECT_TRUE(run->ErrorsOccurred());
        EXPECT_EQ(run->Decision(index), SyncDirection::NoCopy);
    } else if (asked.isEmpty() && askedRecent.isEmpty()) {
        ASSERT_GE(index, 0);
        EXPECT_EQ(run->Decision(index), PlannedDirection(*entry));
    }
}

INSTANTIATE_TEST_SUITE_P(Sync, PlanTest, ::testing::ValuesIn(kPlanRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlanLineTest, OneLineOfTabSeparatedFieldsWhateverTheNames) {
    CPlanEntry entry{u"12"_s,
                     12,
                     PlanAction::ToPc,
                     PlanReason::HandheldChanged,
                     u"/home/a/x\ty.txt"_s,
                     u"C:\\Documents\\x\ny"_s,
                     {},
                     {true, 42, 1700000000}};
    EXPECT_EQ(FormatPlanLine(entry),
              u"12\tto-pc\t/home/a/x\\x09y.txt\tC:\\Documents\\x\\x0Ay\thandheld-changed\t\t\t42\t"
              u"2023-11-14T22:13:20Z"_s);
    // What the manager's window reads back.
    CPlanEntry read;
    ASSERT_TRUE(ParsePlanLine(FormatPlanLine(entry), read));
    EXPECT_EQ(read.key, u"12"_s);
    EXPECT_EQ(read.action, PlanAction::ToPc);
    EXPECT_EQ(read.reason, PlanReason::HandheldChanged);
    EXPECT_FALSE(read.pc.known);
    EXPECT_TRUE(read.epoc.known && read.epoc.size == 42 && read.epoc.time == 1700000000);
    for (const QString& broken : {u"12\tto-pc"_s, FormatPlanLine(entry).replace(u"to-pc"_s, u"sideways"_s)})
        EXPECT_FALSE(ParsePlanLine(broken, read)) << broken.toStdString();
}

}  // namespace
