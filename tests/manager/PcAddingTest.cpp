// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/PcAdding.h"

#include "common/Profile.h"
#include "manager/BindingListModel.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerView.h"
#include "manager/ManagerHelp.h"
#include "manager/MessageBox.h"
#include "manager/PcPathLimits.h"
#include "manager/adding/ConversionChoiceDlg.h"
#include "manager/adding/WinBindingWarningDlg.h"
#include "platform/converter/ConverterInterface.h"
#include "platform/registry/Registry.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/manager/ModalDriver.h"
#include "tests/support/FakeConverter.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/StoreBusy.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {
// Answers the modal dialogs of a flow as a user would, by their kind, while the test waits
// in exec().
class CDialogRobot {
public:
    std::function<void(QFileDialog&)> onFileDialog;
    std::function<void(CWinBindingWarningDlg&)> onWarning = [](CWinBindingWarningDlg& d) { d.done(1); };
    std::function<void(CConversionChoiceDlg&)> onChoice = [](CConversionChoiceDlg& d) { d.OnConvert(); };
    int warnings = 0;
    int choices = 0;

    CDialogRobot() {
        m_driver.Otherwise([this](QWidget* modal) {
            if (auto* warning = qobject_cast<CWinBindingWarningDlg*>(modal)) {
                ++warnings;
                onWarning(*warning);
            } else if (auto* choice = qobject_cast<CConversionChoiceDlg*>(modal)) {
                ++choices;
                onChoice(*choice);
            } else if (auto* files = qobject_cast<QFileDialog*>(modal); files && onFileDialog) {
                onFileDialog(*files);
            } else if (auto* box = qobject_cast<QDialog*>(modal)) {
                box->reject();
            }
        });
    }

private:
    CModalDriver m_driver;
};

class PcAddingTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Yes);
        SetManagerConverters(&m_converters);
        QFile::copy(BinDir() + QStringLiteral("/ecfile.ocx"),
                    m_world.Env().Root() + QStringLiteral("/psiwin/ecfile.ocx"));
        m_chooserLog = m_world.Env().Root() + QStringLiteral("/chooser.log");
        m_world.Env().SetEnv("DOVETAIL_TEST_CHOOSER_LOG", m_chooserLog);
        AnswerChooser(QStringLiteral("C:\\Documents\\Report"));
        m_doc.OnNewDocument();
        m_view = std::make_unique<CDovetailManagerView>(m_doc);
        m_view->OnInitialUpdate();
    }
    void TearDown() override {
        CMessageBox::SetAutoAnswer(QMessageBox::NoButton);
        SetManagerConverters(nullptr);
    }
    void AnswerChooser(const QString& answer) { m_world.Env().SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", answer); }
    QStringList ChooserInits() const {
        QFile log(m_chooserLog);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString Setting(const QString& name) const {
        return CAppProfile().GetProfileString(QStringLiteral("Settings"), name);
    }
    int Bindings() { return m_view->ItemCount(); }

    CManagerWorld m_world;
    CRecordingShell m_shell;
    std::shared_ptr<CFakeConverterState> m_converterState = std::make_shared<CFakeConverterState>();
    CFakeConverterRoot m_converters{m_converterState};
    QString m_chooserLog;
    CDovetailManagerDoc m_doc;
    std::unique_ptr<CDovetailManagerView> m_view;
};

TEST(InitialEpocTargetTest, DropsThePcExtension) {
    struct Case {
        const char* last;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"", "Report.doc", "C:\\Report"},
        {"C:\\Documents\\", "Report.doc", "C:\\Documents\\Report"},
        {"C:\\Documents\\", "notes", "C:\\Documents\\notes"},
        {"C:\\Documents\\", "a.b.txt", "C:\\Documents\\a.b"},
        {"C:\\My.Docs\\", "notes", "C:\\My.Docs\\notes"},
        {"C:\\My.Docs\\", "Report.doc", "C:\\My.Docs\\Report"},
        {"C:\\v1.2\\Old.Docs\\", "plain", "C:\\v1.2\\Old.Docs\\plain"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPcAdding::InitialEpocTarget(QString::fromUtf8(c.last), QString::fromUtf8(c.name)),
                  QString::fromUtf8(c.expected))
            << c.name;
}

// The store reads back 259 bytes of a text, and the engine copies paths of 261 bytes; "é"
// takes two bytes.
TEST_F(PcAddingTest, PathsTheStoreOrTheEngineCannotTakeAreRefusedBeforeAnyDialog) {
    CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 1);
    const QString e = QString::fromUtf8("\u00e9");
    struct Row {
        const char* name;
        QString folder;
        QString file;
        bool bindable;
    };
    const QString base = m_world.PcFolder();
    const auto folderOf = [&](qsizetype bytes) { return base + QString(bytes - base.size() - 1, u'd') + u'/'; };
    const Row rows[] = {
        {"folder of 259 bytes, two-byte name", folderOf(259), QStringLiteral("ab"), true},
        {"folder of 259 bytes, three-byte name", folderOf(259), QStringLiteral("abc"), false},
        {"folder and name fit the copy", folderOf(200), QString(61, u'n'), true},
        {"one byte over the copy's limit", folderOf(200), QString(62, u'n'), false},
        {"folder of 260 bytes", folderOf(260), QStringLiteral("a"), false},
        {"two-byte letters count twice", folderOf(200), e.repeated(31), false},
        {"two-byte letters that fit", folderOf(200), e.repeated(30), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IsBindablePcPath(row.folder, row.file), row.bindable);
        if (row.bindable)
            continue;
        CMessageBox::ClearShownTexts();
        CDialogRobot robot;
        EXPECT_FALSE(CPcAdding(*m_view).BindPcFile(row.folder + row.file));
        EXPECT_EQ(robot.warnings, 0);
        EXPECT_TRUE(ChooserInits().isEmpty());
        ASSERT_EQ(CMessageBox::ShownTexts().size(), 1);
        EXPECT_TRUE(CMessageBox::ShownTexts().first().startsWith(
            QStringLiteral("This PC file cannot be bound, its path is too long:\n") + row.folder + row.file));
    }
    EXPECT_EQ(Bindings(), 0);
}

TEST_F(PcAddingTest, BusyStoreAddsNoRowAndSaysSo) {
    CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 0);
    const QString file = m_world.Env().WriteFile(QStringLiteral("work/a.txt"), "x");
    {
        CStoreWriteHold hold(m_world.Env().RegistryPath());
        ASSERT_TRUE(hold.IsHeld());
        EXPECT_FALSE(CPcAdding(*m_view).BindPcFile(file));
    }
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{LoadManagerString(kIdsCannotStoreBinding)});
    EXPECT_EQ(Bindings(), 0);
    EXPECT_EQ(CountUserSubkeys(m_world.User(), QStringLiteral("DocSynchEntries")), 0);
}

// Ctrl+S right after adding must synchronize the binding just added, not the one selected before.
TEST_F(PcAddingTest, TheNewBindingBecomesTheSelection) {
    CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 0);
    m_world.Store(5, m_world.Binding(QStringLiteral("old.txt")));
    CDovetailManagerDoc doc;
    doc.OnNewDocument();
    CDovetailManagerView view(doc);
    view.OnInitialUpdate();
    view.SelectRow(0);
    ASSERT_EQ(view.SelectedEntry(), 5);
    const QString file = m_world.Env().WriteFile(QStringLiteral("work/new.txt"), "x");
    AnswerChooser(QStringLiteral("C:\\Documents\\New"));
    ASSERT_TRUE(CPcAdding(view).BindPcFile(file));
    EXPECT_EQ(view.SelectedRow(), 1);
    EXPECT_EQ(view.SelectedEntry(), 0);
}

TEST_F(PcAddingTest, ConversionListPrefersTheLastClassMatchAndOffersExtensionMatches) {
    RegWriteString(HKEY_CLASSES_ROOT, QStringLiteral(".DOC"), QString(), QStringLiteral("Word.Document.8"));
    RegWriteString(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\VEROZ\\PsiWin32\\Extensions\\RTF.Class"),
                   QStringLiteral("DefaultExtension"), QStringLiteral(".doc"));
    m_converterState->items = {
        {QStringLiteral("Word 97\nWord.Document.8"), QStringLiteral("EPOC Word\nA")},
        {QStringLiteral("Plain\nTXT.Class"), QStringLiteral("EPOC Text\nB")},
        {QStringLiteral("Rich Text\nRTF.Class"), QStringLiteral("EPOC Word\nC")},
        {QStringLiteral("word.document.8\nOther"), QStringLiteral("EPOC Sheet\nD")},
    };
    CDocSynchEntry record = m_doc.NewRecord();
    record.WinFileName = QStringLiteral("Report.DOC");
    const CConversionList list = BuildConversionList(record, &m_converters);
    ASSERT_EQ(list.pairs.size(), 3u);
    EXPECT_EQ(list.pairs[1].pcName, QStringLiteral("Rich Text"));
    EXPECT_EQ(list.defaultIndex, 2);
    EXPECT_TRUE(BuildConversionList(record, nullptr).pairs.empty());

    record.WinPath = QStringLiteral("/pc/");
    record.WinFileType = QStringLiteral("DOC File");
    CConversionChoiceDlg dialog(record, list);
    EXPECT_EQ(dialog.PcTypeBox()->currentText(), QStringLiteral("word.document.8"));
    EXPECT_EQ(dialog.EpocTypeBox()->currentText(), QStringLiteral("EPOC Sheet"));
    dialog.PcTypeBox()->setCurrentIndex(dialog.PcTypeBox()->findText(QStringLiteral("Rich Text")));
    EXPECT_EQ(dialog.EpocTypeBox()->count(), 1);
    EXPECT_EQ(dialog.EpocTypeBox()->currentText(), QStringLiteral("EPOC Word"));
    dialog.OnConvert();
    EXPECT_EQ(record.WinFileType, QStringLiteral("Rich Text"));
    EXPECT_EQ(record.EpocFileType, QStringLiteral("EPOC Word"));

    record.WinFileType = QStringLiteral("DOC File");
    CConversionChoiceDlg copy(record, list);
    copy.OnCopyOnly();
    EXPECT_EQ(record.EpocFileType, QStringLiteral("DOC File"));
}

TEST_F(PcAddingTest, WarningStoresItsCheckBoxOnEveryWayOut) {
    struct Case {
        bool keepWarning;
        bool pressContinue;
        int result;
    };
    for (const Case& c : {Case{true, true, 1}, Case{false, true, 1}, Case{false, false, 0}, Case{true, false, 0}}) {
        CWinBindingWarningDlg dialog;
        dialog.WarnAgainBox()->setChecked(c.keepWarning);
        CModalDriver driver;
        driver.Then([&](QWidget*) {
            if (c.pressContinue)
                dialog.findChild<QPushButton*>(QStringLiteral("1029"))->click();
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        EXPECT_EQ(dialog.exec(), c.result);
        EXPECT_EQ(CWinBindingWarningDlg::IsWanted(), c.keepWarning);
    }
    std::vector<uint32_t> opened;
    SetHelpOpener([&](QWidget*, const QString&, uint32_t context) {
        opened.push_back(context);
        return true;
    });
    CWinBindingWarningDlg dialog;
    CModalDriver driver;
    driver.Then([&](QWidget*) {
        QTest::keyClick(&dialog, Qt::Key_F1);
        dialog.reject();
    });
    dialog.exec();
    EXPECT_EQ(opened, std::vector<uint32_t>{0x20090});
    SetHelpOpener({});
}

TEST_F(PcAddingTest, AddPcFileThroughTheDialogsStoresAPlainCopy) {
    const QString file = m_world.Env().WriteFile(QStringLiteral("work/Report.doc"), QByteArray(42, 'r'));
    CDialogRobot robot;
    robot.onFileDialog = [&](QFileDialog& dialog) { TypeNamesAndAccept(dialog, file); };
    CPcAdding(*m_view).OnAddPcFile();
    EXPECT_EQ(robot.warnings, 1);
    EXPECT_EQ(robot.choices, 0);
    ASSERT_EQ(Bindings(), 1);
    CDocSynchEntry record = m_doc.NewRecord();
    m_doc.ReadEntry(m_view->Model()->EntryAt(0), record);
    EXPECT_EQ(record.WinFileName, QStringLiteral("Report.doc"));
    EXPECT_EQ(record.WinPath, m_world.Env().Root() + QStringLiteral("/work/"));
    EXPECT_EQ(record.EpocPath, QStringLiteral("C:\\Documents\\"));
    EXPECT_EQ(record.EpocFileName, QStringLiteral("Report"));
    EXPECT_EQ(record.FileSize, 42u);
    EXPECT_EQ(record.WinFileType, QStringLiteral("DOC File"));
    EXPECT_EQ(record.EpocFileType, record.WinFileType);
    EXPECT_EQ(Setting(QStringLiteral("Last Windows Path")), m_world.Env().Root() + QStringLiteral("/work"));
    EXPECT_EQ(Setting(QStringLiteral("Last Epoc Path")), QStringLiteral("C:\\Documents\\"));
    const QStringList inits = ChooserInits();
    ASSERT_EQ(inits.size(), 1);
    const QStringList fields = inits.first().split(QLatin1Char('\t'));
    ASSERT_GE(fields.size(), 4);
    EXPECT_EQ(fields[1], QStringLiteral("Select EPOC target for Report.doc"));
    EXPECT_EQ(fields[3], QStringLiteral("C:\\Report"));
}

TEST_F(PcAddingTest, FileDialogStartsInThePcFolderAndNamesItsFilter) {
    QString startFolder;
    QStringList shownNames;
    CDialogRobot robot;
    robot.onFileDialog = [&](QFileDialog& dialog) {
        startFolder = dialog.directory().absolutePath();
        if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < combo->count(); ++i)
                shownNames << combo->itemText(i);
        }
        dialog.reject();
    };
    CPcAdding(*m_view).OnAddPcFile();
    EXPECT_EQ(startFolder, m_world.PcFolder().chopped(1));
    EXPECT_EQ(shownNames, QStringList{QStringLiteral("All files")});
}

TEST_F(PcAddingTest, WarningPerFileUntilClearedAndManySelectedFiles) {
    AnswerChooser(QString());  // cancel: only the warnings and chooser starts count
    QStringList files;
    // Far more than one 260-character path buffer holds.
    for (int i = 0; i < 40; ++i)
        files << m_world.Env().WriteFile(QStringLiteral("many/a_rather_long_file_name_number_%1.txt").arg(i), "x");
    for (bool clearAtFirst : {false, true}) {
        SCOPED_TRACE(clearAtFirst ? "cleared" : "kept");
        CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 1);
        QFile::remove(m_chooserLog);
        CDialogRobot robot;
        robot.onFileDialog = [&](QFileDialog& dialog) {
            QString names;
            for (int i = 0; i < 3; ++i)
                names += QStringLiteral("\"%1\" ").arg(QFileInfo(files[i]).fileName());
            dialog.setDirectory(QFileInfo(files[0]).absolutePath());
            TypeNamesAndAccept(dialog, names.trimmed());
        };
        robot.onWarning = [&](CWinBindingWarningDlg& dialog) {
            if (clearAtFirst)
                dialog.WarnAgainBox()->setChecked(false);
            dialog.done(1);
        };
        CPcAdding(*m_view).OnAddPcFile();
        EXPECT_EQ(robot.warnings, clearAtFirst ? 1 : 3);
        EXPECT_EQ(ChooserInits().size(), 3);
        EXPECT_EQ(Bindings(), 0);
    }
    EXPECT_EQ(Setting(QStringLiteral("Last Windows Path")), m_world.Env().Root() + QStringLiteral("/many"));

    // All forty at once reach the binding step.
    QFile::remove(m_chooserLog);
    CDialogRobot robot;
    robot.onFileDialog = [&](QFileDialog& dialog) {
        QString names;
        for (const QString& f : files)
            names += QStringLiteral("\"%1\" ").arg(QFileInfo(f).fileName());
        dialog.setDirectory(QFileInfo(files[0]).absolutePath());
        TypeNamesAndAccept(dialog, names.trimmed());
    };
    CPcAdding(*m_view).OnAddPcFile();
    EXPECT_EQ(ChooserInits().size(), 40);
}

TEST_F(PcAddingTest, DropsAskFromEightAndSkipFolders) {
    AnswerChooser(QString());
    CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 0);
    QStringList files;
    for (int i = 0; i < 8; ++i)
        files << m_world.Env().WriteFile(QStringLiteral("drop/f%1.txt").arg(i), "x");
    const QString question = QStringLiteral("WARNING\nYou are about to create 8 bindings.\nDo you wish to continue ?");

    CPcAdding(*m_view).OnDropFiles(files.mid(0, 7));
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
    EXPECT_EQ(ChooserInits().size(), 7);

    QFile::remove(m_chooserLog);
    CMessageBox::SetNextAnswer(QMessageBox::No);
    CPcAdding(*m_view).OnDropFiles(files);
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{question});
    EXPECT_TRUE(ChooserInits().isEmpty());

    CMessageBox::ClearShownTexts();
    AnswerChooser(QStringLiteral("C:\\Documents\\f0"));
    const QString folder = m_world.Env().MakeDir(QStringLiteral("drop/sub"));
    CPcAdding(*m_view).OnDropFiles({folder, files[0], folder});
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{QStringLiteral("Cannot insert whole folder")});
    EXPECT_EQ(Bindings(), 1);
}

TEST_F(PcAddingTest, MissingChooserAbandonsTheBindingWithAMessage) {
    CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 0);
    QFile::remove(m_world.Env().Root() + QStringLiteral("/psiwin/ecfile.ocx"));
    const QString file = m_world.Env().WriteFile(QStringLiteral("work/a.txt"), "x");
    EXPECT_FALSE(CPcAdding(*m_view).BindPcFile(file));
    ASSERT_EQ(CMessageBox::ShownTexts().size(), 1);
    EXPECT_TRUE(
        CMessageBox::ShownTexts().first().startsWith(QStringLiteral("The EPOC file chooser could not be loaded")));
    EXPECT_EQ(Bindings(), 0);
}

TEST_F(PcAddingTest, ConvertedBindingKeepsTheChosenTypes) {
    CAppProfile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 0);
    RegWriteString(HKEY_CLASSES_ROOT, QStringLiteral(".doc"), QString(), QStringLiteral("Word.Document.8"));
    m_converterState->items = {{QStringLiteral("Word 97\nWord.Document.8"), QStringLiteral("EPOC Word\nA")}};
    const QString file = m_world.Env().WriteFile(QStringLiteral("work/Report.doc"), "x");
    for (bool cancel : {true, false}) {
        CDialogRobot robot;
        if (cancel)
            robot.onChoice = [](CConversionChoiceDlg& d) { d.reject(); };
        EXPECT_EQ(CPcAdding(*m_view).BindPcFile(file), !cancel);
        EXPECT_EQ(robot.choices, 1);
    }
    ASSERT_EQ(Bindings(), 1);
    CDocSynchEntry record = m_doc.NewRecord();
    m_doc.ReadEntry(m_view->Model()->EntryAt(0), record);
    EXPECT_EQ(record.WinFileType, QStringLiteral("Word 97"));
    EXPECT_EQ(record.EpocFileType, QStringLiteral("EPOC Word"));
}

TEST_F(PcAddingTest, FileOverTwoGibibytesStoresTheLargestSize) {
    const QString file = m_world.Env().WriteFile(QStringLiteral("work/huge.bin"), "x");
    ASSERT_TRUE(QFile::resize(file, qint64(3) << 30));  // sparse: no disk space taken
    CDialogRobot robot;
    ASSERT_TRUE(CPcAdding(*m_view).BindPcFile(file));
    uint32_t stored = 0;
    ASSERT_TRUE(RegReadNumber(
        HKEY_CURRENT_USER,
        QStringLiteral("Software\\Veroz\\Users\\Alice\\DocSynchEntries\\%1").arg(m_view->Model()->EntryAt(0)),
        QStringLiteral("FileSize"), stored));
    EXPECT_EQ(stored, 0x7FFFFFFFu);
    // Stored held at the 32-bit limit, shown whole.
    EXPECT_EQ(m_doc.GetEntryText(m_view->Model()->EntryAt(0), int(BindingColumn::Size)),
              QStringLiteral("3221225472 bytes"));
}

TEST(ManagerConvertersTest, CreatedAgainAfterAFailedAttempt) {
    CManagerWorld world;
    const QString workingFolder = QDir::currentPath();
    UseSuiteConverters();
    // No control file yet: no converters, and nothing remembered of the failure.
    EXPECT_EQ(ManagerConverters(), nullptr);
    const QString control = world.Env().WriteFile(QStringLiteral("psiwin/Convert.ini"),
                                                  "[EPOC Text to Text]\nSourceName=EPOC Text\nTargetName=Text "
                                                  "Document\nTargetExtension=.txt\nBuiltin=epoc-to-text\n");
    RegWriteString(HKEY_LOCAL_MACHINE, QStringLiteral("Software\\Veroz\\PsiWin32"), QStringLiteral("Control File"),
                   control);
    IConverterInterface* converters = ManagerConverters();
    ASSERT_NE(converters, nullptr);
    EXPECT_EQ(converters->Count(), 1);
    EXPECT_EQ(ManagerConverters(), converters) << "kept once created";
    UseSuiteConverters();
    QDir::setCurrent(workingFolder);
}
}  // namespace
