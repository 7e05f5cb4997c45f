// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Uninstaller.h"

#include "common/ProfileRegistry.h"
#include "setup/Installer.h"
#include "setup/SetupNames.h"
#include "tests/setup/SetupWorld.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const QString kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"_s;
const QString kUsers = u"Software\\Veroz\\Users"_s;

class UninstallTest : public ::testing::Test {
protected:
    void SetUp() override { m_world.Wire(m_ctx); }
    void Install() {
        CInstaller installer(m_ctx);
        ASSERT_TRUE(installer.CheckPrerequisites() && installer.Install(nullptr)) << m_ctx.m_errorText.toStdString();
        // As the manager does when the user turns automatic synchronization on.
        RegWriteString(HKEY_CURRENT_USER, kRun, u"DTScheduler"_s, m_world.SuiteFolder() + u"DTkTimer"_s);
    }
    bool Uninstall(CRecordingProgress* progress) {
        CSetupContext context;
        m_world.Wire(context);
        context.m_hooks.endProgram = [this](const QString& path) { m_ended << path; };
        CUninstaller uninstaller(context);
        m_lastError = (uninstaller.CheckUninstall(), context.m_errorText);
        const bool done = uninstaller.Uninstall(progress);
        return done;
    }

    CSetupWorld m_world;
    CSetupContext m_ctx;
    QString m_lastError;
    QStringList m_ended;  // programs the uninstaller asked to quit
};

}  // namespace

TEST_F(UninstallTest, RemovesEverythingForTwoUsersWithBindings) {
    const QString aliceLog = m_world.AddUserData(u"alice"_s);
    const QString bobLog = m_world.AddUserData(u"bob"_s);
    Install();
    RegWriteNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail\\Settings"_s, u"CopyRule"_s, 1);
    m_world.m_env.WriteFile(u"suite/bindmgr.GID"_s, "index");
    const QString unrelated = m_world.m_env.WriteFile(u"suite/other.dll"_s, "suite's own");

    CRecordingProgress progress;
    ASSERT_TRUE(Uninstall(&progress));
    EXPECT_EQ(progress.m_count, 19);
    EXPECT_EQ(progress.m_steps, 22);  // three more for the second profile

    const QString suite = m_world.SuiteFolder();
    for (const QString& name : {u"bindcopy"_s, u"bindmgr"_s, u"bindmgr.hlp"_s, u"bindmgr.GID"_s, u"DOdivEdu.avi"_s,
                                u"DTkTimer"_s, u"DTSetup"_s})
        EXPECT_FALSE(QFile::exists(suite + name)) << name.toStdString();
    EXPECT_TRUE(QFile::exists(unrelated));
    EXPECT_FALSE(QFile::exists(aliceLog));
    EXPECT_FALSE(QFile::exists(bobLog));

    for (const QString& user : {u"alice"_s, u"bob"_s}) {
        const QString userKey = kUsers + u'\\' + user;
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, userKey)) << user.toStdString();
        for (const QString& area : {u"Dovetail"_s, u"DocSynchEntries"_s, u"AutoSynchApps"_s})
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userKey + u'\\' + area)) << user.toStdString();
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Veroz\\SchedulerAppPath"_s));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsid));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kNameSpace));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
    RegValue value;
    EXPECT_EQ(CRegistry::Default().QueryValue(HKEY_CURRENT_USER, kRun, u"DTScheduler"_s, value),
              RegStatus::ValueNotFound);
    // The suite's own keys stay.
    QString folder;
    EXPECT_TRUE(GetEpocConnectDirectory(folder));

    EXPECT_FALSE(QFile::exists(m_world.MenuEntry()));
    EXPECT_TRUE(QDir(m_world.ProgramsFolder() + u"/Ericsson EPOC Connect"_s).exists());
    // The running scheduler is ended with its file, not left starting a removed program.
    EXPECT_EQ(m_ended, QStringList{suite + u"DTkTimer"_s});
}

// A "Common Programs" text that names no usable folder does not hide the user's own one.
TEST_F(UninstallTest, MenuEntryIsFoundBesideAnUnusableCommonProgramsValue) {
    Install();
    ASSERT_TRUE(QFile::exists(m_world.MenuEntry()));
    const QString key = QString::fromUtf8(SetupNames::kShellFoldersKey);
    RegWriteString(HKEY_LOCAL_MACHINE, key, u"Common Programs"_s, QString());
    ASSERT_TRUE(Uninstall(nullptr));
    EXPECT_FALSE(QFile::exists(m_world.MenuEntry()));
}

TEST_F(UninstallTest, SchedulerStaysWhileAnotherApplicationUsesIt) {
    m_world.AddUserData(u"alice"_s);
    m_world.AddUserData(u"bob"_s);
    Install();
    WriteEntryNumber(u"bob"_s, u"AutoSynchApps"_s, u"OtherApp"_s, u"Frequency"_s, 1);

    ASSERT_TRUE(Uninstall(nullptr));
    EXPECT_TRUE(QFile::exists(m_world.SuiteFolder() + u"DTkTimer"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Veroz\\SchedulerAppPath"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUsers + u"\\alice\\AutoSynchApps"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUsers + u"\\bob\\AutoSynchApps\\OtherApp"_s));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUsers + u"\\bob\\AutoSynchApps\\Dovetail"_s));
    QString run;
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kRun, u"DTScheduler"_s, run));
    EXPECT_FALSE(QFile::exists(m_world.SuiteFolder() + u"bindcopy"_s));
    EXPECT_TRUE(m_ended.isEmpty());
}

TEST_F(UninstallTest, ProgressIsSizedForOneProfile) {
    struct Row {
        int users;
        int steps;
    };
    for (const Row& row : {Row{0, 16}, Row{1, 19}, Row{3, 25}}) {
        CSetupWorld world;
        for (int i = 0; i < row.users; ++i)
            world.AddUser(u"user%1"_s.arg(i));
        CSetupContext context;
        world.Wire(context);
        CUninstaller uninstaller(context);
        uninstaller.CheckUninstall();
        CRecordingProgress progress;
        EXPECT_TRUE(uninstaller.Uninstall(&progress));
        EXPECT_EQ(progress.m_count, 19) << row.users;
        EXPECT_EQ(progress.m_countCalls, 1) << row.users;
        EXPECT_EQ(progress.m_steps, row.steps) << row.users;
    }
}

TEST_F(UninstallTest, NotInstalledStillSucceeds) {
    m_world.AddUser(u"alice"_s);
    CRecordingProgress progress;
    EXPECT_TRUE(Uninstall(&progress));
    EXPECT_EQ(m_lastError, u"Dovetail is not installed."_s);
    EXPECT_EQ(progress.m_steps, 19);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUsers + u"\\alice"_s));
}

TEST_F(UninstallTest, WithoutSuiteFolderTheProgramFolderIsUsed) {
    CRegistry::Default().DeleteValue(HKEY_LOCAL_MACHINE, QString::fromUtf8(kPsiWinKey), u"Installation Directory"_s);
    CUninstaller uninstaller(m_ctx);
    EXPECT_TRUE(uninstaller.CheckUninstall());
    EXPECT_EQ(m_ctx.m_epocConnectFolder, m_world.MediumFolder());
    EXPECT_EQ(m_ctx.m_errorText, u"Ericsson EPOC Connect folder not accessible"_s);
}

TEST_F(UninstallTest, OnlyTheUsersOwnLogIsDeleted) {
    struct Row {
        const char* name;
        QString relativePath;
        bool isFolder;
        bool deleted;
    };
    const Row rows[] = {
        {"the user's log", u"a/Dovetail Synchronization{alice}.srp"_s, false, true},
        {"name differs only in case", u"b/Dovetail Synchronization{ALICE}.SRP"_s, false, true},
        {"another user's log", u"c/Dovetail Synchronization{bob}.srp"_s, false, false},
        {"unrelated file", u"d/notes.txt"_s, false, false},
        {"bare suffix", u"e/{alice}.srp"_s, false, false},
        {"folder named like a log", u"f/Dovetail Synchronization{alice}.srp"_s, true, false},
    };
    for (const Row& row : rows) {
        const QString path = m_world.m_env.Root() + u'/' + row.relativePath;
        if (row.isFolder)
            m_world.m_env.MakeDir(row.relativePath);
        else
            m_world.m_env.WriteFile(row.relativePath, "data");
        m_world.AddUser(u"alice"_s);
        WriteUserString(u"alice"_s, u"Dovetail"_s, u"LogDocSynchCopy"_s, path);
        ASSERT_TRUE(Uninstall(nullptr));
        EXPECT_EQ(!QFileInfo::exists(path), row.deleted) << row.name;
    }
    // Relative or climbing paths are never deleted, whatever they name from where setup runs.
    const QString saved = QDir::currentPath();
    QDir::setCurrent(m_world.m_env.Root());
    const QString relative = u"g/Dovetail Synchronization{alice}.srp"_s;
    m_world.m_env.WriteFile(relative, "data");
    for (const QString& path : {relative, m_world.m_env.Root() + u"/x/../"_s + relative}) {
        WriteUserString(u"alice"_s, u"Dovetail"_s, u"LogDocSynchCopy"_s, path);
        ASSERT_TRUE(Uninstall(nullptr));
        EXPECT_TRUE(QFileInfo::exists(relative)) << path.toStdString();
    }
    QDir::setCurrent(saved);
    // A value naming the home folder leaves it alone.
    WriteUserString(u"alice"_s, u"Dovetail"_s, u"LogDocSynchCopy"_s, m_world.m_env.Home());
    ASSERT_TRUE(Uninstall(nullptr));
    EXPECT_TRUE(QDir(m_world.m_env.Home()).exists());
}

TEST(KeyTree, DeletesBottomUp) {
    CTempEnv env;
    CRegistry& registry = CRegistry::Default();
    for (const QString& key : {u"Software\\T\\A\\B\\C"_s, u"Software\\T\\A\\D"_s, u"Software\\T\\E"_s})
        ASSERT_EQ(registry.CreateKey(HKEY_CURRENT_USER, key), RegStatus::Ok);
    registry.SetString(HKEY_CURRENT_USER, u"Software\\T\\A\\B"_s, u"v"_s, u"x"_s);
    EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, u"Software\\T"_s, u"A"_s));
    EXPECT_FALSE(registry.KeyExists(HKEY_CURRENT_USER, u"Software\\T\\A"_s));
    EXPECT_TRUE(registry.KeyExists(HKEY_CURRENT_USER, u"Software\\T\\E"_s));
    EXPECT_FALSE(DeleteKeyTree(HKEY_CURRENT_USER, u"Software\\T"_s, u"A"_s));
    EXPECT_FALSE(DeleteKeyTree(HKEY_CURRENT_USER, u"Software\\Missing"_s, u"A"_s));
}

TEST(KeyTree, KeyThatCannotBeDeletedDoesNotHoldItUp) {
    CTempEnv env;
    CRegistry& registry = CRegistry::Default();
    for (const QString& key : {u"Software\\T\\A\\Held\\Inner"_s, u"Software\\T\\A\\Z"_s, u"Software\\T\\A\\B"_s})
        ASSERT_EQ(registry.CreateKey(HKEY_CURRENT_USER, key), RegStatus::Ok);
    // The store refuses to delete one key, as a key held by another program would.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(env.RegistryPath().toUtf8().constData(), &db), SQLITE_OK);
    const char* trigger =
        "CREATE TRIGGER held BEFORE DELETE ON keys WHEN old.name = 'Held' BEGIN SELECT RAISE(ABORT, 'held'); END;";
    ASSERT_EQ(sqlite3_exec(db, trigger, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, u"Software\\T"_s, u"A"_s));
    EXPECT_TRUE(registry.KeyExists(HKEY_CURRENT_USER, u"Software\\T\\A\\Held"_s));
    EXPECT_FALSE(registry.KeyExists(HKEY_CURRENT_USER, u"Software\\T\\A\\Held\\Inner"_s));
    EXPECT_FALSE(registry.KeyExists(HKEY_CURRENT_USER, u"Software\\T\\A\\B"_s));
    EXPECT_FALSE(registry.KeyExists(HKEY_CURRENT_USER, u"Software\\T\\A\\Z"_s));
}
