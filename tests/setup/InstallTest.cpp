// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Installer.h"

#include "common/ProfileRegistry.h"
#include "setup/SetupNames.h"
#include "tests/setup/SetupWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override { m_world.Wire(m_ctx); }
    bool CheckAndInstall(CRecordingProgress* progress = nullptr) {
        CInstaller installer(m_ctx);
        return installer.CheckPrerequisites() && installer.Install(progress);
    }

    CSetupWorld m_world;
    CSetupContext m_ctx;
};

}  // namespace

TEST_F(InstallTest, WritesEveryFileAndEntry) {
    m_world.AddUser(u"alice"_s);
    m_world.AddUser(u"bob"_s);
    CRecordingProgress progress;
    ASSERT_TRUE(CheckAndInstall(&progress)) << m_ctx.m_errorText.toStdString();
    EXPECT_TRUE(m_world.m_questions.isEmpty());
    EXPECT_EQ(progress.m_count, 16);
    EXPECT_EQ(progress.m_steps, 16);

    const QString suite = m_world.SuiteFolder();
    EXPECT_EQ(m_ctx.m_epocConnectFolder, suite);
    EXPECT_EQ(m_ctx.m_setupFolder, m_world.MediumFolder());
    EXPECT_EQ(m_ctx.m_languageFolder, m_world.MediumFolder() + u"ENG/"_s);
    for (const QString& name : MediumProgramNames())
        EXPECT_EQ(m_world.ReadFile(suite + name), u"medium "_s + name) << name.toStdString();
    EXPECT_EQ(m_world.ReadFile(suite + u"DTSetup"_s), u"setup program"_s);
    EXPECT_FALSE(QFile::exists(suite + u"_UnDove_.fip"_s));
    EXPECT_TRUE(QFileInfo(suite + u"bindcopy"_s).isWritable());

    struct Entry {
        HKEY root;
        QString key;
        QString name;
        QString data;
    };
    const Entry strings[] = {
        {HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"SyncronizerPath"_s, suite + u"bindcopy"_s},
        {HKEY_CURRENT_USER, u"Software\\Veroz\\SchedulerAppPath"_s, QString(), suite + u"DTkTimer"_s},
        {HKEY_CLASSES_ROOT, kClsid, QString(), u"Dovetail"_s},
        {HKEY_CLASSES_ROOT, kClsid + u"\\DefaultIcon"_s, QString(), suite + u"bindmgr,0"_s},
        {HKEY_CLASSES_ROOT, kClsid + u"\\shell\\open\\command"_s, QString(), suite + u"bindmgr"_s},
        {HKEY_LOCAL_MACHINE, kNameSpace, QString(), u"Dovetail"_s},
        {HKEY_LOCAL_MACHINE, kUninstall, u"DisplayName"_s, u"Dovetail"_s},
        {HKEY_LOCAL_MACHINE, kUninstall, u"UninstallString"_s, suite + u"DTSetup /U"_s},
    };
    for (const Entry& e : strings)
        EXPECT_EQ(ReadString(e.root, e.key, e.name), e.data) << e.key.toStdString() << " " << e.name.toStdString();
    EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"language"_s), 0u);
    EXPECT_EQ(ReadNumber(HKEY_CLASSES_ROOT, kClsid + u"\\EpocShellFolder"_s, u"Attributes"_s), 1u);
    for (const QString& user : {u"alice"_s, u"bob"_s}) {
        uint32_t frequency = 7;
        EXPECT_TRUE(ReadEntryNumber(user, u"AutoSynchApps"_s, u"Dovetail"_s, u"Frequency"_s, frequency));
        EXPECT_EQ(frequency, 0u);
    }

    const QString entry = m_world.ReadFile(m_world.MenuEntry());
    EXPECT_TRUE(entry.startsWith(u"[Desktop Entry]\n"_s)) << entry.toStdString();
    EXPECT_TRUE(entry.contains(u"\nName=Dovetail\n"_s));
    EXPECT_TRUE(entry.contains(u"\nExec=\""_s + suite + u"bindmgr\"\n"_s)) << entry.toStdString();
    // Without them a desktop lists the entry nowhere users look, or without a picture.
    EXPECT_TRUE(entry.contains(u"\nIcon=view-refresh\n"_s)) << entry.toStdString();
    EXPECT_TRUE(entry.contains(u"\nCategories=Utility;FileTools;\n"_s)) << entry.toStdString();
}

TEST_F(InstallTest, FrequencyGoesToTheFirst64ProfilesOnly) {
    for (int i = 0; i < 65; ++i)
        m_world.AddUser(u"user%1"_s.arg(i, 2, 10, QLatin1Char('0')));
    // An earlier choice is reset: installation turns automatic synchronization off.
    WriteEntryNumber(u"user10"_s, u"AutoSynchApps"_s, u"Dovetail"_s, u"Frequency"_s, 2);
    ASSERT_TRUE(CheckAndInstall()) << m_ctx.m_errorText.toStdString();
    for (int i = 0; i < 65; ++i) {
        uint32_t frequency = 9;
        const bool read = ReadEntryNumber(u"user%1"_s.arg(i, 2, 10, QLatin1Char('0')), u"AutoSynchApps"_s,
                                          u"Dovetail"_s, u"Frequency"_s, frequency);
        EXPECT_EQ(read, i < 64) << i;
        if (read) {
            EXPECT_EQ(frequency, 0u) << i;
        }
    }
}

TEST_F(InstallTest, SecondInstallationAsksFirst) {
    ASSERT_TRUE(CheckAndInstall());
    m_world.m_answerYes = false;
    EXPECT_FALSE(CInstaller(m_ctx).CheckPrerequisites());
    ASSERT_EQ(m_world.m_questions.size(), 1);
    EXPECT_EQ(m_world.m_questions[0],
              u"DTSetup|The setup program has detected that Dovetail is already installed.\nDo you wish to install "
              "over existing installation."_s);
    EXPECT_EQ(m_ctx.m_errorText, u"Installation process aborted."_s);

    m_world.m_answerYes = true;
    EXPECT_TRUE(CInstaller(m_ctx).CheckPrerequisites());
    EXPECT_EQ(m_world.m_questions.size(), 2);
}

TEST_F(InstallTest, ReadOnlyTargetsAreReplaced) {
    const QString target = m_world.SuiteFolder() + u"bindmgr"_s;
    m_world.m_env.WriteFile(u"suite/bindmgr"_s, "old manager");
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    const QString sourceHelp = m_world.MediumFolder() + u"ENG/bindmgr.hlp"_s;
    QFile::setPermissions(sourceHelp, QFileDevice::ReadOwner);
    ASSERT_TRUE(CheckAndInstall()) << m_ctx.m_errorText.toStdString();
    EXPECT_EQ(m_world.ReadFile(target), u"medium bindmgr"_s);
    EXPECT_TRUE(QFile::permissions(target) & QFileDevice::WriteOwner);
    // A read-only source gives a writable copy, so the next installation can replace it.
    EXPECT_TRUE(QFile::permissions(m_world.SuiteFolder() + u"bindmgr.hlp"_s) & QFileDevice::WriteOwner);
}

TEST_F(InstallTest, MissingLanguageFolderEndsAtTheFirstCopy) {
    QDir(m_world.MediumFolder() + u"ENG"_s).removeRecursively();
    CRecordingProgress progress;
    EXPECT_FALSE(CheckAndInstall(&progress));
    EXPECT_EQ(m_ctx.m_errorText, u"Unable to copy a file bindcopy"_s);
    EXPECT_EQ(progress.m_steps, 0);
    EXPECT_FALSE(CRegistry::Default().KeyExists(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s));
}

TEST_F(InstallTest, MissingSchedulerIsIgnored) {
    QFile::remove(m_world.MediumFolder() + u"ENG/DTkTimer"_s);
    ASSERT_TRUE(CheckAndInstall()) << m_ctx.m_errorText.toStdString();
    EXPECT_FALSE(QFile::exists(m_world.SuiteFolder() + u"DTkTimer"_s));
    EXPECT_TRUE(QFile::exists(m_world.SuiteFolder() + u"DOdivEdu.avi"_s));
}

TEST_F(InstallTest, NoProgramsFolderEndsBeforeTheUninstallEntry) {
    CRegistry::Default().DeleteValue(HKEY_CURRENT_USER, QString::fromUtf8(SetupNames::kShellFoldersKey), u"Programs"_s);
    CRecordingProgress progress;
    EXPECT_FALSE(CheckAndInstall(&progress));
    EXPECT_EQ(m_ctx.m_errorText, u"Error reading from registry"_s);
    EXPECT_EQ(progress.m_steps, 14);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kNameSpace, QString()), u"Dovetail"_s);
    EXPECT_FALSE(CRegistry::Default().KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
}

TEST_F(InstallTest, CommonProgramsFolderWinsAndEmptyTextCountsAsMissing) {
    const QString common = m_world.m_env.MakeDir(u"common-apps"_s);
    const QString key = QString::fromUtf8(SetupNames::kShellFoldersKey);
    RegWriteString(HKEY_LOCAL_MACHINE, key, u"Common Programs"_s, common + u'/');
    QString folder;
    ASSERT_TRUE(FindProgramsFolder(folder));
    EXPECT_EQ(folder, common);

    // An empty or relative folder would put the entry below / or the working folder: such a
    // "Common Programs" counts as missing and the user's "Programs" is taken.
    for (const QString& text : {QString(), u"relative/apps"_s}) {
        RegWriteString(HKEY_LOCAL_MACHINE, key, u"Common Programs"_s, text);
        folder.clear();
        EXPECT_TRUE(FindProgramsFolder(folder)) << text.toStdString();
        EXPECT_EQ(folder, m_world.ProgramsFolder()) << text.toStdString();
        RegWriteString(HKEY_CURRENT_USER, key, u"Programs"_s, text);
        EXPECT_FALSE(FindProgramsFolder(folder)) << text.toStdString();
        RegWriteString(HKEY_CURRENT_USER, key, u"Programs"_s, m_world.ProgramsFolder());
    }
    RegWriteString(HKEY_LOCAL_MACHINE, key, u"Common Programs"_s, QString());
    ASSERT_TRUE(CheckAndInstall()) << m_ctx.m_errorText.toStdString();
    EXPECT_TRUE(QFile::exists(m_world.MenuEntry()));
}

TEST_F(InstallTest, PrerequisiteFailures) {
    struct Row {
        const char* name;
        QString chooserVersion;
        QString toolkitVersion;
        bool pass;
        QString error;
    };
    const QString toolkitText =
        u"Dovetail requires Comctl32.dll version 4.71 or higher \n You can use \"\"401comupd.exe\"\" on the CD to "
        "upgrade and restart the installation program."_s;
    const QString chooserText = u"Dovetail requires Ericsson EPOC Connect"_s;
    const Row rows[] = {
        {"chooser exactly the minimum", u"1.0.0.20"_s, u"6.4.2"_s, true, {}},
        {"chooser newer, shorter", u"1.0.1"_s, u"6.4.2"_s, true, {}},
        {"chooser newer, longer", u"1.0.0.20.1"_s, u"6.4.2"_s, true, {}},
        {"chooser too old", u"1.0.0.19"_s, u"6.4.2"_s, false, chooserText},
        {"chooser missing", QString(), u"6.4.2"_s, false, chooserText},
        {"toolkit too old", u"1.0.0.20"_s, u"6.3.1"_s, false, toolkitText},
        {"toolkit unknown", u"1.0.0.20"_s, QString(), false, toolkitText},
    };
    for (const Row& row : rows) {
        m_world.m_chooserVersion = row.chooserVersion;
        m_world.m_toolkitVersion = row.toolkitVersion;
        m_ctx.m_errorText.clear();
        EXPECT_EQ(CInstaller(m_ctx).CheckPrerequisites(), row.pass) << row.name;
        EXPECT_EQ(m_ctx.m_errorText, row.error) << row.name;
    }

    // A suite folder that is not absolute would install into whatever folder setup runs in.
    m_world.m_chooserVersion = u"1.0.0.20"_s;
    m_world.m_toolkitVersion = u"6.4.2"_s;
    for (const QString& folder : {QString(), u"suite/"_s, m_world.SuiteFolder() + u"../suite/"_s}) {
        RegWriteString(HKEY_LOCAL_MACHINE, QString::fromUtf8(kPsiWinKey), u"Installation Directory"_s, folder);
        m_ctx.m_errorText.clear();
        EXPECT_FALSE(CInstaller(m_ctx).CheckPrerequisites()) << folder.toStdString();
        EXPECT_EQ(m_ctx.m_errorText, u"Ericsson EPOC Connect folder not accessible"_s) << folder.toStdString();
    }

    CRegistry::Default().DeleteValue(HKEY_LOCAL_MACHINE, QString::fromUtf8(kPsiWinKey), u"Installation Directory"_s);
    EXPECT_FALSE(CInstaller(m_ctx).CheckPrerequisites());
    EXPECT_EQ(m_ctx.m_errorText, u"You must first install Ericsson EPOC Connect"_s);
    EXPECT_TRUE(m_ctx.m_osDescription.contains(u" - "_s));
}

TEST_F(InstallTest, InstalledSetupRunFromTheSuiteFolderKeepsItself) {
    ASSERT_TRUE(CheckAndInstall());
    // The installed copy is now the running program, and the suite folder has its own
    // language folder: the copy onto itself must not delete the only copy.
    const QString suite = m_world.SuiteFolder();
    for (const QString& name : MediumProgramNames())
        m_world.m_env.WriteFile(u"suite/ENG/"_s + name, "again");
    m_ctx.m_hooks.programPath = [suite](QString& path) {
        path = suite + u"DTSetup"_s;
        return true;
    };
    ASSERT_TRUE(CheckAndInstall()) << m_ctx.m_errorText.toStdString();
    EXPECT_EQ(m_world.ReadFile(suite + u"DTSetup"_s), u"setup program"_s);
    EXPECT_EQ(m_world.ReadFile(suite + u"bindcopy"_s), u"again"_s);
}

TEST_F(InstallTest, StoredLanguageChoosesTextsAndFolder) {
    RegWriteNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"language"_s, 2);
    CSetupContext german;
    EXPECT_EQ(german.m_language, 2u);
    EXPECT_EQ(german.LoadLocalString(10000), u"Deutsch"_s);
    EXPECT_EQ(german.LoadLocalString(10014), u"<<TODO DEU>>"_s);
    EXPECT_EQ(german.LanguageSuffix(), u"DEU/"_s);

    // No language stands behind 9: the texts stay readable.
    RegWriteNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"language"_s, 9);
    CSetupContext unknown;
    EXPECT_EQ(unknown.m_language, 0u);
    EXPECT_EQ(unknown.LoadLocalString(10027), u"Error"_s);
}

TEST(ShellLink, ExecQuotesThePath) {
    CTempEnv env;
    struct Row {
        QString target;
        QString exec;
    };
    const Row rows[] = {
        {u"/opt/suite/bindmgr"_s, u"Exec=\"/opt/suite/bindmgr\""_s},
        {u"/opt/my suite/bindmgr"_s, u"Exec=\"/opt/my suite/bindmgr\""_s},
        {u"/opt/$x\"y/100%/bindmgr"_s, u"Exec=\"/opt/\\\\$x\\\\\"y/100%%/bindmgr\""_s},
        {u"/opt/back\\slash/bindmgr"_s, u"Exec=\"/opt/back\\\\\\\\slash/bindmgr\""_s},
    };
    const QString link = env.Root() + u"/Dovetail.desktop"_s;
    for (const Row& row : rows) {
        ASSERT_TRUE(CreateShellLink(row.target, link, u"Dovetail"_s));
        QFile file(link);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(text.contains(u'\n' + row.exec + u'\n')) << text.toStdString();
    }
    EXPECT_FALSE(CreateShellLink(u"/opt/line\nbreak"_s, link, u"Dovetail"_s));
    EXPECT_FALSE(CreateShellLink(u"/opt/bindmgr"_s, env.Root() + u"/missing/Dovetail.desktop"_s, u"Dovetail"_s));
}

// Installed from the package, the entries start through its launcher and go with it.
TEST(ShellLink, ThroughTheLauncherWhileItIsThere) {
    CTempEnv env;
    const QString launcher = u"/usr/lib/dovetail/bin/dtwelcome"_s;
    const QString link = env.Root() + u"/Dovetail.desktop"_s;
    const QString uninstall = env.Root() + u"/Uninstall Dovetail.desktop"_s;
    struct Row {
        bool ok;
        QString path;
        QStringList lines;
    };
    const Row rows[] = {
        {CreateShellLink(u"/s/bindmgr"_s, link, u"Dovetail"_s, launcher),
         link,
         {u"Exec=\"/usr/lib/dovetail/bin/dtwelcome\" --start \"/s/bindmgr\""_s, u"TryExec="_s + launcher}},
        {CreateUninstallLink(u"/s/DTSetup"_s, uninstall, launcher),
         uninstall,
         {u"Name=Uninstall Dovetail"_s, u"Exec=\"/usr/lib/dovetail/bin/dtwelcome\" --uninstall"_s,
          u"TryExec="_s + launcher}},
        {CreateUninstallLink(u"/s/DTSetup"_s, link + u"2"_s, QString()), link + u"2"_s, {u"Exec=\"/s/DTSetup\" /U"_s}},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(row.ok);
        const QStringList lines = QString::fromUtf8(ReadWholeFile(row.path)).split(u'\n');
        for (const QString& line : row.lines)
            EXPECT_TRUE(lines.contains(line)) << line.toStdString() << " in " << lines.join(u'|').toStdString();
    }
    EXPECT_FALSE(QString::fromUtf8(ReadWholeFile(link + u"2"_s)).contains(u"TryExec"_s));
    EXPECT_TRUE(LauncherNear(env.Root() + u"/medium/"_s).isEmpty());
    env.WriteFile(u"bin/dtwelcome"_s, "#!/bin/sh\n");
    QFile::setPermissions(env.Root() + u"/bin/dtwelcome"_s, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(LauncherNear(env.Root() + u"/medium/"_s), env.Root() + u"/bin/dtwelcome"_s);
}

// The package's icon once it is installed, a theme's own icon before.
TEST(ShellLink, IconIsThePackagesWhereItIsInstalled) {
    CTempEnv env;
    env.SetEnv("XDG_DATA_DIRS", env.MakeDir(u"system-share"_s));
    const QString link = env.Root() + u"/Dovetail.desktop"_s;
    const auto icon = [&] {
        QFile file(link);
        EXPECT_TRUE(CreateShellLink(u"/opt/suite/bindmgr"_s, link, u"Dovetail"_s));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        const qsizetype at = text.indexOf(u"\nIcon="_s);
        return at < 0 ? QString() : text.mid(at + 6, text.indexOf(u'\n', at + 1) - at - 6);
    };
    EXPECT_EQ(icon(), u"view-refresh"_s);
    env.WriteFile(u"system-share/icons/hicolor/48x48/apps/dovetail.png"_s, "png");
    EXPECT_EQ(icon(), u"dovetail"_s);
}
