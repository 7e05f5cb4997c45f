// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up window offscreen, with a stand-in for the install wizard.
#include "tools/dtwelcome/WelcomeWindow.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "tests/manager/ModalDriver.h"
#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kOpenCommandKey = u"HKCR\\CLSID\\{F7F79B30-BA87-11d2-AA80-00C04F7199CF}\\shell\\open\\command"_s;

class WelcomeWindowTest : public ::testing::Test {
protected:
    QString Script(const QString& name, const QByteArray& body) const {
        const QString path = m_env.WriteFile(name, "#!/bin/sh\n" + body);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    // An install wizard that registers a synchronizer and a manager (which records that it
    // was started), as DTSetup's installation does, or that ends having installed nothing.
    CWelcomeWindow::Programs Programs(bool installs) const {
        const QString started = m_env.Root() + u"/manager-started"_s;
        const QString manager = Script(u"suite-bin/bindmgr"_s, "echo started > '" + started.toUtf8() + "'\n");
        const QString synchronizer = Script(u"suite-bin/bindcopy"_s, "");
        const QByteArray dtreg = QFile::encodeName(BinDir() + u"/dtreg"_s);
        QByteArray body;
        if (installs) {
            body = "'" + dtreg + "' set 'HKCU\\Software\\Veroz\\Dovetail' SyncronizerPath string '" +
                   synchronizer.toUtf8() + "' &&\n'" + dtreg + "' set '" + kOpenCommandKey.toUtf8() + "' @ string '" +
                   manager.toUtf8() + "'\n";
        }
        return {BinDir(), m_env.Home() + u"/.local/share/dovetail"_s, Script(u"medium/DTSetup"_s, body + "exit 0\n")};
    }
    static void Choose(QComboBox* box, HandheldKind kind) {
        for (int i = 0; i < box->count(); ++i) {
            if (box->itemData(i, Qt::UserRole).toInt() == int(kind))
                box->setCurrentIndex(i);
        }
    }
    bool ManagerStarted() const { return QFile::exists(m_env.Root() + u"/manager-started"_s); }

    CTempEnv m_env;
    CModalDriver m_driver;
};

}  // namespace

TEST_F(WelcomeWindowTest, ProposesTheLoginNameTheDocumentsFolderAndTheSimulatorLast) {
    CWelcomeWindow window(Programs(true), false);
    EXPECT_EQ(window.windowTitle(), u"Set up Dovetail"_s);
    EXPECT_EQ(window.findChild<QLineEdit*>(u"userName"_s)->text(), LoginName());
    EXPECT_EQ(window.findChild<QLineEdit*>(u"pcFolder"_s)->text(), m_env.Home() + u"/Documents"_s);
    auto* handheld = window.findChild<QComboBox*>(u"handheldChoice"_s);
    ASSERT_GE(handheld->count(), 2);
    EXPECT_EQ(handheld->itemData(handheld->count() - 1, Qt::UserRole).toInt(), int(HandheldKind::Simulator));
    EXPECT_NE(handheld->currentData(Qt::UserRole).toInt(), int(HandheldKind::Simulator))
        << "nobody gets the simulator without choosing it";
}

TEST_F(WelcomeWindowTest, AnEarlierRegistrationIsProposedAgain) {
    RegWriteString(HKEY_CURRENT_USER, u"Software\\Veroz\\CurrentUser"_s, QString(), u"Zoë"_s);
    RegWriteString(HKEY_CURRENT_USER, u"Software\\Veroz\\Users\\Zoë\\PCDirectory"_s, QString(), u"/srv/zoe/docs/"_s);
    CWelcomeWindow window(Programs(true), true);  // not set up: the whole form all the same
    EXPECT_EQ(window.windowTitle(), u"Set up Dovetail"_s);
    EXPECT_EQ(window.findChild<QLineEdit*>(u"userName"_s)->text(), u"Zoë"_s);
    EXPECT_EQ(window.findChild<QLineEdit*>(u"pcFolder"_s)->text(), u"/srv/zoe/docs"_s);
    EXPECT_FALSE(window.findChild<QLineEdit*>(u"userName"_s)->isReadOnly());
}

// Set up registers, runs the install wizard and waits for it, then opens the manager the
// wizard installed and closes.
TEST_F(WelcomeWindowTest, SetUpRunsTheInstallWizardThenOpensTheManager) {
    CWelcomeWindow window(Programs(true), false);
    window.show();
    window.findChild<QLineEdit*>(u"userName"_s)->setText(u"alice"_s);
    Choose(window.findChild<QComboBox*>(u"handheldChoice"_s), HandheldKind::Simulator);
    window.findChild<QPushButton*>(u"setUpButton"_s)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isHidden(); }, 20000));
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ManagerStarted(); }, 10000));
    const SuiteState state = ReadSuiteState();
    EXPECT_TRUE(state.IsSetUp());
    EXPECT_EQ(state.user, u"alice"_s);

    // Set up from then on: the handheld form, the user's answers shown but not to be changed.
    CWelcomeWindow handheld(Programs(true), true);
    EXPECT_EQ(handheld.windowTitle(), u"Dovetail handheld"_s);
    EXPECT_TRUE(handheld.findChild<QLineEdit*>(u"userName"_s)->isReadOnly());
    EXPECT_EQ(handheld.findChild<QComboBox*>(u"handheldChoice"_s)->currentData(Qt::UserRole).toInt(),
              int(HandheldKind::Simulator));
}

// A wizard cancelled (or failed) leaves the window open to try again, and says so.
TEST_F(WelcomeWindowTest, AnInstallWizardThatInstallsNothingIsReported) {
    QStringList shown;
    m_driver.Otherwise([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            shown << box->text();
            box->accept();
        }
    });
    CWelcomeWindow window(Programs(false), false);
    window.show();
    Choose(window.findChild<QComboBox*>(u"handheldChoice"_s), HandheldKind::Simulator);
    auto* setUp = window.findChild<QPushButton*>(u"setUpButton"_s);
    setUp->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 20000));
    EXPECT_TRUE(shown[0].contains(u"ended before Dovetail's programs were installed"_s)) << shown[0].toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(setUp->isEnabled());
    EXPECT_FALSE(ManagerStarted());
    // What was registered stays; only the programs are missing.
    EXPECT_TRUE(ReadSuiteState().handheldReady);
}

TEST_F(WelcomeWindowTest, ARefusedRequestIsShownAndNothingRuns) {
    QStringList shown;
    m_driver.Otherwise([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            shown << box->text();
            box->accept();
        }
    });
    CWelcomeWindow window(Programs(true), false);
    window.show();
    window.findChild<QLineEdit*>(u"userName"_s)->setText(u".."_s);
    Choose(window.findChild<QComboBox*>(u"handheldChoice"_s), HandheldKind::Simulator);
    window.findChild<QPushButton*>(u"setUpButton"_s)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 5000));
    EXPECT_TRUE(shown[0].contains(u"\"..\""_s)) << shown[0].toStdString();
    EXPECT_FALSE(ReadSuiteState().SuiteInstalled());
    EXPECT_FALSE(ManagerStarted());
}
