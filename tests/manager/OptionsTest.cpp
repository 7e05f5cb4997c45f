// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/OptionPropSheet.h"

#include "common/AutostartEntry.h"
#include "common/Clock.h"
#include "common/Profile.h"
#include "manager/CommandIds.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/MainFrame.h"
#include "manager/ManagerHelp.h"
#include "manager/ManagerSession.h"
#include "manager/MessageBox.h"
#include "manager/SchedulerRegistration.h"
#include "manager/Strings.h"
#include "manager/properties/AutoSyncPropertyPage.h"
#include "manager/properties/PropertyCommands.h"
#include "manager/properties/SyncRulesPropertyPage.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/manager/ModalDriver.h"
#include "tests/scheduler/SchedulerWorld.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/StoreBusy.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
const QString kRunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kArea = QStringLiteral("AutoSynchApps");
const QString kEntry = QStringLiteral("Dovetail");

template <class T>
T* Control(QWidget* parent, int id) {
    return parent->findChild<T*>(QString::number(id));
}

COptionPropSheet* Sheet(QWidget* modal) {
    auto* sheet = qobject_cast<COptionPropSheet*>(modal);
    EXPECT_NE(sheet, nullptr);
    return sheet;
}

// Opens the Auto Synchronization tab and returns it.
QWidget* AutoSyncTab(COptionPropSheet* sheet) {
    sheet->SetActivePage(1);
    return sheet->AutoSyncPage();
}

void ClickOk(QWidget* sheet) {
    Control<QPushButton>(sheet, 1)->click();
}

// The program an Exec line starts: desktop-entry escapes undone, then its quoting.
QString ExecProgram(const QString& entryText) {
    QString exec;
    for (const QString& line : entryText.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Exec=")))
            exec = line.mid(5);
    }
    QString unescaped;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == u'\\' && i + 1 < exec.size()) {
            const QChar next = exec[++i];
            unescaped += next == u'n' ? QChar(u'\n') : next == u't' ? QChar(u'\t') : next;
        } else {
            unescaped += exec[i];
        }
    }
    unescaped.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (!unescaped.startsWith(u'"'))
        return unescaped;
    QString program;
    for (qsizetype i = 1; i + 1 < unescaped.size(); ++i) {
        if (unescaped[i] == u'\\')
            ++i;
        program += unescaped[i];
    }
    return program;
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Ok);
        m_scheduler = m_world.Env().WriteFile(QStringLiteral("suite/DTkTimer"), "#!/bin/sh\n");
        RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\SchedulerAppPath"), QString(), m_scheduler);
        RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Dovetail"),
                       QStringLiteral("SyncronizerPath"), QStringLiteral("/suite/bindcopy"));
    }
    void TearDown() override { CMessageBox::SetAutoAnswer(QMessageBox::NoButton); }

    uint32_t Number(const QString& value, uint32_t fallback = 0xFFFF) const {
        uint32_t number = fallback;
        ReadEntryNumber(m_world.User(), kArea, kEntry, value, number);
        return number;
    }
    QString Text(const QString& value) const {
        QString text;
        ReadEntryString(m_world.User(), kArea, kEntry, value, text);
        return text;
    }
    QString RunValue() const {
        QString text;
        RegReadString(HKEY_CURRENT_USER, kRunKey, QStringLiteral("DTScheduler"), text);
        return text;
    }
    bool EntryExists() const {
        return CRegistry::Default().KeyExists(
            RegRoot::CurrentUser,
            QStringLiteral("Software\\Veroz\\Users\\%1\\AutoSynchApps\\Dovetail").arg(m_world.User()));
    }
    bool Options() { return OnOptions(nullptr, m_rules); }

    CManagerWorld m_world;
    CRecordingShell m_shell;
    CModalDriver m_driver;
    QString m_scheduler;
    CRuleSet m_rules{kCopyPcToDevice, true, false, false};
};
}  // namespace

TEST_F(OptionsTest, WithoutFrequencyTheBoxIsClearAndCheckingItChoosesEachConnection) {
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Dovetail Options"));
        EXPECT_EQ(sheet->TabWidget()->tabText(0), QStringLiteral("Default synchronization rules"));
        EXPECT_EQ(sheet->TabWidget()->tabText(1), QStringLiteral("Auto Synchronization"));
        QWidget* page = AutoSyncTab(sheet);
        EXPECT_FALSE(Control<QCheckBox>(page, 1035)->isChecked());
        for (int id : {1036, 1037, 1038})
            EXPECT_FALSE(Control<QRadioButton>(page, id)->isEnabled()) << id;
        EXPECT_TRUE(Control<QRadioButton>(page, 1036)->isChecked());
        EXPECT_TRUE(Control<QLineEdit>(page, 1005)->text().isEmpty());
        Control<QCheckBox>(page, 1035)->click();
        EXPECT_TRUE(Control<QRadioButton>(page, 1037)->isEnabled());
        EXPECT_EQ(sheet->AutoSyncPage()->Frequency(), 1u);
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    EXPECT_EQ(Number(QStringLiteral("Frequency")), 1u);
}

TEST_F(OptionsTest, EveryWeekRegistersAndStartsTheScheduler) {
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        QWidget* page = AutoSyncTab(sheet);
        Control<QCheckBox>(page, 1035)->click();
        Control<QRadioButton>(page, 1038)->click();
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    EXPECT_EQ(Number(QStringLiteral("Frequency")), 3u);
    EXPECT_EQ(Text(QStringLiteral("ExecutablePath")), QStringLiteral("/suite/bindcopy"));
    EXPECT_EQ(RunValue(), m_scheduler);
    ASSERT_EQ(m_shell.m_requests.size(), 1u);
    EXPECT_EQ(m_shell.m_requests[0].verb, QStringLiteral("open"));
    EXPECT_EQ(m_shell.m_requests[0].path, m_scheduler);
    EXPECT_TRUE(m_shell.m_requests[0].arguments.isEmpty());
    QFile entry(AutostartEntryPath(QStringLiteral("DTScheduler")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << entry.fileName().toStdString();
    EXPECT_TRUE(entry.fileName().startsWith(m_world.Env().Home() + QStringLiteral("/.config/autostart/")));
    EXPECT_EQ(ExecProgram(QString::fromUtf8(entry.readAll())), m_scheduler);
}

TEST_F(OptionsTest, ClearingTheBoxWritesOnlyAZeroFrequency) {
    WriteEntryNumber(m_world.User(), kArea, kEntry, QStringLiteral("Frequency"), 2);
    WriteEntryString(m_world.User(), kArea, kEntry, QStringLiteral("ExecutablePath"), QStringLiteral("/old/bindcopy"));
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        QWidget* page = AutoSyncTab(sheet);
        EXPECT_TRUE(Control<QRadioButton>(page, 1037)->isChecked());
        Control<QCheckBox>(page, 1035)->click();
        EXPECT_FALSE(Control<QRadioButton>(page, 1038)->isEnabled());
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    EXPECT_EQ(Number(QStringLiteral("Frequency")), 0u);
    EXPECT_EQ(Text(QStringLiteral("ExecutablePath")), QStringLiteral("/old/bindcopy"));
    EXPECT_TRUE(RunValue().isEmpty());
    EXPECT_TRUE(m_shell.m_requests.empty());
    EXPECT_FALSE(QFile::exists(AutostartEntryPath(QStringLiteral("DTScheduler"))));
}

TEST_F(OptionsTest, WithoutASynchronizerPathTheProgramToStartIsKept) {
    CRegistry::Default().DeleteValue(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Dovetail"),
                                     QStringLiteral("SyncronizerPath"));
    WriteEntryString(m_world.User(), kArea, kEntry, QStringLiteral("ExecutablePath"), QStringLiteral("/old/bindcopy"));
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        Control<QCheckBox>(AutoSyncTab(sheet), 1035)->click();
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    EXPECT_EQ(Number(QStringLiteral("Frequency")), 1u);
    EXPECT_EQ(Text(QStringLiteral("ExecutablePath")), QStringLiteral("/old/bindcopy"));
    EXPECT_EQ(RunValue(), m_scheduler);
}

TEST_F(OptionsTest, UntouchedTabWritesNothingWhileTheDefaultRulesAreStored) {
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        QWidget* rules = sheet->RulesPage();
        EXPECT_TRUE(Control<QRadioButton>(rules, CSyncRulesPropertyPage::kIdPcToDevice)->isChecked());
        EXPECT_TRUE(Control<QCheckBox>(rules, CSyncRulesPropertyPage::kIdPrompt24Hrs)->isChecked());
        Control<QRadioButton>(rules, CSyncRulesPropertyPage::kIdDeviceToPc)->click();
        Control<QCheckBox>(rules, CSyncRulesPropertyPage::kIdKeepCopy)->click();
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    EXPECT_FALSE(EntryExists());
    EXPECT_TRUE(m_shell.m_requests.empty());
    const CRuleSet stored = CAppProfile().ReadDefaultRules();
    for (const CRuleSet& rules : {m_rules, stored}) {
        EXPECT_EQ(rules.CopyRule, kCopyDeviceToPc);
        EXPECT_TRUE(rules.Prompt24Hrs);
        EXPECT_TRUE(rules.KeepCopy);
        EXPECT_FALSE(rules.PromptBothChanged);
    }
}

// The keyboard user's way: tick the box on its tab, go back to the first tab, press Return.
TEST_F(OptionsTest, OkFromAnotherTabAppliesEveryPageThatWasShown) {
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        QApplication::setActiveWindow(sheet);
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
        const auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), k, modifiers);
        };
        key(Qt::Key_Tab, Qt::ControlModifier);
        auto* perform = Control<QCheckBox>(sheet->AutoSyncPage(), 1035);
        for (int i = 0; i < 8 && QApplication::focusWidget() != perform; ++i)
            key(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), perform);
        key(Qt::Key_Space);
        key(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_EQ(sheet->ActivePage(), sheet->RulesPage());
        key(Qt::Key_Return);
    });
    ASSERT_TRUE(Options());
    EXPECT_EQ(Number(QStringLiteral("Frequency")), 1u);
    EXPECT_EQ(RunValue(), m_scheduler);
    EXPECT_EQ(CAppProfile().ReadDefaultRules().CopyRule, kCopyPcToDevice);
}

TEST_F(OptionsTest, OkOnABusyStoreSaysSoAndKeepsTheSheetOpen) {
    auto hold = std::make_unique<CStoreWriteHold>(m_world.Env().RegistryPath());
    ASSERT_TRUE(hold->IsHeld());
    m_driver.Then([&](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        Control<QRadioButton>(sheet->RulesPage(), CSyncRulesPropertyPage::kIdNewest)->click();
        Control<QCheckBox>(AutoSyncTab(sheet), 1035)->click();
        ClickOk(sheet);
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{LoadManagerString(kIdsCannotSaveOptions)});
        EXPECT_FALSE(EntryExists());
        hold.reset();
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    EXPECT_EQ(m_rules.CopyRule, kCopyNewest);
    EXPECT_EQ(CAppProfile().ReadDefaultRules().CopyRule, kCopyNewest);
    EXPECT_EQ(Number(QStringLiteral("Frequency")), 1u);
}

TEST_F(OptionsTest, CancelWritesNothing) {
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        Control<QRadioButton>(sheet->RulesPage(), CSyncRulesPropertyPage::kIdNewest)->click();
        QWidget* page = AutoSyncTab(sheet);
        Control<QCheckBox>(page, 1035)->click();
        Control<QPushButton>(sheet, 2)->click();
    });
    EXPECT_FALSE(Options());
    EXPECT_EQ(m_rules.CopyRule, kCopyPcToDevice);
    EXPECT_FALSE(EntryExists());
    EXPECT_FALSE(
        CRegistry::Default().KeyExists(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Dovetail\\Settings")));
    EXPECT_TRUE(RunValue().isEmpty());
}

TEST_F(OptionsTest, LastSynchShowsInTheUsersFormatsAndF1OpensItsHelp) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    WriteEntryNumber(m_world.User(), kArea, kEntry, QStringLiteral("LastSynch"), uint32_t(now.toSecsSinceEpoch()));
    WriteEntryNumber(m_world.User(), kArea, kEntry, QStringLiteral("Frequency"), 9);
    std::vector<uint32_t> contexts;
    SetHelpOpener([&](QWidget*, const QString&, uint32_t context) {
        contexts.push_back(context);
        return true;
    });
    QString shown;
    m_driver.Then([&](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        QTest::keyClick(sheet, Qt::Key_F1);
        QWidget* page = AutoSyncTab(sheet);
        QTest::keyClick(sheet, Qt::Key_F1);
        shown = Control<QLineEdit>(page, 1005)->text();
        // A frequency outside 1..3 is on, with no radio button checked.
        EXPECT_TRUE(Control<QCheckBox>(page, 1035)->isChecked());
        for (int id : {1036, 1037, 1038})
            EXPECT_FALSE(Control<QRadioButton>(page, id)->isChecked()) << id;
        sheet->reject();
    });
    EXPECT_FALSE(Options());
    SetHelpOpener({});
    EXPECT_EQ(contexts, (std::vector<uint32_t>{0x20085, 0x2008C}));
    const QLocale locale = QLocale::system();
    EXPECT_TRUE(shown.startsWith(locale.toString(now.toLocalTime().date(), QLocale::ShortFormat) + QLatin1Char(' ')))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(locale.toString(now.toLocalTime().time(), QStringLiteral("mm")))) << shown.toStdString();
}

TEST_F(OptionsTest, WithoutASchedulerPathNothingIsRegistered) {
    CRegistry::Default().DeleteTree(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\SchedulerAppPath"));
    const SchedulerRegistration result =
        RegisterScheduler([](const QString& path) { return IShell::Current().Open(path); });
    EXPECT_TRUE(result.path.isEmpty());
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(RunValue().isEmpty());
    EXPECT_TRUE(m_shell.m_requests.empty());
    EXPECT_FALSE(QFile::exists(AutostartEntryPath(QStringLiteral("DTScheduler"))));
}

// Switching automatic synchronization on where it cannot work keeps the choice and says why,
// naming the set-up where that is what is missing; where it works nothing is shown.
TEST_F(OptionsTest, OnSaysWhatKeepsAutomaticSynchronizationFromWorking) {
    struct Case {
        const char* name;
        bool schedulerPath;
        bool shellStarts;
        bool synchronizerPath;
        bool autostartWritable;
        QStringList expected;  // parts of the one warning, in order; empty: no warning
    };
    const QString hint = LoadManagerString(kIdsSetUpHint);
    const Case cases[] = {
        {"everything in place", true, true, true, true, {}},
        {"setup never ran",
         false,
         true,
         false,
         true,
         {QStringLiteral("no scheduler program is installed"), QStringLiteral("no synchronizer is registered"), hint}},
        {"scheduler does not start", true, false, true, true, {QStringLiteral("could not be started")}},
        {"no autostart entry", true, true, true, false, {QStringLiteral("could not be registered to start when")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMessageBox::ClearShownTexts();
        CRegistry::Default().DeleteTree(
            RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Users\\%1\\AutoSynchApps").arg(m_world.User()));
        if (c.schedulerPath)
            RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\SchedulerAppPath"), QString(),
                           m_scheduler);
        else
            CRegistry::Default().DeleteTree(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\SchedulerAppPath"));
        if (c.synchronizerPath)
            RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Dovetail"),
                           QStringLiteral("SyncronizerPath"), QStringLiteral("/suite/bindcopy"));
        else
            CRegistry::Default().DeleteValue(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Dovetail"),
                                             QStringLiteral("SyncronizerPath"));
        // A file where the autostart folder should be: the entry cannot be written.
        const QString autostart = m_world.Env().Home() + QStringLiteral("/.config/autostart");
        QFile::remove(autostart);
        QDir(autostart).removeRecursively();
        if (!c.autostartWritable)
            m_world.Env().WriteFile(QStringLiteral("home/.config/autostart"), "not a folder");
        m_shell.m_succeed = c.shellStarts;
        m_driver.Then([](QWidget* modal) {
            COptionPropSheet* sheet = Sheet(modal);
            Control<QCheckBox>(AutoSyncTab(sheet), 1035)->click();
            ClickOk(sheet);
        });
        ASSERT_TRUE(Options());
        EXPECT_EQ(Number(QStringLiteral("Frequency")), 1u);
        const QStringList shown = CMessageBox::ShownTexts();
        if (c.expected.isEmpty()) {
            EXPECT_TRUE(shown.isEmpty()) << shown.join(u'|').toStdString();
            continue;
        }
        ASSERT_EQ(shown.size(), 1);
        qsizetype at = 0;
        for (const QString& part : c.expected) {
            const qsizetype found = shown[0].indexOf(part, at);
            EXPECT_GE(found, at) << part.toStdString() << " in " << shown[0].toStdString();
            at = found < 0 ? at : found + part.size();
        }
        EXPECT_EQ(CMessageBox::ShownIcons().value(0), QMessageBox::Warning);
    }
}

TEST_F(OptionsTest, NewDefaultsReachNewBindingsOnlyThroughTheOptionsCommand) {
    m_world.Store(0, m_world.Binding(QStringLiteral("kept.txt")));
    CManagerSession session;
    ASSERT_TRUE(session.InitInstance(true, QStringLiteral("Dovetail:options-test")));
    InstallPropertyCommands(session);
    CMainFrame* frame = session.MainFrame();
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdProperties));
    EXPECT_TRUE(frame->IsCommandEnabled(kCmdOptions));
    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        Control<QRadioButton>(sheet->RulesPage(), CSyncRulesPropertyPage::kIdDeviceToPc)->click();
        ClickOk(sheet);
    });
    frame->OnCommand(kCmdOptions);
    EXPECT_EQ(m_driver.Pending(), 0u);
    EXPECT_EQ(session.DefaultRules().CopyRule, kCopyDeviceToPc);
    EXPECT_EQ(session.Document()->NewRecord().CopyRule, kCopyDeviceToPc);
    EXPECT_EQ(m_world.Number(0, QStringLiteral("CopyRule")), uint32_t(kCopyNewest));
}

// Frequency 1 chosen on the page is what the real scheduler, started as the autostart
// entry says, acts on: plugging the handheld in starts the synchronizer.
TEST_F(OptionsTest, AutostartedSchedulerStartsTheSynchronizerWhenPlugged) {
    const QString suite = m_world.Env().MakeDir(QStringLiteral("Suite $folder")) + QLatin1Char('/');
    const QString scheduler = suite + QStringLiteral("DTkTimer");
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/DTkTimer"), scheduler));
    RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\SchedulerAppPath"), QString(), scheduler);
    const QString runs = m_world.Env().Root() + QStringLiteral("/runs.txt");
    RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Dovetail"), QStringLiteral("SyncronizerPath"),
                   SchedulerWorld::WriteRecorder(m_world.Env(), runs));
    SchedulerWorld::CreateHandheld(m_world.User());

    m_driver.Then([](QWidget* modal) {
        COptionPropSheet* sheet = Sheet(modal);
        Control<QCheckBox>(AutoSyncTab(sheet), 1035)->click();
        ClickOk(sheet);
    });
    ASSERT_TRUE(Options());
    QFile entry(AutostartEntryPath(QStringLiteral("DTScheduler")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString program = ExecProgram(QString::fromUtf8(entry.readAll()));
    ASSERT_EQ(program, scheduler);

    QProcess timer;
    timer.start(program, {QStringLiteral("-v")});
    ASSERT_TRUE(timer.waitForStarted(5000));
    QString output;
    const auto logged = [&](const QString& text) {
        return QTest::qWaitFor(
            [&] {
                output += QString::fromLocal8Bit(timer.readAllStandardError());
                return output.contains(text);
            },
            10000);
    };
    ASSERT_TRUE(logged(QStringLiteral("DTkTimer: started"))) << output.toStdString();
    SchedulerWorld::SetPlugged(true);
    const bool ran = QTest::qWaitFor([&] { return SchedulerWorld::CountLines(runs) == 1; }, 10000);
    ::kill(pid_t(timer.processId()), SIGTERM);
    timer.waitForFinished(5000);
    output += QString::fromLocal8Bit(timer.readAllStandardError());
    EXPECT_TRUE(ran) << output.toStdString();
    EXPECT_EQ(timer.exitCode(), 0);
}
