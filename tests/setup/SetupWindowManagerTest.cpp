// SPDX-License-Identifier: GPL-3.0-or-later
// The real DTSetup under a window manager, with the keyboard alone: Return goes forward on
// every page of both wizards, to the end.
#include "tests/support/TempEnv.h"
#include "tests/support/WindowManagerDisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

class SetupWindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(BinDir() + u"/epocsim"_s));
        if (const QString why = m_display.Start(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        QProcess epocsim;
        epocsim.start(BinDir() + u"/epocsim"_s, {u"install"_s, u"--dir"_s, m_env.MakeDir(u"suite"_s)});
        ASSERT_TRUE(epocsim.waitForFinished(30000) && epocsim.exitCode() == 0);
    }
    void TearDown() override {
        if (m_setup.state() != QProcess::NotRunning) {
            m_setup.kill();
            m_setup.waitForFinished(5000);
        }
    }

    // Starts the program and presses Return once per page title, each after the page showed.
    void PressReturnThrough(const QString& program, const QStringList& arguments, const QStringList& titles) {
        m_setup.setProcessEnvironment(m_display.Environment());
        m_setup.start(program, arguments);
        ASSERT_TRUE(m_setup.waitForStarted(10000));
        for (const QString& title : titles) {
            const QString window = m_display.WaitForWindow(u'^' + title + u'$', 10000);
            ASSERT_FALSE(window.isEmpty()) << "never showed: " << title.toStdString();
            m_display.Keys(window, {u"Return"_s});
        }
        EXPECT_TRUE(m_setup.waitForFinished(15000)) << "the last Return did not end the wizard";
        EXPECT_EQ(m_setup.exitCode(), 0);
    }

    CTempEnv m_env;
    CWindowManagerDisplay m_display;
    QProcess m_setup;
};

}  // namespace

TEST_F(SetupWindowManagerTest, ReturnRemovesToTheEnd) {
    PressReturnThrough(
        BinDir() + u"/DTSetup"_s, {u"/U"_s},
        {u"Dovetail Uninstall - Step 1"_s, u"Dovetail Uninstall - Step 2"_s, u"Dovetail Uninstall - Step 3"_s});
}

TEST_F(SetupWindowManagerTest, ReturnInstallsToTheEnd) {
    const QString medium = QDir::cleanPath(BinDir() + u"/../medium"_s);
    if (!QFileInfo(medium + u"/DTSetup"_s).isExecutable())
        GTEST_SKIP() << "needs the medium target built";
    PressReturnThrough(medium + u"/DTSetup"_s, {},
                       {u"Dovetail Setup - Step 1"_s, u"Dovetail Setup - Step 2"_s, u"Dovetail Setup - Step 3"_s});
    EXPECT_TRUE(QFileInfo(m_env.Root() + u"/suite/bindcopy"_s).isExecutable());
}
