// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/EpocDropStream.h"

#include <gtest/gtest.h>

namespace {
QByteArray Stream(const QByteArray& base, const std::vector<QByteArray>& items, int count) {
    QByteArray data(EpocDropFormat::kHeaderSize, '\0');
    data[0] = char(uint16_t(int16_t(count)) & 0xFF);
    data[1] = char(uint16_t(int16_t(count)) >> 8);
    data.replace(EpocDropFormat::kBaseOffset, base.size(), base);
    for (const QByteArray& item : items) {
        QByteArray record = item.left(EpocDropFormat::kItemSize);
        record.append(QByteArray(EpocDropFormat::kItemSize - record.size(), '\0'));
        data += record;
    }
    return data;
}

TEST(EpocDropStreamTest, AcceptsWellFormedStreamsAndRoundTrips) {
    const QByteArray stream = BuildEpocDropStream(QStringLiteral("C:\\Documents\\"),
                                                  {QStringLiteral("Report"), QStringLiteral("Letters\\letter")});
    ASSERT_EQ(stream.size(), 276 + 2 * 528);
    const EpocDropItems items = ParseEpocDropStream(stream);
    ASSERT_TRUE(items.ok) << items.error.toStdString();
    EXPECT_EQ(items.paths,
              (QStringList{QStringLiteral("C:\\Documents\\Report"), QStringLiteral("C:\\Documents\\Letters\\letter")}));
    // Trailing bytes past the announced items are ignored, an empty drop is no error.
    EXPECT_TRUE(ParseEpocDropStream(stream + QByteArray(5, 'x')).ok);
    const EpocDropItems none = ParseEpocDropStream(Stream("D:\\", {}, 0));
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.paths.isEmpty());
    // Names that cannot travel as single-byte text are not put on the stream.
    EXPECT_TRUE(BuildEpocDropStream(QStringLiteral("C:\\"), {QStringLiteral("\u20AC")}).isEmpty());
    EXPECT_TRUE(BuildEpocDropStream(QString(300, QLatin1Char('a')), {}).isEmpty());
}

TEST(EpocDropStreamTest, RefusesMalformedStreamsWholeSayingWhy) {
    const QByteArray longBase(268, 'C');
    const QByteArray longItem(528, 'n');
    struct Case {
        const char* name;
        QByteArray stream;
        const char* errorPart;
    };
    const Case cases[] = {
        {"too short", QByteArray(100, '\0'), "too short"},
        {"negative count", Stream("C:\\", {"a"}, -1), "negative number of items (-1)"},
        {"count beyond data", Stream("C:\\", {"a", "b"}, 3), "announces 3 items but holds only 2"},
        {"huge count", Stream("C:\\", {}, 32767), "announces 32767 items but holds only 0"},
        {"base without NUL", Stream(longBase, {"a"}, 1), "base folder"},
        {"item without NUL", Stream("C:\\", {"ok", longItem}, 2), "Item 2 of the dropped data has no end"},
        {"parent step", Stream("C:\\Documents\\", {"a", "..\\..\\etc"}, 2),
         "Item 2 of the dropped data (C:\\Documents\\..\\..\\etc)"},
        {"no drive", Stream("/etc/", {"passwd"}, 1), "Item 1"},
        {"second drive inside", Stream("C:\\", {"x\\D:\\y"}, 1), "not a path on the handheld's drives"},
        {"empty base", Stream("", {"a"}, 1), "Item 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EpocDropItems items = ParseEpocDropStream(c.stream);
        EXPECT_FALSE(items.ok);
        EXPECT_TRUE(items.paths.isEmpty());
        EXPECT_TRUE(items.error.contains(QString::fromLatin1(c.errorPart))) << items.error.toStdString();
    }
}
}  // namespace
