// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupWizard.h"

#include "common/ProfileRegistry.h"
#include "setup/SessionLogOff.h"
#include "setup/SetupApp.h"
#include "setup/SetupPage.h"
#include "setup/SetupScreens.h"
#include "tests/setup/SetupWorld.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override { m_world.Wire(m_ctx); }

    std::unique_ptr<CSetupWizard> Start(SetupMode mode) {
        auto wizard = std::make_unique<CSetupWizard>(m_ctx, mode);
        wizard->show();
        return wizard;
    }
    static QString Text(QWidget* page, const char* name) {
        auto* label = page->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : u"<none>"_s;
    }
    static bool Shown(QWizard& wizard, QWizard::WizardButton which) { return wizard.button(which)->isVisible(); }
    // Back is always there; it only works where a page can be left backwards.
    static bool BackUsable(QWizard& wizard) {
        EXPECT_TRUE(Shown(wizard, QWizard::BackButton)) << wizard.windowTitle().toStdString();
        return wizard.button(QWizard::BackButton)->isEnabled();
    }

    CSetupWorld m_world;
    CSetupContext m_ctx;
};

}  // namespace

TEST_F(WizardTest, InstallRunsThroughItsPages) {
    auto wizard = Start(SetupMode::Install);
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Setup - Step 1"_s);
    QWizardPage* page = wizard->currentPage();
    EXPECT_EQ(Text(page, "heading"),
              u"This application will install Dovetail for Ericsson EPOC Connect version 1.0. "_s);
    EXPECT_EQ(Text(page, "detail"), u"Choose a language and click Next to continue."_s);
    EXPECT_TRUE(page->findChild<QRadioButton*>(u"language0"_s)->isChecked());
    EXPECT_TRUE(page->findChild<QRadioButton*>(u"language0"_s)->isEnabled());
    for (int i = 1; i < 5; ++i)
        EXPECT_FALSE(page->findChild<QRadioButton*>(u"language%1"_s.arg(i))->isEnabled()) << i;
    EXPECT_TRUE(Shown(*wizard, QWizard::NextButton));
    EXPECT_TRUE(Shown(*wizard, QWizard::CancelButton));
    EXPECT_FALSE(BackUsable(*wizard));

    wizard->button(QWizard::NextButton)->click();
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Setup - Step 2"_s);
    page = wizard->currentPage();
    EXPECT_EQ(Text(page, "heading"), u"Dovetail will now be installed."_s);
    EXPECT_TRUE(BackUsable(*wizard));
    auto* osLine = page->findChild<QLabel*>(u"osLine"_s);
    auto* folderLine = page->findChild<QLabel*>(u"folderLine"_s);
    EXPECT_FALSE(osLine->isVisible());
    EXPECT_FALSE(page->findChild<QProgressBar*>(u"progress"_s)->isVisible());
    QTest::mouseClick(page, Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_TRUE(osLine->isVisible());
    EXPECT_TRUE(folderLine->isVisible());
    EXPECT_TRUE(osLine->text().startsWith(u"OS : "_s + m_ctx.m_osDescription)) << osLine->text().toStdString();
    EXPECT_EQ(folderLine->text(), u"EC Folder : "_s + m_world.SuiteFolder());

    wizard->button(QWizard::NextButton)->click();
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Setup - Step 3"_s);
    EXPECT_EQ(Text(wizard->currentPage(), "heading"), u"Dovetail was installed successfully."_s);
    EXPECT_TRUE(Shown(*wizard, QWizard::FinishButton));
    EXPECT_FALSE(Shown(*wizard, QWizard::CancelButton));
    EXPECT_FALSE(BackUsable(*wizard));
    EXPECT_TRUE(QFile::exists(m_world.SuiteFolder() + u"bindmgr"_s));
    EXPECT_EQ(page->findChild<QProgressBar*>(u"progress"_s)->value(), 16);

    wizard->button(QWizard::FinishButton)->click();
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(wizard->result(), QDialog::Accepted);
}

// Return goes where a keyboard user's Return goes: to the widget that has the focus, which
// passes it to the default button unless it is a button itself.
TEST_F(WizardTest, ReturnPressesTheDefaultButtonOnEveryPage) {
    struct Row {
        const char* name;
        SetupMode mode;
        bool suiteMissing;
        QStringList titles;
    };
    const Row rows[] = {
        {"install",
         SetupMode::Install,
         false,
         {u"Dovetail Setup - Step 1"_s, u"Dovetail Setup - Step 2"_s, u"Dovetail Setup - Step 3"_s}},
        {"install fails its checks",
         SetupMode::Install,
         true,
         {u"Dovetail Setup - Step 1"_s, u"Dovetail Setup - Error"_s}},
        {"uninstall",
         SetupMode::Uninstall,
         false,
         {u"Dovetail Uninstall - Step 1"_s, u"Dovetail Uninstall - Step 2"_s, u"Dovetail Uninstall - Step 3"_s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.suiteMissing)
            CRegistry::Default().DeleteValue(HKEY_LOCAL_MACHINE, QString::fromUtf8(kPsiWinKey),
                                             u"Installation Directory"_s);
        auto wizard = Start(row.mode);
        QApplication::setActiveWindow(wizard.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(wizard.get()));
        QStringList seen;
        for (int i = 0; i < 5 && wizard->isVisible(); ++i) {
            seen << wizard->windowTitle();
            QWidget* focused = QApplication::focusWidget();
            ASSERT_TRUE(focused) << wizard->windowTitle().toStdString();
            EXPECT_NE(focused, wizard->button(QWizard::BackButton)) << wizard->windowTitle().toStdString();
            QTest::keyClick(focused, Qt::Key_Return);
        }
        EXPECT_EQ(seen, row.titles);
        EXPECT_FALSE(wizard->isVisible());
        EXPECT_EQ(wizard->result(), QDialog::Accepted);
    }
}

TEST_F(WizardTest, ReturnOnStepTwoReachedByBackStillGoesForward) {
    auto wizard = Start(SetupMode::Uninstall);
    QApplication::setActiveWindow(wizard.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(wizard.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    wizard->button(QWizard::BackButton)->click();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Uninstall - Step 2"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Uninstall - Step 3"_s);
}

TEST_F(WizardTest, BackReturnsToTheLanguagePageAndChecksAgain) {
    auto wizard = Start(SetupMode::Install);
    wizard->button(QWizard::NextButton)->click();
    wizard->button(QWizard::BackButton)->click();
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Setup - Step 1"_s);
    // The suite disappears meanwhile: the second Next finds out.
    CRegistry::Default().DeleteValue(HKEY_LOCAL_MACHINE, QString::fromUtf8(kPsiWinKey), u"Installation Directory"_s);
    wizard->button(QWizard::NextButton)->click();
    EXPECT_EQ(wizard->currentId(), kErrorPage);
    EXPECT_EQ(Text(wizard->currentPage(), "detail"), u"You must first install Ericsson EPOC Connect"_s);
}

// A store that is not a registry reads as empty, which passed for a missing suite; both
// wizards name the file instead, and neither touches it nor the installed files.
TEST_F(WizardTest, DamagedStoreIsNamedAndLeftAsItIs) {
    const QByteArray junk(4096, 'z');
    const QString broken = m_world.m_env.WriteFile(u"broken.db"_s, junk);
    const QString installed = m_world.m_env.WriteFile(u"suite/bindmgr"_s, "installed");
    m_world.m_env.SetEnv("DOVETAIL_REGISTRY", broken);
    for (SetupMode mode : {SetupMode::Install, SetupMode::Uninstall}) {
        SCOPED_TRACE(mode == SetupMode::Install ? "install" : "uninstall");
        m_ctx.m_errorText.clear();
        auto wizard = Start(mode);
        wizard->button(QWizard::NextButton)->click();
        EXPECT_EQ(wizard->currentId(), kErrorPage);
        EXPECT_EQ(Text(wizard->currentPage(), "detail"), RegistryUnusableMessage(broken));
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), junk);
        EXPECT_TRUE(QFile::exists(installed));
    }
}

TEST_F(WizardTest, FailedInstallEndsOnTheErrorPage) {
    QFile::remove(m_world.MediumFolder() + u"ENG/bindmgr"_s);
    auto wizard = Start(SetupMode::Install);
    wizard->button(QWizard::NextButton)->click();
    wizard->button(QWizard::NextButton)->click();
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Setup - Error"_s);
    EXPECT_EQ(Text(wizard->currentPage(), "heading"), u"Error"_s);
    EXPECT_EQ(Text(wizard->currentPage(), "detail"), u"Unable to copy a file bindmgr"_s);
    EXPECT_TRUE(Shown(*wizard, QWizard::FinishButton));
    EXPECT_FALSE(Shown(*wizard, QWizard::CancelButton));
    EXPECT_FALSE(BackUsable(*wizard));
    EXPECT_FALSE(Shown(*wizard, QWizard::NextButton));
}

TEST_F(WizardTest, CancelInstallsNothing) {
    auto wizard = Start(SetupMode::Install);
    wizard->button(QWizard::NextButton)->click();
    wizard->button(QWizard::CancelButton)->click();
    EXPECT_EQ(wizard->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(m_world.SuiteFolder() + u"bindcopy"_s));
}

TEST_F(WizardTest, UninstallRunsThroughItsPages) {
    auto wizard = Start(SetupMode::Uninstall);
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Uninstall - Step 1"_s);
    EXPECT_EQ(Text(wizard->currentPage(), "heading"), u"You are about to remove the Dovetail application"_s);
    EXPECT_FALSE(BackUsable(*wizard));
    wizard->button(QWizard::NextButton)->click();
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Uninstall - Step 2"_s);
    EXPECT_EQ(Text(wizard->currentPage(), "detail"), u"Click on Next to confirm or Cancel to abort."_s);
    EXPECT_TRUE(BackUsable(*wizard));
    wizard->button(QWizard::NextButton)->click();
    // Nothing was installed, and the removal still ends on its success page. Nothing waits
    // for the next log-on, so there is no advice to restart and no Restart Now.
    EXPECT_EQ(wizard->windowTitle(), u"Dovetail Uninstall - Step 3"_s);
    EXPECT_EQ(Text(wizard->currentPage(), "heading"), u"Dovetail was removed successfully from your PC."_s);
    EXPECT_EQ(Text(wizard->currentPage(), "detail"), QString());
    EXPECT_FALSE(wizard->currentPage()->findChild<QPushButton*>(u"restartNow"_s)->isVisible());
    EXPECT_TRUE(Shown(*wizard, QWizard::FinishButton));
    EXPECT_FALSE(Shown(*wizard, QWizard::CancelButton));
    EXPECT_FALSE(BackUsable(*wizard));
}

TEST_F(WizardTest, RestartIsOfferedOnlyWhenRemovalWaitsForTheNextLogOn) {
    m_ctx.m_removalDeferred = true;
    auto wizard = Start(SetupMode::Uninstall);
    wizard->button(QWizard::NextButton)->click();
    wizard->button(QWizard::NextButton)->click();
    EXPECT_EQ(Text(wizard->currentPage(), "detail"),
              u"The procedure will only be completed the next time you restart your system."_s);
    auto* restart = wizard->currentPage()->findChild<QPushButton*>(u"restartNow"_s);
    EXPECT_TRUE(restart->isVisible());
    EXPECT_EQ(restart->text(), u"Restart Now"_s);
}

TEST(SetupAppTest, RestartNowLogsOffThroughTheReplaceableCall) {
    CSetupWorld world;
    int logOffs = 0;
    SetLogOffHandler([&logOffs] {
        ++logOffs;
        return true;
    });
    CSetupApp app;
    app.Create({u"/U"_s});
    world.Wire(*app.Context());
    app.Context()->m_removalDeferred = true;  // the only case that offers Restart Now
    QTimer::singleShot(0, [&app] {
        CSetupWizard* wizard = app.Wizard();
        wizard->button(QWizard::NextButton)->click();
        wizard->button(QWizard::NextButton)->click();
        wizard->currentPage()->findChild<QPushButton*>(u"restartNow"_s)->click();
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(app.Context()->m_logOffRequested);
    EXPECT_EQ(logOffs, 1);
    SetLogOffHandler({});
}

TEST(SetupAppTest, FinishDoesNotLogOff) {
    CSetupWorld world;
    int logOffs = 0;
    SetLogOffHandler([&logOffs] {
        ++logOffs;
        return true;
    });
    CSetupApp app;
    app.Create({});
    world.Wire(*app.Context());
    QTimer::singleShot(0, [&app] {
        CSetupWizard* wizard = app.Wizard();
        wizard->button(QWizard::NextButton)->click();
        wizard->button(QWizard::NextButton)->click();
        wizard->button(QWizard::FinishButton)->click();
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(logOffs, 0);
    EXPECT_TRUE(QFile::exists(world.SuiteFolder() + u"bindcopy"_s));
    SetLogOffHandler({});
}

TEST(SetupScreensTest, EveryPageRenders) {
    CTempEnv env;
    const QString saveTo = qEnvironmentVariable("DOVETAIL_SCREENSHOT_DIR");
    const QStringList names = SetupScreenNames();
    EXPECT_EQ(names.size(), 10);
    for (const QString& name : names) {
        std::unique_ptr<QWidget> window = CreateSetupScreen(name);
        ASSERT_TRUE(window) << name.toStdString();
        window->show();
        EXPECT_TRUE(window->windowTitle().startsWith(u"Dovetail "_s)) << name.toStdString();
        const QImage image = window->grab().toImage();
        EXPECT_GT(image.width(), 400) << name.toStdString();
        if (!saveTo.isEmpty())
            image.save(saveTo + u'/' + name + u".png"_s);
    }
    EXPECT_FALSE(CreateSetupScreen(u"no-such-page"_s));
}
