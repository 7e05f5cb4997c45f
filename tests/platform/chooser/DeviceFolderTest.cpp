// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/DeviceFolder.h"

#include "platform/converter/EpocText.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(DeviceFolderTest, ParsesEpocPaths) {
    struct Row {
        QString text;
        bool wildcards;
        bool ok;
        QString folder;  // FolderText()
        QString name;
    };
    const Row rows[] = {
        {u"C:\\Documents\\Report"_s, false, true, u"C:\\Documents"_s, u"Report"_s},
        {u"c:\\Documents\\"_s, false, true, u"C:\\Documents"_s, QString()},
        {u"C:\\"_s, false, true, u"C:"_s, QString()},
        {u"D:"_s, false, true, u"D:"_s, QString()},
        {u"C:\\Documents\\*.*"_s, true, true, u"C:\\Documents"_s, u"*.*"_s},
        {u"C:\\Documents\\*.*"_s, false, false, {}, {}},
        {u"C:\\a\\..\\b"_s, false, false, {}, {}},
        {u"C:\\.\\b"_s, false, false, {}, {}},
        {u"C:\\a\\\\b"_s, false, false, {}, {}},
        {u"C:\\a/b\\c"_s, false, false, {}, {}},
        {u"C:\\a\\b:c"_s, false, false, {}, {}},
        {u"C:Documents"_s, false, false, {}, {}},
        {u"\\Documents\\x"_s, false, false, {}, {}},
        {u"1:\\x"_s, false, false, {}, {}},
        {QString(), false, false, {}, {}},
    };
    for (const Row& row : rows) {
        EpocPath path;
        EXPECT_EQ(ParseEpocPath(row.text, path, row.wildcards), row.ok) << row.text.toStdString();
        if (row.ok) {
            EXPECT_EQ(path.FolderText(), row.folder) << row.text.toStdString();
            EXPECT_EQ(path.name, row.name) << row.text.toStdString();
        }
    }
}

TEST(DeviceFolderTest, LooksUpNamesIgnoringCaseAndHidesWhatLeavesTheRoot) {
    CTempEnv env;
    const QString root = env.MakeDir(u"device"_s);
    env.MakeDir(u"device/C/Documents/Letters"_s);
    env.MakeDir(u"device/d"_s);
    env.MakeDir(u"device/Backup"_s);  // not a drive
    env.WriteFile(u"device/C/Documents/Report"_s, EncodeEpocText(u"hi"_s));
    env.WriteFile(u"device/C/Documents/.dt-temp"_s, "partial");
    env.WriteFile(u"outside/secret"_s, "x");
    QFile::link(env.Root() + u"/outside"_s, root + u"/C/Documents/Escape"_s);

    CDeviceFolder device;
    ASSERT_TRUE(device.Open(root));
    EXPECT_EQ(device.Drives(), (QList<QChar>{u'C', u'D'}));

    const auto folders = device.FindFolder(u'C', {u"DOCUMENTS"_s});
    ASSERT_TRUE(folders.has_value());
    EXPECT_EQ(*folders, QStringList{u"Documents"_s});
    EXPECT_FALSE(device.FindFolder(u'C', {u"Documents"_s, u"Report"_s}).has_value()) << "a file is no folder";
    EXPECT_FALSE(device.FindFolder(u'C', {u"Documents"_s, u"Escape"_s}).has_value());
    EXPECT_FALSE(device.FindFolder(u'C', {u".."_s}).has_value());
    EXPECT_FALSE(device.FindFolder(u'E', {}).has_value());

    const auto entries = device.List(u'C', *folders);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, u"Letters"_s);
    EXPECT_TRUE(entries[0].isFolder);
    EXPECT_EQ(entries[1].name, u"Report"_s);

    const auto report = device.Find(u'C', *folders, u"report"_s);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->name, u"Report"_s);
    uint32_t u1 = 1, u2 = 1, u3 = 1;
    device.ReadFileType(u'C', *folders, u"REPORT"_s, u1, u2, u3);
    EXPECT_EQ(u3, kEpocTextUid3);
    env.WriteFile(u"outside/typed"_s, EncodeEpocText(u"secret"_s));
    device.ReadFileType(u'C', {u"Documents"_s, u"Escape"_s}, u"typed"_s, u1, u2, u3);
    EXPECT_EQ(u1 | u2 | u3, 0u) << "read through a link";
    EXPECT_FALSE(device.Find(u'C', *folders, u".dt-temp"_s).has_value());
    EXPECT_FALSE(device.Find(u'C', *folders, u"Escape"_s).has_value());

    CDeviceFolder missing;
    EXPECT_FALSE(missing.Open(env.Root() + u"/nowhere"_s));
    EXPECT_TRUE(missing.Drives().isEmpty());

    // A root the engine refuses is refused here too, never mended into one it would not reach.
    QDir::setCurrent(env.Root());
    for (const QString& refused : {u"device"_s, root + u"/C/.."_s, u"./device"_s}) {
        CDeviceFolder odd;
        EXPECT_FALSE(odd.Open(refused)) << refused.toStdString();
    }
}

}  // namespace
