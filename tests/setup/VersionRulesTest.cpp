// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/VersionRules.h"
#include "setup/SetupContext.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Qt::StringLiterals;

TEST(VersionRules, ParseVersionTakesDigitRuns) {
    struct Row {
        const char* name;
        QString text;
        std::vector<uint32_t> expected;
    };
    const Row rows[] = {
        {"dotted", u"4.72.3110.1"_s, {4, 72, 3110, 1}},
        {"comma and blank separated", u"1, 0, 0, 20"_s, {1, 0, 0, 20}},
        {"empty", QString(), {}},
        {"no digits", u"abc"_s, {}},
        {"letters separate", u"6.4.2rc1"_s, {6, 4, 2, 1}},
        {"at most ten", u"1.2.3.4.5.6.7.8.9.10.11.12"_s, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"too large saturates", u"99999999999.1"_s, {4294967295u, 1}},
    };
    for (const Row& row : rows) {
        VersionNumbers numbers{};
        const int count = ParseVersion(row.text, numbers);
        ASSERT_EQ(count, int(row.expected.size())) << row.name;
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(numbers[i], row.expected[i]) << row.name << " #" << i;
    }
}

TEST(VersionRules, VersionAtMostDecidesByFirstDifference) {
    struct Row {
        const char* a;
        const char* b;
        bool expected;
    };
    const Row rows[] = {
        {"1.0.0.20", "1.0.0.20", true},   {"1.0.0.20", "1.0.0.19", false}, {"1.0.0.20", "1.0.1", true},
        {"1.0.0.20", "1.0.0.20.1", true}, {"1.0.0.20", "", false},         {"4.71", "4.71", true},
        {"4.71", "4.72.3110.1", true},    {"4.71.1", "4.71", false},       {"4.71", "5", true},
        {"6.4", "6.4.2", true},           {"6.4", "6.3.9", false},         {"6.4", "10.0", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VersionAtMost(QString::fromLatin1(row.a), QString::fromLatin1(row.b)), row.expected)
            << row.a << " vs " << row.b;
}

TEST(VersionRules, MissingFileHasNoVersion) {
    EXPECT_TRUE(GetFileVersionString(u"/nonexistent/ecfile.ocx"_s).isEmpty());
}

TEST(SetupCommandLine, OnlyAUSwitchSelectsRemoval) {
    struct Row {
        QStringList arguments;
        bool uninstall;
    };
    const Row rows[] = {
        {{}, false},       {{u"/U"_s}, true},          {{u"-u"_s}, true}, {{u"/uninstall"_s}, true},
        {{u"U"_s}, false}, {{u"/X"_s, u"/u"_s}, true}, {{u"/"_s}, false}, {{u"--verbose"_s}, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsUninstallCommandLine(row.arguments), row.uninstall) << row.arguments.join(u' ').toStdString();
}

TEST(SetupContextOs, DescriptionHasNameAndThreeNumbers) {
    const QString description = BuildOsDescription();
    const qsizetype dash = description.indexOf(u" - "_s);
    ASSERT_GT(dash, 0) << description.toStdString();
    VersionNumbers numbers{};
    EXPECT_EQ(ParseVersion(description.mid(dash + 3), numbers), 3) << description.toStdString();
}
