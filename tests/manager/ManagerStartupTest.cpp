// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ManagerSession.h"

#include "common/ProfileRegistry.h"
#include "common/ProgramPath.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "manager/ShellFolder.h"
#include "platform/registry/Registry.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/support/RecordingShell.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

namespace {
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Ok);
    }
    void TearDown() override { CMessageBox::SetAutoAnswer(QMessageBox::NoButton); }
    static QString Read(HKEY root, const QString& key, const QString& name = QString()) {
        QString text;
        RegReadString(root, key, name, text);
        return text;
    }

    CManagerWorld m_world;
    CRecordingShell m_shell;
};

TEST_F(StartupTest, WithoutEpocConnectShowsItsMessageAfterTheShellFolderEntries) {
    CRegistry::Default().DeleteTree(RegRoot::LocalMachine, QString::fromLatin1(kPsiWinKey));
    for (bool onlyInstance : {true, false}) {
        CMessageBox::ClearShownTexts();
        CManagerSession session;
        EXPECT_FALSE(session.InitInstance(onlyInstance, QStringLiteral("Dovetail:x")));
        EXPECT_EQ(CMessageBox::ShownTexts(),
                  QStringList{WithSetUpHint(QStringLiteral("Ericsson EPOC Connect is not installed"))});
        EXPECT_EQ(session.MainFrame(), nullptr);
    }
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, ShellFolderKey()), QStringLiteral("Dovetail"));
}

TEST_F(StartupTest, ShellFolderEntriesAreWrittenOnlyWhenTheOpenCommandIsMissing) {
    QString program;
    ASSERT_TRUE(GetProgramPath(program));
    const QString iconKey = ShellFolderKey() + QStringLiteral("\\DefaultIcon");
    const QString attributesKey = ShellFolderKey() + QStringLiteral("\\EpocShellFolder");

    RegisterShellFolder(QStringLiteral("Dovetail"), program);
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, ShellFolderKey()), QStringLiteral("Dovetail"));
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, iconKey), program + QStringLiteral(",0"));
    uint32_t attributes = 0;
    EXPECT_TRUE(RegReadNumber(HKEY_CLASSES_ROOT, attributesKey, QStringLiteral("Attributes"), attributes));
    EXPECT_EQ(attributes, 1u);
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, ShellFolderOpenKey()), program);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, ShellFolderNameSpaceKey()), QStringLiteral("Dovetail"));

    // With the open command present nothing is rewritten, even what is missing.
    CRegistry& reg = CRegistry::Default();
    reg.DeleteTree(RegRoot::ClassesRoot, iconKey);
    reg.DeleteTree(RegRoot::LocalMachine, ShellFolderNameSpaceKey());
    RegisterShellFolder(QStringLiteral("Dovetail"), QStringLiteral("/elsewhere/bindmgr"));
    EXPECT_FALSE(reg.KeyExists(RegRoot::ClassesRoot, iconKey));
    EXPECT_FALSE(reg.KeyExists(RegRoot::LocalMachine, ShellFolderNameSpaceKey()));
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, ShellFolderOpenKey()), program);

    // Removing only the open command brings all five back.
    reg.DeleteValue(RegRoot::ClassesRoot, ShellFolderOpenKey(), QString());
    RegisterShellFolder(QStringLiteral("Dovetail"), QStringLiteral("/elsewhere/bindmgr"));
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, iconKey), QStringLiteral("/elsewhere/bindmgr,0"));
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, ShellFolderOpenKey()), QStringLiteral("/elsewhere/bindmgr"));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, ShellFolderNameSpaceKey()), QStringLiteral("Dovetail"));
}

TEST_F(StartupTest, SecondInstanceEndsQuietlyAfterTheIndependentSteps) {
    CManagerSession session;
    EXPECT_FALSE(session.InitInstance(false, QStringLiteral("Dovetail:x")));
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
    EXPECT_EQ(session.MainFrame(), nullptr);
    EXPECT_TRUE(CRegistry::Default().KeyExists(RegRoot::ClassesRoot, ShellFolderKey()));
}

TEST_F(StartupTest, OpensWithListFocusedRulesReadAndMaxStateHonoured) {
    struct Case {
        const char* name;
        int maxState;  // -1: missing
        bool maximized;
    };
    const Case cases[] = {{"missing", -1, false}, {"zero", 0, false}, {"one", 1, true}, {"other non-zero", 7, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRegistry::Default().DeleteTree(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Dovetail"));
        if (c.maxState >= 0)
            RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Dovetail\\MainWindowSizeAndPos"),
                           QStringLiteral("MaxState"), uint32_t(c.maxState));
        m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
        CManagerSession session;
        ASSERT_TRUE(session.InitInstance(true, QStringLiteral("Dovetail:x")));
        CMainFrame* frame = session.MainFrame();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->objectName(), QStringLiteral("Dovetail:x"));
        EXPECT_TRUE(frame->isVisible());
        EXPECT_EQ(frame->isMaximized(), c.maximized);
        EXPECT_EQ(frame->View()->ItemCount(), 1);
        QApplication::setActiveWindow(frame);
        EXPECT_EQ(QApplication::focusWidget(), frame->View());
        ASSERT_NE(session.ContextMenu(), nullptr);
        const CRuleSet rules = session.DefaultRules();
        EXPECT_EQ(rules.CopyRule, 0);
        EXPECT_FALSE(rules.Prompt24Hrs);
        EXPECT_FALSE(rules.KeepCopy);
        EXPECT_TRUE(rules.PromptBothChanged);
        frame->close();
    }
}

TEST_F(StartupTest, UnusableRegistryFileIsNamedInTheMessage) {
    const QString broken = m_world.Env().WriteFile(QStringLiteral("broken.db"), QByteArray(4096, 'z'));
    m_world.Env().SetEnv("DOVETAIL_REGISTRY", broken);
    CManagerSession session;
    EXPECT_FALSE(session.InitInstance(true, QStringLiteral("Dovetail:x")));
    ASSERT_EQ(CMessageBox::ShownTexts().size(), 1);
    EXPECT_TRUE(CMessageBox::ShownTexts().first().contains(broken));
    EXPECT_EQ(session.MainFrame(), nullptr);
}

TEST_F(StartupTest, SecondProgramStartEndsAndLeavesTheFirstRunning) {
    const QString program = BinDir() + QStringLiteral("/bindmgr");
    ASSERT_TRUE(QFile::exists(program)) << "the build makes bindmgr before this test";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    // The shell folder entries are written once the first copy holds the instance lock.
    const bool registered = QTest::qWaitFor(
        [&] {
            return first.state() != QProcess::Running ||
                   CRegistry::Default().KeyExists(RegRoot::LocalMachine, ShellFolderNameSpaceKey());
        },
        15000);
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();
    EXPECT_TRUE(registered);

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program, {});
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    if (!first.waitForFinished(5000))
        first.kill();
    first.waitForFinished(2000);
}
}  // namespace
