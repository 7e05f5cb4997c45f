// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/DesktopShell.h"

#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>

#include <functional>
#include <memory>

namespace {
TEST(DesktopShellTest, TypeNamesTellFoldersFilesAndMissingPaths) {
    CTempEnv env;
    CDesktopShell shell;
    const QString folder = env.MakeDir(QStringLiteral("docs"));
    const QString text = env.WriteFile(QStringLiteral("docs/notes.txt"), "hello\n");
    EXPECT_EQ(shell.GetTypeName(folder), QStringLiteral("File Folder"));
    EXPECT_GT(shell.GetTypeName(text).size(), 1);
    EXPECT_EQ(shell.GetTypeName(folder + QStringLiteral("/missing.txt")), QString());
    EXPECT_EQ(shell.GetTypeName(QString()), QString());
    EXPECT_TRUE(shell.GetSmallIcon(folder + QStringLiteral("/missing.txt")).isNull());
}

// The shell remembers a file's type between the calls for it; every answer must still be the
// one a fresh shell gives for the file as it is now.
TEST(DesktopShellTest, AnswersFollowTheFileAtAPath) {
    CTempEnv env;
    CDesktopShell shell;
    const QString path = env.Root() + QStringLiteral("/data");
    const auto rewrite = [&](const QByteArray& content) {
        QDir().rmdir(path);
        QFile::remove(path);
        env.WriteFile(QStringLiteral("data"), content);
    };
    static const char kPngStart[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0";
    const QByteArray png(kPngStart, sizeof(kPngStart) - 1);
    const std::function<void()> states[] = {
        [&] { rewrite("plain words\n"); },
        [&] { rewrite(png); },
        [&] { rewrite("plain words again\n"); },
        [&] {
            QFile::remove(path);
            QDir().mkdir(path);
        },
        [&] { QDir().rmdir(path); },
        [&] { rewrite(png); },
    };
    QStringList seen;
    for (const auto& makeState : states) {
        makeState();
        CDesktopShell fresh;
        const QString expected = fresh.GetTypeName(path);
        SCOPED_TRACE(qPrintable(expected));
        EXPECT_EQ(shell.GetTypeName(path), expected);
        const QIcon icon = shell.GetSmallIcon(path), freshIcon = fresh.GetSmallIcon(path);
        EXPECT_EQ(icon.isNull(), freshIcon.isNull());
        EXPECT_EQ(icon.name(), freshIcon.name());
        seen << expected;
    }
    EXPECT_NE(seen[0], seen[1]) << "the content decides this file's type";
    EXPECT_EQ(seen[3], QStringLiteral("File Folder"));
    EXPECT_EQ(seen[4], QString());
}

TEST(DesktopShellTest, RequestsForMissingTargetsFailWithoutReachingTheDesktop) {
    CTempEnv env;
    CDesktopShell shell;
    const QString missing = env.Root() + QStringLiteral("/nothing/here");
    EXPECT_FALSE(shell.Open(missing));
    EXPECT_FALSE(shell.Explore(missing));
    EXPECT_FALSE(shell.OpenInTextViewer(missing));
    EXPECT_FALSE(shell.Explore(env.WriteFile(QStringLiteral("file.txt"), "x"))) << "a file is no folder";
}

TEST(DesktopShellTest, WithoutAProgramForTheTypeRequestsFail) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        GTEST_SKIP() << "xdg-mime is not installed";
    CTempEnv env;
    // A desktop whose association database knows no program at all.
    env.SetEnv("XDG_DATA_DIRS", env.MakeDir(QStringLiteral("no-system-data")));
    env.SetEnv("XDG_CONFIG_DIRS", env.MakeDir(QStringLiteral("no-system-config")));
    CDesktopShell shell;
    const QString folder = env.MakeDir(QStringLiteral("docs"));
    const QString text = env.WriteFile(QStringLiteral("docs/notes.txt"), "hello\n");
    EXPECT_FALSE(shell.Explore(folder));
    EXPECT_FALSE(shell.Open(text));
}

TEST(ShellFileListTest, FileListsRoundTripAndIgnoreOtherData) {
    const QStringList paths{QStringLiteral("/tmp/a b.txt"), QStringLiteral("/home/u/\u00e9t\u00e9.doc")};
    std::unique_ptr<QMimeData> data(MakeFileListMimeData(paths));
    EXPECT_TRUE(HasFileList(data.get()));
    EXPECT_EQ(FileListFromMimeData(data.get()), paths);

    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/x.txt"))});
    EXPECT_FALSE(HasFileList(&web));
    QMimeData text;
    text.setText(QStringLiteral("/tmp/a.txt"));
    EXPECT_FALSE(HasFileList(&text));
    EXPECT_FALSE(HasFileList(nullptr));
}
}  // namespace
