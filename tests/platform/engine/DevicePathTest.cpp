// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/DevicePath.h"

#include "platform/engine/SimulatorConfig.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class DevicePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = m_env.MakeDir(QStringLiteral("device"));
        m_env.WriteFile(QStringLiteral("device/C/Documents/Report"), "r");
        m_env.WriteFile(QStringLiteral("device/C/Documents/Sub/Deep.txt"), "d");
        m_env.WriteFile(QStringLiteral("outside.txt"), "o");
    }

    int32_t Resolve(const QByteArray& path, DeviceTarget& target) { return ResolveDevicePath(m_root, path, target); }

    CTempEnv m_env;
    QString m_root;
};

TEST_F(DevicePathTest, RefusesPathsThatCouldLeaveTheRoot) {
    QFile::link(m_env.Root(), m_root + QStringLiteral("/C/Documents/up"));
    QFile::link(m_env.Root() + QStringLiteral("/outside.txt"), m_root + QStringLiteral("/C/Documents/file-link"));
    const struct {
        const char* why;
        QByteArray path;
    } rows[] = {
        {"parent component", "C:\\Documents\\..\\..\\..\\outside.txt"},
        {"parent at the end", "C:\\Documents\\.."},
        {"current component", "C:\\.\\Documents"},
        {"forward slash", "C:\\Documents/Report"},
        {"slash to the parent", "C:\\../outside.txt"},
        {"empty component", "C:\\Documents\\\\Report"},
        {"double separator after the drive", "C:\\\\"},
        {"no drive", "\\Documents\\Report"},
        {"drive without separator", "C:Documents"},
        {"two-letter drive", "CD:\\Documents"},
        {"colon inside", "C:\\Documents\\a:b"},
        {"control character", "C:\\Documents\\a\tb"},
        {"empty", ""},
        {"link to a folder outside", "C:\\Documents\\up\\outside.txt"},
        {"link to a file outside", "C:\\Documents\\file-link"},
        {"outside link reached without regard to case", "C:\\DOCUMENTS\\FILE-LINK"},
        {"new file behind an outside link", "C:\\Documents\\up\\new.txt"},
    };
    for (const auto& row : rows) {
        DeviceTarget target;
        EXPECT_EQ(Resolve(row.path, target), EngineError::kBadName) << row.why;
        EXPECT_TRUE(target.hostPath.isEmpty()) << row.why;
    }
}

TEST_F(DevicePathTest, ResolvesWithoutRegardToCase) {
    const struct {
        QByteArray path;
        QString expected;  // relative to the root
        QString name;
        bool exists;
    } rows[] = {
        {"C:\\Documents\\Report", QStringLiteral("C/Documents/Report"), QStringLiteral("Report"), true},
        {"c:\\documents\\REPORT", QStringLiteral("C/Documents/Report"), QStringLiteral("Report"), true},
        {"C:\\DOCUMENTS\\sub\\deep.TXT", QStringLiteral("C/Documents/Sub/Deep.txt"), QStringLiteral("Deep.txt"), true},
        {"C:\\Documents\\Sub\\", QStringLiteral("C/Documents/Sub"), QStringLiteral("Sub"), true},
        {"C:\\", QStringLiteral("C"), QStringLiteral("C:"), true},
        {"C:\\documents\\NewFile.Txt", QStringLiteral("C/Documents/NewFile.Txt"), QStringLiteral("NewFile.Txt"), false},
    };
    for (const auto& row : rows) {
        DeviceTarget target;
        ASSERT_EQ(Resolve(row.path, target), 0) << row.path.constData();
        EXPECT_EQ(QFile::decodeName(target.hostPath), QDir(m_root).canonicalPath() + QLatin1Char('/') + row.expected);
        EXPECT_EQ(target.name, row.name);
        EXPECT_EQ(target.exists, row.exists) << row.path.constData();
    }
}

TEST_F(DevicePathTest, ExactNameWinsOverACaseVariant) {
    m_env.WriteFile(QStringLiteral("device/C/Documents/report"), "lower");
    DeviceTarget target;
    ASSERT_EQ(Resolve("C:\\Documents\\report", target), 0);
    EXPECT_TRUE(target.hostPath.endsWith("/report"));
    ASSERT_EQ(Resolve("C:\\Documents\\Report", target), 0);
    EXPECT_TRUE(target.hostPath.endsWith("/Report"));
}

TEST_F(DevicePathTest, MissingPiecesAreReported) {
    DeviceTarget target;
    EXPECT_EQ(Resolve("D:\\Documents\\Report", target), EngineError::kPathNotFound);
    EXPECT_EQ(Resolve("C:\\Nothing\\Report", target), EngineError::kPathNotFound);
    EXPECT_EQ(Resolve("C:\\Documents\\Report\\Inside", target), EngineError::kPathNotFound);
    EXPECT_EQ(ResolveDevicePath(m_root + QStringLiteral("/absent"), "C:\\Documents", target), EngineError::kNotReady);
    EXPECT_EQ(ResolveDevicePath(QString(), "C:\\Documents", target), EngineError::kNotReady);
}

TEST_F(DevicePathTest, LinksInsideTheRootAreFollowed) {
    QFile::link(m_root + QStringLiteral("/C/Documents/Sub"), m_root + QStringLiteral("/C/Documents/Alias"));
    DeviceTarget target;
    ASSERT_EQ(Resolve("C:\\Documents\\alias\\Deep.txt", target), 0);
    EXPECT_TRUE(target.exists);
    EXPECT_TRUE(target.hostPath.endsWith("/C/Documents/Alias/Deep.txt"));
}

// The root's resolved form is remembered between calls; a root replaced or re-pointed in
// between must be seen at once, and the checks must then hold against the new root.
TEST_F(DevicePathTest, SeesADeviceRootReplacedBetweenCalls) {
    const QString link = m_env.Root() + QStringLiteral("/current-device");
    ASSERT_TRUE(QFile::link(m_root, link));
    DeviceTarget target;
    ASSERT_EQ(ResolveDevicePath(link, "C:\\Documents\\Report", target), 0);
    EXPECT_TRUE(target.exists);

    m_env.MakeDir(QStringLiteral("other-device/C/Documents"));
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(m_env.Root() + QStringLiteral("/other-device"), link));
    ASSERT_EQ(ResolveDevicePath(link, "C:\\Documents\\Report", target), 0);
    EXPECT_FALSE(target.exists);
    const QString otherRoot = QDir(m_env.Root() + QStringLiteral("/other-device")).canonicalPath();
    EXPECT_EQ(QFile::decodeName(target.hostPath), otherRoot + QStringLiteral("/C/Documents/Report"));

    // The old device folder, now outside the root, is refused through a link.
    QFile::link(m_root, m_env.Root() + QStringLiteral("/other-device/C/Documents/old"));
    EXPECT_EQ(ResolveDevicePath(link, "C:\\Documents\\old\\Report", target), EngineError::kBadName);

    ASSERT_TRUE(QDir(m_root).rename(m_root, m_root + QStringLiteral("-moved")));
    ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/C")));
    EXPECT_EQ(ResolveDevicePath(m_root, "C:\\Documents\\Report", target), EngineError::kPathNotFound);
}

TEST(FileSpecPathTest, AcceptsOnlyTerminatedUtf8) {
    FileSpec spec;
    QByteArray path;
    ASSERT_TRUE(MakeFileSpec(kLocationDevice, "C:\\Dokumente\\Ärger", spec));
    EXPECT_EQ(FileSpecPath(spec, path), 0);
    EXPECT_EQ(path, QByteArray("C:\\Dokumente\\Ärger"));

    ASSERT_TRUE(MakeFileSpec(kLocationDevice, "C:\\bad\xff\xfe", spec));
    EXPECT_EQ(FileSpecPath(spec, path), EngineError::kBadName);

    std::memset(spec.path, 'a', sizeof spec.path);
    EXPECT_EQ(FileSpecPath(spec, path), EngineError::kBadName);

    const std::string longest(261, 'x');
    EXPECT_TRUE(MakeFileSpec(kLocationPc, longest.c_str(), spec));
    EXPECT_FALSE(MakeFileSpec(kLocationPc, (longest + 'x').c_str(), spec));
    EXPECT_FALSE(MakeFileSpec(kLocationPc, nullptr, spec));
}

}  // namespace
