// SPDX-License-Identifier: GPL-3.0-or-later
// The built medium installed into a suite set up by the simulator, and removed again.
#include "common/ProfileRegistry.h"
#include "setup/Installer.h"
#include "setup/SetupContext.h"
#include "setup/SetupNames.h"
#include "setup/Strings.h"
#include "setup/Uninstaller.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(SetupMedium, InstallsIntoTheSimulatedSuiteAndRemovesItAgain) {
    const QString medium = QDir::cleanPath(BinDir() + u"/../medium"_s) + u'/';
    const QString simulator = BinDir() + u"/epocsim"_s;
    if (!QFileInfo(simulator).isExecutable() || !QFileInfo(medium + SetupNames::SetupProgram()).isFile())
        GTEST_SKIP() << "needs the simulator and the medium target built";
    for (const QString& name :
         {SetupNames::Synchronizer(), SetupNames::Manager(), SetupNames::HelpFile(), SetupNames::Animation()}) {
        if (!QFileInfo::exists(medium + u"ENG/"_s + name))
            GTEST_SKIP() << "the medium lacks " << name.toStdString();
    }

    CTempEnv env;
    const QString suite = env.MakeDir(u"suite"_s);
    QProcess process;
    process.start(simulator, {u"install"_s, u"--dir"_s, suite});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

    InstallSetupStrings();
    CSetupContext context;
    const QString program = medium + SetupNames::SetupProgram();
    context.m_hooks.programPath = [program](QString& path) {
        path = program;
        return true;
    };
    CInstaller installer(context);
    ASSERT_TRUE(installer.CheckPrerequisites()) << context.m_errorText.toStdString();
    ASSERT_TRUE(installer.Install(nullptr)) << context.m_errorText.toStdString();

    const QString folder = suite + u'/';
    EXPECT_TRUE(QFileInfo(folder + SetupNames::Synchronizer()).isExecutable());
    EXPECT_TRUE(QFileInfo(folder + SetupNames::Manager()).isExecutable());
    EXPECT_TRUE(QFileInfo(folder + SetupNames::SetupProgram()).isExecutable());
    QString synchronizer;
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"SyncronizerPath"_s, synchronizer));
    EXPECT_EQ(synchronizer, folder + SetupNames::Synchronizer());

    CSetupContext removal;
    CUninstaller uninstaller(removal);
    ASSERT_TRUE(uninstaller.CheckUninstall());
    EXPECT_EQ(removal.m_epocConnectFolder, folder);
    ASSERT_TRUE(uninstaller.Uninstall(nullptr));
    for (const QString& name : {SetupNames::Synchronizer(), SetupNames::Manager(), SetupNames::SetupProgram(),
                                SetupNames::HelpFile(), SetupNames::Animation()})
        EXPECT_FALSE(QFile::exists(folder + name)) << name.toStdString();
    EXPECT_TRUE(QFile::exists(folder + SetupNames::ChooserLibrary()));
    EXPECT_FALSE(CRegistry::Default().KeyExists(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s));
}
