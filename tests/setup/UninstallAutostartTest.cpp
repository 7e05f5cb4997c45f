// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/AutostartEntry.h"
#include "common/ProfileRegistry.h"
#include "setup/Installer.h"
#include "setup/Uninstaller.h"
#include "tests/setup/SetupWorld.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The desktop's autostart entry goes with the Run value, and stays while it is still needed.
TEST(UninstallAutostartTest, EntryFollowsTheSchedulerRegistration) {
    for (const bool otherApplication : {false, true}) {
        SCOPED_TRACE(otherApplication ? "another application still uses the scheduler" : "sole user");
        CSetupWorld world;
        world.AddUserData(u"alice"_s);
        CSetupContext context;
        world.Wire(context);
        CInstaller installer(context);
        ASSERT_TRUE(installer.CheckPrerequisites() && installer.Install(nullptr));
        // As the manager registers the scheduler when automatic synchronization is turned on.
        ASSERT_TRUE(
            WriteAutostartEntry(QString::fromLatin1(kSchedulerAutostartName), world.SuiteFolder() + u"DTkTimer"_s));
        if (otherApplication)
            WriteEntryNumber(u"alice"_s, u"AutoSynchApps"_s, u"OtherApp"_s, u"Frequency"_s, 1);

        CSetupContext uninstallContext;
        world.Wire(uninstallContext);
        CUninstaller uninstaller(uninstallContext);
        uninstaller.CheckUninstall();
        ASSERT_TRUE(uninstaller.Uninstall(nullptr));
        EXPECT_EQ(QFile::exists(AutostartEntryPath(QString::fromLatin1(kSchedulerAutostartName))), otherApplication);
    }
}
