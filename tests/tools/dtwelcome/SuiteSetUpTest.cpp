// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dtwelcome/SuiteSetUp.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/registry/Registry.h"
#include "tests/support/LoopVolume.h"
#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kTestUsersKey = u"Software\\Veroz\\Users"_s;

class SuiteSetUpTest : public ::testing::Test {
protected:
    CSuiteSetUp Tool() const { return CSuiteSetUp(BinDir(), m_env.Home() + u"/.local/share/dovetail"_s); }
    SetUpRequest Simulator(const QString& name = u"alice"_s) const {
        return {name, m_env.Home() + u"/Documents"_s, HandheldKind::Simulator, {}};
    }
    static QString Handheld() {
        QString kind;
        CRegistry::Default().GetString(RegRoot::LocalMachine, VolumeConfig::SuiteKey(), VolumeConfig::HandheldValue(),
                                       kind);
        return kind;
    }
    static bool Written() {
        return CRegistry::Default().KeyExists(RegRoot::LocalMachine, VolumeConfig::SuiteKey()) ||
               CRegistry::Default().KeyExists(RegRoot::CurrentUser, kTestUsersKey);
    }

    CTempEnv m_env;
};

}  // namespace

TEST_F(SuiteSetUpTest, UserNamesThatCannotBeKeysOrFolderNamesAreRefused) {
    struct Row {
        const char* name;
        QString userName;
        bool accepted;
    };
    const Row rows[] = {
        {"plain", u"alice"_s, true},
        {"beyond Latin-1, with a blank inside", u"Zoë 山田"_s, true},
        {"255 bytes", QString(255, u'a'), true},
        {"empty", QString(), false},
        {"leading blank", u" alice"_s, false},
        {"trailing blank", u"alice "_s, false},
        {"backslash", u"a\\b"_s, false},
        {"slash", u"a/b"_s, false},
        {"dot", u"."_s, false},
        {"dot dot", u".."_s, false},
        {"tab", u"a\tb"_s, false},
        {"256 bytes", QString(128, QChar(0xE9)), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CheckUserName(row.userName).isEmpty(), row.accepted) << CheckUserName(row.userName).toStdString();
    }
}

TEST_F(SuiteSetUpTest, DocumentsFolderIsResolvedOrRefused) {
    const QString file = m_env.WriteFile(u"home/notes.txt"_s, "x");
    struct Row {
        const char* name;
        QString text;
        QString folder;  // empty: refused
    };
    const Row rows[] = {
        {"absolute, cleaned", m_env.Home() + u"/Documents/../Papers/"_s, m_env.Home() + u"/Papers"_s},
        {"home folder", u"~"_s, m_env.Home()},
        {"below the home folder", u"~/Papers"_s, m_env.Home() + u"/Papers"_s},
        {"blanks around", u"  /srv/docs  "_s, u"/srv/docs"_s},
        {"empty", u"   "_s, QString()},
        {"relative", u"Documents"_s, QString()},
        {"another user's home", u"~bob/docs"_s, QString()},
        {"a file", file, QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QString why;
        EXPECT_EQ(ResolvePcFolder(row.text, why), row.folder);
        EXPECT_EQ(why.isEmpty(), !row.folder.isEmpty()) << why.toStdString();
    }
}

TEST_F(SuiteSetUpTest, ProposesTheLoginNameAndTheDocumentsFolder) {
    EXPECT_EQ(DocumentsFolder(), m_env.Home() + u"/Documents"_s);
    m_env.WriteFile(u"home/.config/user-dirs.dirs"_s, "XDG_DOCUMENTS_DIR=\"$HOME/Papiers\"\n");
    EXPECT_EQ(DocumentsFolder(), m_env.Home() + u"/Papiers"_s);
    EXPECT_FALSE(LoginName().isEmpty());
    m_env.SetEnv("USER", u"somebody-else"_s);
    EXPECT_NE(LoginName(), u"somebody-else"_s) << "the password database names the login user";
}

// A request that fails a check leaves the store as it was: no suite, no user, no handheld.
TEST_F(SuiteSetUpTest, RefusedRequestsWriteNothing) {
    const QString file = m_env.WriteFile(u"home/Documents"_s, "a file where the folder should be");
    struct Row {
        const char* name;
        SetUpRequest request;
        QString says;
    };
    const QString docs = m_env.Home() + u"/Docs"_s;
    const Row rows[] = {
        {"bad name", {u"a\\b"_s, docs, HandheldKind::Simulator, {}}, u"\"/\" or \"\\\""_s},
        {"folder is a file", {u"alice"_s, file, HandheldKind::Simulator, {}}, u"is a file, not a folder"_s},
        {"no handheld chosen", {u"alice"_s, docs, HandheldKind::None, {}}, u"Plug your USB stick in"_s},
        {"volume no longer mounted",
         {u"alice"_s, docs, HandheldKind::Volume, m_env.Root() + u"/gone"_s},
         u"is no longer mounted"_s},
        {"not a removable volume", {u"alice"_s, docs, HandheldKind::Volume, m_env.Root()}, u"not on a removable"_s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SetUpResult result = Tool().Register(row.request);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.message.contains(row.says)) << result.message.toStdString();
        EXPECT_FALSE(Written());
        EXPECT_FALSE(QFileInfo::exists(docs));
    }
}

TEST_F(SuiteSetUpTest, RegistersTheSuiteTheUserAndTheSimulatedHandheld) {
    const SetUpResult result = Tool().Register(Simulator());
    ASSERT_TRUE(result.ok) << result.message.toStdString();

    const SuiteState state = ReadSuiteState();
    EXPECT_EQ(state.suiteFolder, m_env.Home() + u"/.local/share/dovetail/suite/"_s);
    EXPECT_TRUE(QFileInfo(state.suiteFolder + u"ecfile.ocx"_s).isFile());
    EXPECT_TRUE(QFileInfo(state.suiteFolder + u"Convert.ini"_s).isFile());
    EXPECT_EQ(state.user, u"alice"_s);
    EXPECT_EQ(state.pcFolder, m_env.Home() + u"/Documents/"_s);
    EXPECT_TRUE(QFileInfo(state.pcFolder).isDir());
    EXPECT_TRUE(state.handheldReady);
    EXPECT_FALSE(state.usesVolumes);
    EXPECT_EQ(Handheld(), VolumeConfig::HandheldSimulator());
    EXPECT_TRUE(QFileInfo(Tool().SimulatorFolder() + u"/C/Documents"_s).isDir());
    // DTSetup's installation is still to come.
    EXPECT_FALSE(state.ProgramsInstalled());
    EXPECT_FALSE(state.IsSetUp());

    uint32_t syncTime = 0;
    EXPECT_TRUE(RegReadNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\TASKSCHEDULER"_s, u"SyncTime"_s, syncTime));
    EXPECT_EQ(syncTime, 1u);
    EXPECT_EQ(CAppProfile().GetProfileString(u"Settings"_s, u"Last Epoc Path"_s), u"C:\\Documents\\"_s);
}

// Setting up again (another folder, another name) keeps the suite where it is, the user's own
// answers and the simulated handheld's folder, and makes the new name the current user.
TEST_F(SuiteSetUpTest, SettingUpAgainKeepsWhatIsThere) {
    ASSERT_TRUE(Tool().Register(Simulator()).ok);
    RegWriteNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\TASKSCHEDULER"_s, u"SyncTime"_s, 0);
    CAppProfile().WriteProfileString(u"Settings"_s, u"Last Epoc Path"_s, u"D:\\Work\\"_s);
    const QString elsewhere = m_env.MakeDir(u"other-suite"_s);
    RegWriteString(HKEY_LOCAL_MACHINE, u"Software\\Veroz\\PsiWin32"_s, u"Installation Directory"_s, elsewhere + u'/');
    QFile::copy(BinDir() + u"/ecfile.ocx"_s, elsewhere + u"/ecfile.ocx"_s);

    SetUpRequest request = Simulator(u"bob"_s);
    request.pcFolder = m_env.Home() + u"/Papers"_s;
    ASSERT_TRUE(Tool().Register(request).ok);
    const SuiteState state = ReadSuiteState();
    EXPECT_EQ(state.suiteFolder, elsewhere + u'/');
    EXPECT_EQ(state.user, u"bob"_s);
    EXPECT_EQ(state.pcFolder, m_env.Home() + u"/Papers/"_s);
    EXPECT_TRUE(state.handheldReady);
    QString root;
    CRegistry::Default().GetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), root);
    EXPECT_EQ(root, Tool().SimulatorFolder());
    uint32_t syncTime = 9;
    RegReadNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\TASKSCHEDULER"_s, u"SyncTime"_s, syncTime);
    EXPECT_EQ(syncTime, 0u);
    EXPECT_EQ(CAppProfile().GetProfileString(u"Settings"_s, u"Last Epoc Path"_s), u"D:\\Work\\"_s);
}

// The installation counts only while the programs it registered are there.
TEST_F(SuiteSetUpTest, ProgramsCountAsInstalledWhileTheyExist) {
    ASSERT_TRUE(Tool().Register(Simulator()).ok);
    const QString suite = ReadSuiteState().suiteFolder;
    const QString synchronizer = suite + u"bindcopy"_s;
    const QString manager = suite + u"bindmgr"_s;
    CAppProfile().WriteProfileString(QString(), u"SyncronizerPath"_s, synchronizer);
    RegWriteString(HKEY_CLASSES_ROOT, u"CLSID\\{F7F79B30-BA87-11d2-AA80-00C04F7199CF}\\shell\\open\\command"_s,
                   QString(), manager);
    EXPECT_FALSE(ReadSuiteState().ProgramsInstalled());
    for (const QString& program : {synchronizer, manager}) {
        m_env.WriteFile(program.mid(m_env.Root().size() + 1), "#!/bin/sh\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    SuiteState state = ReadSuiteState();
    EXPECT_TRUE(state.IsSetUp());
    EXPECT_EQ(state.manager, manager);
    QFile::remove(synchronizer);
    EXPECT_FALSE(ReadSuiteState().IsSetUp());
}

TEST_F(SuiteSetUpTest, InstallWizardIsOnTheMediumBesideTheProgramsFolder) {
    EXPECT_EQ(SetupProgramNear(u"/usr/lib/dovetail/bin"_s), u"/usr/lib/dovetail/medium/DTSetup"_s);
    EXPECT_EQ(SetupProgramNear(u"/work/build/bin/"_s), u"/work/build/medium/DTSetup"_s);
}

// A stick is adopted as dtdevice adopts it, listed where it is mounted, kept when set up again
// for its owner, refused for anyone else, and forgotten again.
TEST_F(SuiteSetUpTest, AdoptsARemovableVolumeForItsOwnerOnly) {
    CLoopVolume stick(m_env.MakeDir(u"images"_s), CLoopVolume::Kind::Fat, u"WELCOME"_s);
    const QString mountPoint = m_env.Root() + u"/media/WELCOME"_s;
    if (!stick.Problem().isEmpty() || !stick.Mount(mountPoint))
        GTEST_SKIP() << stick.Problem().toStdString();

    SetUpRequest request = Simulator();
    request.handheld = HandheldKind::Volume;
    request.volumeMount = mountPoint;
    const SetUpResult adopted = Tool().Register(request);
    ASSERT_TRUE(adopted.ok) << adopted.message.toStdString();
    EXPECT_EQ(Handheld(), VolumeConfig::HandheldVolume());
    EXPECT_TRUE(QFileInfo(mountPoint + u"/Dovetail/C/Documents"_s).isDir());
    EXPECT_TRUE(ReadSuiteState().handheldReady);

    std::vector<MountedVolume> mounted;
    for (const MountedVolume& volume : MountedVolumes()) {
        if (volume.mountPoint == mountPoint)
            mounted.push_back(volume);
    }
    ASSERT_EQ(mounted.size(), 1u);
    EXPECT_EQ(mounted[0].label, u"WELCOME"_s);
    EXPECT_EQ(mounted[0].adoptedOwner, u"alice"_s);
    const std::vector<AdoptedHandheld> handhelds = AdoptedHandhelds();
    ASSERT_EQ(handhelds.size(), 1u);
    EXPECT_EQ(handhelds[0].connectedAt, mountPoint + u"/Dovetail"_s);

    const SetUpResult again = Tool().AdoptVolume(mountPoint, u"alice"_s);
    EXPECT_TRUE(again.ok) << again.message.toStdString();
    EXPECT_EQ(AdoptedHandhelds().size(), 1u);

    request.userName = u"bob"_s;
    const SetUpResult other = Tool().Register(request);
    EXPECT_FALSE(other.ok);
    EXPECT_TRUE(other.message.contains(u"already the handheld of alice"_s)) << other.message.toStdString();
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, kTestUsersKey + u"\\bob"_s));

    ASSERT_TRUE(Tool().Forget(handhelds[0].id).ok);
    EXPECT_TRUE(AdoptedHandhelds().empty());
    EXPECT_FALSE(ReadSuiteState().handheldReady);
    EXPECT_TRUE(Tool().Register(request).ok) << "a forgotten volume can be adopted by another user";
}

// The system's own file system never shows among the volumes to choose from.
TEST_F(SuiteSetUpTest, FixedAndSystemFileSystemsAreNotOffered) {
    for (const MountedVolume& volume : MountedVolumes()) {
        EXPECT_NE(volume.mountPoint, u"/"_s);
        EXPECT_NE(volume.mountPoint, u"/proc"_s);
        EXPECT_TRUE(::access(QFile::encodeName(volume.mountPoint).constData(), W_OK) == 0);
    }
}

namespace {

// The launcher's update: only what differs and only what is installed is copied again, whole.
TEST(SuiteUpdateTest, CopiesAgainWhatDiffersAndNothingUninstalled) {
    CTempEnv env;
    const QString medium = env.MakeDir(u"medium"_s);
    const QString suite = env.MakeDir(u"suite"_s);
    env.WriteFile(u"medium/DTSetup"_s, "setup 2");
    env.WriteFile(u"medium/ENG/bindmgr"_s, "manager 2");
    env.WriteFile(u"medium/ENG/bindcopy"_s, "synchronizer 1");
    env.WriteFile(u"medium/ENG/DTkTimer"_s, "scheduler 2");
    env.WriteFile(u"suite/DTSetup"_s, "setup 1");
    env.WriteFile(u"suite/bindmgr"_s, "manager 1, longer");
    env.WriteFile(u"suite/bindcopy"_s, "synchronizer 1");
    // No DTkTimer in the suite: not installed, so not installed by an update either.
    const SuiteUpdate update = UpdateInstalledCopies(medium, suite, 0);
    EXPECT_EQ(update.updated, (QStringList{u"bindmgr"_s, u"DTSetup"_s}));
    EXPECT_TRUE(update.failed.isEmpty());
    EXPECT_EQ(ReadWholeFile(suite + u"/bindmgr"_s), "manager 2");
    EXPECT_EQ(ReadWholeFile(suite + u"/DTSetup"_s), "setup 2");
    EXPECT_FALSE(QFileInfo::exists(suite + u"/DTkTimer"_s));
    EXPECT_TRUE(QFileInfo(suite + u"/bindmgr"_s).isWritable());
    EXPECT_TRUE(DescribeUpdate(update).contains(u"bindmgr, DTSetup"_s));

    EXPECT_TRUE(UpdateInstalledCopies(medium, suite, 0).updated.isEmpty());
    EXPECT_TRUE(DescribeUpdate(UpdateInstalledCopies(medium, suite, 0)).isEmpty());
}

}  // namespace
