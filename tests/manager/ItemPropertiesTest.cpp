// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/ItemProperties.h"

#include "common/Clock.h"
#include "manager/BindingListModel.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerView.h"
#include "manager/ManagerHelp.h"
#include "manager/MessageBox.h"
#include "manager/TypeLists.h"
#include "manager/properties/EpocFilePropertyPage.h"
#include "manager/properties/PropertySheet.h"
#include "manager/properties/SyncRulesPropertyPage.h"
#include "manager/properties/WinFilePropertyPage.h"
#include "platform/converter/ConverterInterface.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/support/FakeConverter.h"
#include "tests/manager/ModalDriver.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/StoreBusy.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {
template <class T>
T* Control(QWidget* parent, int id) {
    return parent->findChild<T*>(QString::number(id));
}

CPropertySheet* Sheet(QWidget* modal) {
    auto* sheet = qobject_cast<CPropertySheet*>(modal);
    EXPECT_NE(sheet, nullptr);
    return sheet;
}

void ClickOk(CPropertySheet* sheet) {
    Control<QPushButton>(sheet, 1)->click();
}

// Picks an entry of a type box as the user does (activation, not a programmatic selection).
void PickType(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QStringList Entries(const QComboBox* box) {
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

class ItemPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Ok);
        RegWriteString(HKEY_CLASSES_ROOT, QStringLiteral(".doc"), QString(), QStringLiteral("Word.Document.8"));
        m_converterState->items = {
            {QStringLiteral("Word 97\nWord.Document.8"), QStringLiteral("EPOC Word\nEpocWord")},
            {QStringLiteral("Rich Text\nRTF.Class"), QStringLiteral("EPOC Word\nEpocWord")},
            {QStringLiteral("Word 97\nWord.Document.8"), QStringLiteral("EPOC Text\nEpocText")},
            {QStringLiteral("EPOC Sheet\nEpocSheet"), QStringLiteral("Excel\nExcel.Sheet")},
            {QStringLiteral("EPOC Sheet\nEpocSheet"), QStringLiteral("Comma Separated\nCSV")},
        };
        m_doc.OnNewDocument();
    }
    void TearDown() override { CMessageBox::SetAutoAnswer(QMessageBox::NoButton); }

    // Stores a binding of report.doc as entry 0.
    CDocSynchEntry StoreReport(const QString& winType, const QString& epocType) {
        CDocSynchEntry record = m_world.Binding(QStringLiteral("report.doc"), 1234);
        record.WinFileType = winType;
        record.EpocFileType = epocType;
        record.CopyRule = kCopyPcToDevice;
        record.LastSyncTimeStamp = 1000;
        record.FileSize = 1234;  // as the opening read refreshes it
        m_world.Store(0, record);
        return record;
    }
    // Every stored value of entry 0, names and values.
    QStringList Snapshot() const {
        QStringList values;
        CRegistry& registry = CRegistry::Default();
        int count = 0;
        registry.CountValues(RegRoot::CurrentUser, m_world.EntryKey(0), count);
        for (int i = 0; i < count; ++i) {
            RegValue value;
            registry.EnumValue(RegRoot::CurrentUser, m_world.EntryKey(0), i, value);
            values << value.name + QLatin1Char('=') + QString::fromLatin1(value.data.toHex());
        }
        return values;
    }
    CDocSynchEntry Stored() {
        CDocSynchEntry record;
        ReadDocSynchEntry(m_world.User(), 0, record, ReadMode::Strict);
        return record;
    }
    bool Edit() { return EditBindingProperties(nullptr, m_doc, 0, &m_converters); }

    CManagerWorld m_world;
    CRecordingShell m_shell;
    std::shared_ptr<CFakeConverterState> m_converterState = std::make_shared<CFakeConverterState>();
    CFakeConverterRoot m_converters{m_converterState};
    CDovetailManagerDoc m_doc;
    CModalDriver m_driver;
};
}  // namespace

TEST_F(ItemPropertiesTest, TypeListsFollowTheConverters) {
    struct Case {
        const char* name;
        const char* winFile;
        const char* winType;
        const char* epocType;
        QStringList pcEntries;
        const char* pcSelected;
        bool enabled;
        QStringList epocEntries;
        const char* epocSelected;
    };
    const QString none = QStringLiteral("No conversion");
    const Case cases[] = {
        {"equal types, case ignored, are a plain copy",
         "report.doc",
         "Word 97",
         "word 97",
         {none},
         "No conversion",
         false,
         {none},
         "No conversion"},
        {"class name: source names, the EPOC type as a further entry",
         "report.doc",
         "Word 97",
         "EPOC Word",
         {QStringLiteral("Word 97"), QStringLiteral("EPOC Word")},
         "Word 97",
         true,
         {QStringLiteral("EPOC Word"), QStringLiteral("EPOC Text")},
         "EPOC Word"},
        {"no converter for the PC file: targets of converters from the EPOC type",
         "book.xyz",
         "XYZ File",
         "EPOC Sheet",
         {QStringLiteral("Excel"), QStringLiteral("Comma Separated"), QStringLiteral("EPOC Sheet")},
         "",
         true,
         {QStringLiteral("EPOC Sheet")},
         "EPOC Sheet"},
        {"unknown class: the EPOC page matches the PC type name instead",
         "notes",
         "Rich Text",
         "Palm Text",
         {QStringLiteral("Rich Text")},
         "Rich Text",
         true,
         {QStringLiteral("EPOC Word")},
         ""},
        {"nothing applies: each side's own type",
         "photo.png",
         "PNG File",
         "Sketch",
         {QStringLiteral("PNG File")},
         "PNG File",
         true,
         {QStringLiteral("Sketch")},
         "Sketch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDocSynchEntry record;
        record.WinFileName = QString::fromUtf8(c.winFile);
        record.WinFileType = QString::fromUtf8(c.winType);
        record.EpocFileType = QString::fromUtf8(c.epocType);
        const CTypeList pc = BuildPcTypeList(record, &m_converters);
        EXPECT_EQ(pc.entries, c.pcEntries);
        EXPECT_EQ(pc.selected, QString::fromUtf8(c.pcSelected));
        EXPECT_EQ(pc.enabled, c.enabled);
        const CTypeList epoc = BuildEpocTypeList(record, &m_converters);
        EXPECT_EQ(epoc.entries, c.epocEntries);
        EXPECT_EQ(epoc.selected, QString::fromUtf8(c.epocSelected));
        EXPECT_EQ(epoc.enabled, c.enabled);
    }
    // Without the converter object nothing can be converted.
    CDocSynchEntry record;
    record.WinFileName = QStringLiteral("report.doc");
    record.WinFileType = QStringLiteral("Word 97");
    record.EpocFileType = QStringLiteral("EPOC Word");
    EXPECT_FALSE(BuildPcTypeList(record, nullptr).enabled);
    EXPECT_EQ(BuildEpocTypeList(record, nullptr).entries, QStringList{none});
}

TEST_F(ItemPropertiesTest, SuiteDefaultExtensionMatchesAnyLetterCase) {
    RegWriteString(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\VEROZ\\PsiWin32\\Extensions\\RTF.Class"),
                   QStringLiteral("DefaultExtension"), QStringLiteral(".rtf"));
    CDocSynchEntry record;
    record.WinFileName = QStringLiteral("LETTER.RTF");  // no class registered for .RTF
    record.WinFileType = QStringLiteral("RTF File");
    record.EpocFileType = QStringLiteral("EPOC Word");
    EXPECT_EQ(BuildPcTypeList(record, &m_converters).entries,
              (QStringList{QStringLiteral("Rich Text"), QStringLiteral("EPOC Word")}));
    EXPECT_EQ(BuildEpocTypeList(record, &m_converters).entries, QStringList{QStringLiteral("EPOC Word")});
}

TEST_F(ItemPropertiesTest, EqualTypesShowNoConversionGreyedOnBothPages) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("Word 97"));
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        for (int page = 1; page <= 2; ++page) {
            sheet->SetActivePage(page);
            auto* box = Control<QComboBox>(sheet->Page(page), CFilePropertyPage::kIdType);
            EXPECT_EQ(Entries(box), QStringList{QStringLiteral("No conversion")});
            EXPECT_EQ(box->currentText(), QStringLiteral("No conversion"));
            EXPECT_FALSE(box->isEnabled());
        }
        sheet->reject();
    });
    EXPECT_FALSE(Edit());
}

TEST_F(ItemPropertiesTest, PagesShowTheBindingAndOpenOnlyWhenShown) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    m_driver.Then([this](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Item properties"));
        const QStringList tabs = {sheet->TabWidget()->tabText(0), sheet->TabWidget()->tabText(1),
                                  sheet->TabWidget()->tabText(2)};
        EXPECT_EQ(tabs, (QStringList{QStringLiteral("Synchronization Rules"), QStringLiteral("Windows File"),
                                     QStringLiteral("EPOC File")}));
        EXPECT_TRUE(sheet->Page(0)->IsOpened());
        EXPECT_FALSE(sheet->Page(1)->IsOpened());
        sheet->SetActivePage(1);
        QWidget* win = sheet->Page(1);
        EXPECT_EQ(Control<QLineEdit>(win, 1000)->text(), QStringLiteral("report.doc"));
        EXPECT_EQ(Control<QLineEdit>(win, 1001)->text(), m_world.PcFolder());
        EXPECT_EQ(Control<QLabel>(win, 1003)->text(), QStringLiteral("1234 bytes"));
        auto* pcBox = Control<QComboBox>(win, 1002);
        // Sorted as a sorted box keeps them.
        EXPECT_EQ(Entries(pcBox), (QStringList{QStringLiteral("EPOC Word"), QStringLiteral("Word 97")}));
        EXPECT_EQ(pcBox->currentText(), QStringLiteral("Word 97"));
        sheet->SetActivePage(2);
        QWidget* epoc = sheet->Page(2);
        EXPECT_EQ(Control<QLineEdit>(epoc, 1000)->text(), QStringLiteral("report.doc"));
        EXPECT_EQ(Control<QLineEdit>(epoc, 1001)->text(), QStringLiteral("C:\\Documents\\"));
        EXPECT_EQ(Control<QComboBox>(epoc, 1002)->currentText(), QStringLiteral("EPOC Word"));
        sheet->reject();
    });
    EXPECT_FALSE(Edit());
    EXPECT_EQ(m_driver.Pending(), 0u);
}

TEST_F(ItemPropertiesTest, RulesRoundTripAndOnlyChosenTypesChange) {
    StoreReport(QStringLiteral("Word"), QStringLiteral("EPOC Word"));
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        QWidget* rules = sheet->Page(0);
        EXPECT_TRUE(Control<QRadioButton>(rules, CSyncRulesPropertyPage::kIdPcToDevice)->isChecked());
        EXPECT_FALSE(Control<QRadioButton>(rules, CSyncRulesPropertyPage::kIdNewest)->isChecked());
        Control<QRadioButton>(rules, CSyncRulesPropertyPage::kIdNewest)->click();
        Control<QCheckBox>(rules, CSyncRulesPropertyPage::kIdKeepCopy)->click();
        // "Word" is not in the list: the box shows its first entry, which is not a choice.
        sheet->SetActivePage(1);
        EXPECT_EQ(Control<QComboBox>(sheet->Page(1), 1002)->currentText(), QStringLiteral("EPOC Word"));
        sheet->SetActivePage(2);
        PickType(Control<QComboBox>(sheet->Page(2), 1002), QStringLiteral("EPOC Text"));
        ClickOk(sheet);
    });
    ASSERT_TRUE(Edit());
    const CDocSynchEntry stored = Stored();
    EXPECT_EQ(stored.CopyRule, kCopyNewest);
    EXPECT_TRUE(stored.KeepCopy);
    EXPECT_EQ(stored.WinFileType, QStringLiteral("Word"));
    EXPECT_EQ(stored.EpocFileType, QStringLiteral("EPOC Text"));
    EXPECT_EQ(stored.LastSyncTimeStamp, 1000u);
}

TEST_F(ItemPropertiesTest, RuleOutsideTheThreeChecksNoDirectionAndIsKept) {
    CDocSynchEntry record = StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    record.CopyRule = 7;
    m_world.Store(0, record);
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        for (int id : {1013, 1014, 1015})
            EXPECT_FALSE(Control<QRadioButton>(sheet->Page(0), id)->isChecked()) << id;
        ClickOk(sheet);
    });
    ASSERT_TRUE(Edit());
    EXPECT_EQ(Stored().CopyRule, 7);
}

TEST_F(ItemPropertiesTest, TabReadsThePageThenTheButtonsAndEntersTheDirectionAtTheChoice) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));  // PC to MC 218, the middle choice
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        QApplication::setActiveWindow(sheet);
        const auto focusName = [] {
            QWidget* focus = QApplication::focusWidget();
            if (!focus)
                return QStringLiteral("none");
            return qobject_cast<QTabBar*>(focus) ? QStringLiteral("tabs") : focus->objectName();
        };
        const auto press = [&](Qt::KeyboardModifiers modifiers) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
            return focusName();
        };
        sheet->TabWidget()->tabBar()->setFocus(Qt::OtherFocusReason);
        QStringList forward;
        for (int i = 0; i < 7; ++i)
            forward << press(Qt::NoModifier);
        const auto id = [](int n) { return QString::number(n); };
        EXPECT_EQ(
            forward,
            (QStringList{id(CSyncRulesPropertyPage::kIdPcToDevice), id(CSyncRulesPropertyPage::kIdPrompt24Hrs),
                         id(CSyncRulesPropertyPage::kIdPromptBothChanged), id(CSyncRulesPropertyPage::kIdKeepCopy),
                         QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("tabs")}));
        // Backwards into the choices as well, and nothing was changed on the way.
        Control<QCheckBox>(sheet->Page(0), CSyncRulesPropertyPage::kIdPrompt24Hrs)->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(press(Qt::ShiftModifier), id(CSyncRulesPropertyPage::kIdPcToDevice));
        EXPECT_TRUE(Control<QRadioButton>(sheet->Page(0), CSyncRulesPropertyPage::kIdPcToDevice)->isChecked());
        sheet->reject();
    });
    EXPECT_FALSE(Edit());
}

TEST_F(ItemPropertiesTest, CancelAfterChangesLeavesTheEntryUntouched) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    const QStringList before = Snapshot();
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        Control<QRadioButton>(sheet->Page(0), CSyncRulesPropertyPage::kIdDeviceToPc)->click();
        sheet->SetActivePage(1);
        PickType(Control<QComboBox>(sheet->Page(1), 1002), QStringLiteral("EPOC Word"));
        sheet->SetActivePage(2);
        PickType(Control<QComboBox>(sheet->Page(2), 1002), QStringLiteral("EPOC Text"));
        Control<QPushButton>(sheet, 2)->click();
    });
    EXPECT_FALSE(Edit());
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(ItemPropertiesTest, SynchronizationWhileTheSheetIsOpenIsKept) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    CClock::SetTestClock([] { return QDateTime::fromSecsSinceEpoch(2000000000, Qt::UTC); });
    m_driver.Then([this](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        // The synchronizer marks the binding as a run ends.
        MarkSynchronized(m_world.User(), 0);
        Control<QCheckBox>(sheet->Page(0), CSyncRulesPropertyPage::kIdPrompt24Hrs)->click();
        ClickOk(sheet);
    });
    const bool edited = Edit();
    CClock::ResetTestClock();
    ASSERT_TRUE(edited);
    const CDocSynchEntry stored = Stored();
    EXPECT_TRUE(stored.WasUpdated);
    EXPECT_EQ(stored.LastSyncTimeStamp, 2000000003u);
    EXPECT_TRUE(stored.Prompt24Hrs);
    EXPECT_EQ(stored.CopyRule, kCopyPcToDevice);
}

TEST(ModifyPcFileNameTest, KeepsTheOldExtensionInUpperCase) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"summary", "report.doc", "summary.DOC"},
        {"summary.doc", "report.doc", "summary.doc"},
        {"summary.DOC", "report.doc", "summary.DOC"},
        {"summary", "notes", "summary"},
        {"summary.txt", "archive.tar.gz", "summary.txt.GZ"},
    };
    for (const auto& [chosen, old, expected] : cases)
        EXPECT_EQ(CWinFilePropertyPage::NameWithOldExtension(QString::fromUtf8(chosen), QString::fromUtf8(old)),
                  QString::fromUtf8(expected))
            << chosen << " for " << old;
}

TEST_F(ItemPropertiesTest, ModifyChoosesAnotherPcFileThroughTheSaveDialog) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    const QString other = m_world.Env().MakeDir(QStringLiteral("other")) + QLatin1Char('/');
    m_world.Env().WriteFile(QStringLiteral("other/summary.DOC"), QByteArray(77, 'y'));
    QString title, proposed;
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        sheet->SetActivePage(1);
        Control<QPushButton>(sheet->Page(1), CFilePropertyPage::kIdModify)->click();
        EXPECT_EQ(Control<QLineEdit>(sheet->Page(1), 1000)->text(), QStringLiteral("summary.DOC"));
        EXPECT_EQ(Control<QLabel>(sheet->Page(1), 1003)->text(), QStringLiteral("77 bytes"));
        ClickOk(sheet);
    });
    m_driver.Then([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        proposed = dialog->selectedFiles().value(0);
        dialog->setDirectory(other);
        // Typed as the user does (selectFile leaves a focused name field alone).
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("summary"));
        static_cast<QDialog*>(dialog)->accept();
    });
    ASSERT_TRUE(Edit());
    EXPECT_EQ(title, QStringLiteral("Select PC target for report.doc"));
    EXPECT_EQ(proposed, m_world.PcFolder() + QStringLiteral("report.doc"));
    const CDocSynchEntry stored = Stored();
    EXPECT_EQ(stored.WinFileName, QStringLiteral("summary.DOC"));
    EXPECT_EQ(stored.WinPath, other);
    EXPECT_EQ(stored.FileSize, 77);
    EXPECT_EQ(stored.WinFileType, QStringLiteral("Word 97"));
}

TEST_F(ItemPropertiesTest, ModifyChoosesAnotherEpocFileThroughTheChooser) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    QFile::copy(BinDir() + QStringLiteral("/ecfile.ocx"), m_world.Env().Root() + QStringLiteral("/psiwin/ecfile.ocx"));
    const QString log = m_world.Env().Root() + QStringLiteral("/chooser.log");
    m_world.Env().SetEnv("DOVETAIL_TEST_CHOOSER_LOG", log);
    m_world.Env().SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", QStringLiteral("C:\\Letters\\Summary"));
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        sheet->SetActivePage(2);
        Control<QPushButton>(sheet->Page(2), CFilePropertyPage::kIdModify)->click();
        EXPECT_EQ(Control<QLineEdit>(sheet->Page(2), 1001)->text(), QStringLiteral("C:\\Letters\\"));
        ClickOk(sheet);
    });
    ASSERT_TRUE(Edit());
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()).trimmed(),
              QStringLiteral("0\tSelect EPOC target for report.doc\tOK\tC:\\Documents\\report.doc\t1"));
    const CDocSynchEntry stored = Stored();
    EXPECT_EQ(stored.EpocPath, QStringLiteral("C:\\Letters\\"));
    EXPECT_EQ(stored.EpocFileName, QStringLiteral("Summary"));
    // The chosen file has no registered type: the binding keeps its own.
    EXPECT_EQ(stored.EpocFileType, QStringLiteral("EPOC Word"));
    EXPECT_EQ(stored.WinFileName, QStringLiteral("report.doc"));
}

TEST_F(ItemPropertiesTest, OkOnABusyStoreSaysSoAndKeepsTheSheetOpen) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    const QStringList before = Snapshot();
    std::unique_ptr<CStoreWriteHold> hold = std::make_unique<CStoreWriteHold>(m_world.Env().RegistryPath());
    ASSERT_TRUE(hold->IsHeld());
    m_driver.Then([&](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        Control<QCheckBox>(sheet->Page(0), CSyncRulesPropertyPage::kIdKeepCopy)->click();
        ClickOk(sheet);
        EXPECT_TRUE(sheet->isVisible()) << "the edits are still there to store";
        EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{LoadManagerString(kIdsCannotSaveProperties)});
        EXPECT_EQ(Snapshot(), before);
        hold.reset();
        ClickOk(sheet);
    });
    ASSERT_TRUE(Edit());
    EXPECT_TRUE(Stored().KeepCopy);
}

TEST_F(ItemPropertiesTest, ModifyRefusesAPathTooLongToSynchronize) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    const QString longName = QString(262 - m_world.PcFolder().size(), u'n');
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        sheet->SetActivePage(1);
        Control<QPushButton>(sheet->Page(1), CFilePropertyPage::kIdModify)->click();
        EXPECT_EQ(Control<QLineEdit>(sheet->Page(1), 1000)->text(), QStringLiteral("report.doc"));
        ClickOk(sheet);
    });
    m_driver.Then([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(longName);
        static_cast<QDialog*>(dialog)->accept();
    });
    ASSERT_TRUE(Edit());
    ASSERT_EQ(CMessageBox::ShownTexts().size(), 1);
    EXPECT_TRUE(CMessageBox::ShownTexts().first().startsWith(QStringLiteral("This PC file cannot be bound")));
    EXPECT_EQ(Stored().WinFileName, QStringLiteral("report.doc"));
}

// A sparse file: the size without the data.
TEST_F(ItemPropertiesTest, SizeBeyondFourGigabytesShowsWholeAndIsStoredHeldAt32Bits) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    const qint64 huge = 4194304000;
    QFile file(m_world.PcFolder() + QStringLiteral("report.doc"));
    ASSERT_TRUE(file.resize(huge));
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        sheet->SetActivePage(1);
        EXPECT_EQ(Control<QLabel>(sheet->Page(1), 1003)->text(), QStringLiteral("4194304000 bytes"));
        ClickOk(sheet);
    });
    ASSERT_TRUE(Edit());
    EXPECT_EQ(m_world.Number(0, QStringLiteral("FileSize")), 2147483647u);
}

TEST_F(ItemPropertiesTest, F1OpensTheHelpOfThePageShown) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    std::vector<uint32_t> contexts;
    SetHelpOpener([&](QWidget*, const QString&, uint32_t context) {
        contexts.push_back(context);
        return true;
    });
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        for (int page = 0; page < 3; ++page) {
            sheet->SetActivePage(page);
            QTest::keyClick(sheet, Qt::Key_F1);
        }
        sheet->reject();
    });
    EXPECT_FALSE(Edit());
    SetHelpOpener({});
    EXPECT_EQ(contexts, (std::vector<uint32_t>{0x20085, 0x20082, 0x20084}));
}

TEST_F(ItemPropertiesTest, PropertiesCommandActsOnTheSelectedRow) {
    StoreReport(QStringLiteral("Word 97"), QStringLiteral("EPOC Word"));
    SetManagerConverters(&m_converters);
    CDovetailManagerView view(m_doc);
    view.OnInitialUpdate();
    ASSERT_EQ(view.ItemCount(), 1);
    view.clearSelection();
    ASSERT_LT(view.SelectedRow(), 0);
    OnItemProperties(view);  // no row: nothing shows
    view.SelectRow(0);
    m_driver.Then([](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        Control<QRadioButton>(sheet->Page(0), CSyncRulesPropertyPage::kIdDeviceToPc)->click();
        ClickOk(sheet);
    });
    OnItemProperties(view);
    SetManagerConverters(nullptr);
    EXPECT_EQ(m_driver.Pending(), 0u);
    EXPECT_EQ(Stored().CopyRule, kCopyDeviceToPc);
}

// With the keyboard alone: the Versions tab lists the kept copy, its Restore puts it back
// (keeping the present content as the newest version) and its Open hands a copy to the desktop.
TEST_F(ItemPropertiesTest, VersionsRestoreAndOpenWithTheKeyboard) {
    CDocSynchEntry record = m_world.Binding(QStringLiteral("report.doc"), -1);
    m_world.Store(0, record);
    const QString document = m_world.Env().WriteFile(QStringLiteral("pc/report.doc"), "present");
    const QString kept = m_world.Env().WriteFile(
        QStringLiteral("pc/Alice/Dovetail/report (MC 218, binding 0, 2026-01-02 10.00.00).doc"), "kept");
    const auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QStringList focus;
    int rowsAfterRestore = 0;
    m_driver.Then([&](QWidget* modal) {
        CPropertySheet* sheet = Sheet(modal);
        QApplication::setActiveWindow(sheet);
        const auto press = [&](Qt::Key key) {
            QWidget* target = QApplication::focusWidget();
            QTest::keyClick(target ? target : sheet, key);
            QWidget* now = QApplication::focusWidget();
            focus << (now ? now->objectName() : QStringLiteral("none"));
        };
        sheet->TabWidget()->tabBar()->setFocus(Qt::OtherFocusReason);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(sheet->TabWidget()->tabBar(), Qt::Key_Right);
        auto* list = sheet->findChild<QTreeWidget*>(QStringLiteral("VersionList"));
        if (sheet->TabWidget()->currentIndex() == 3 && list && list->topLevelItemCount() == 1) {
            CMessageBox::SetNextAnswer(QMessageBox::Yes);
            press(Qt::Key_Tab);    // the list
            press(Qt::Key_Tab);    // Restore
            press(Qt::Key_Space);  // back on the list
            rowsAfterRestore = list->topLevelItemCount();
            press(Qt::Key_Down);
            press(Qt::Key_Tab);  // Restore
            press(Qt::Key_Tab);  // Open
            press(Qt::Key_Space);
        }
        sheet->reject();
    });
    EXPECT_FALSE(Edit());
    EXPECT_EQ(focus, (QStringList{QStringLiteral("VersionList"), QStringLiteral("Restore"),
                                  QStringLiteral("VersionList"), QStringLiteral("VersionList"),
                                  QStringLiteral("Restore"), QStringLiteral("Open"), QStringLiteral("Open")}));
    EXPECT_EQ(rowsAfterRestore, 2) << "what was there is kept as the newest version";
    ASSERT_EQ(m_shell.m_requests.size(), 1u);
    EXPECT_EQ(m_shell.m_requests[0].path, kept);
    EXPECT_EQ(read(document), "kept") << "a restore stays whatever the sheet ends with";
}
