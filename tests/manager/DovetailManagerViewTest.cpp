// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerView.h"

#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/CommandTable.h"
#include "manager/ListCommands.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "manager/adding/AddingFlow.h"
#include "manager/connection/ConnectionFlow.h"
#include "manager/properties/PropertyCommands.h"
#include "platform/registry/Registry.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/StoreBusy.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {
// The list's commands as the program wires them, without the handheld.
class CListWithCommands {
public:
    explicit CListWithCommands(CDovetailManagerView& view) : m_adding(view, nullptr) {
        AddListCommands(m_table, view);
        AddSynchronizeCommands(m_table, view);
        m_adding.AddCommands(m_table);
        AddItemPropertiesCommand(m_table, view);
    }
    CCommandTable& Table() { return m_table; }

private:
    CAddingFlow m_adding;
    CCommandTable m_table;
};

// The desktop's click setting, as the style reports it.
class CClickStyle : public QProxyStyle {
public:
    explicit CClickStyle(bool singleClick) : m_singleClick(singleClick) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ItemView_ActivateItemOnSingleClick)
            return m_singleClick ? 1 : 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    bool m_singleClick;
};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        // A box nobody answers would block the test.
        CMessageBox::SetAutoAnswer(QMessageBox::Ok);
        m_doc.OnNewDocument();
    }
    void TearDown() override { CMessageBox::SetAutoAnswer(QMessageBox::NoButton); }
    // Stores the bindings, then builds the view (which loads them).
    void Load() {
        m_view = std::make_unique<CDovetailManagerView>(m_doc);
        m_menu.addAction(QStringLiteral("&Enable"))->setData(int(kCmdEnable));
        m_view->SetContextMenu(&m_menu);
        m_commands = std::make_unique<CListWithCommands>(*m_view);
        m_view->OnInitialUpdate();
    }
    CDovetailManagerView& View() { return *m_view; }
    CCommandTable& Commands() { return m_commands->Table(); }
    CBindingListModel& Model() { return *m_view->Model(); }
    QString EnableText() const { return m_menu.actions().first()->text(); }

    CManagerWorld m_world;
    CRecordingShell m_shell;
    CDovetailManagerDoc m_doc;
    QMenu m_menu;
    std::unique_ptr<CDovetailManagerView> m_view;
    std::unique_ptr<CListWithCommands> m_commands;
};

TEST_F(ViewTest, CheckBoxStoresIsActiveOnUserChangeOnly) {
    CDocSynchEntry inactive = m_world.Binding(QStringLiteral("b.txt"));
    inactive.IsActive = false;
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    m_world.Store(1, inactive);
    // An odd stored flag shows that loading writes nothing back.
    RegWriteNumber(HKEY_CURRENT_USER, m_world.EntryKey(0), QStringLiteral("IsActive"), 5);
    Load();
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_TRUE(Model().IsChecked(0));
    EXPECT_FALSE(Model().IsChecked(1));
    EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 5u);

    EXPECT_TRUE(Model().setData(Model().index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 0u);
    EXPECT_TRUE(Model().setData(Model().index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(m_world.Number(1, QStringLiteral("IsActive")), 1u);
    // Setting the state it already has is no change.
    RegWriteNumber(HKEY_CURRENT_USER, m_world.EntryKey(1), QStringLiteral("IsActive"), 7);
    Model().setData(Model().index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(m_world.Number(1, QStringLiteral("IsActive")), 7u);
}

TEST_F(ViewTest, EnableTogglesStoreCheckBoxAndMenuText) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    Load();
    View().UpdateEnableItemText();
    EXPECT_EQ(EnableText(), QStringLiteral("&Enable")) << "kept without a selection";
    View().SelectRow(0);
    View().UpdateEnableItemText();
    EXPECT_EQ(EnableText(), QStringLiteral("Disabl&e"));

    Commands().Execute(kCmdEnable);
    EXPECT_FALSE(Model().IsChecked(0));
    EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 0u);
    EXPECT_EQ(EnableText(), QStringLiteral("&Enable"));
    EXPECT_FALSE(Commands().IsEnabled(kCmdSynchronize));

    // The stored state decides, even when it was changed outside the manager.
    RegWriteNumber(HKEY_CURRENT_USER, m_world.EntryKey(0), QStringLiteral("IsActive"), 1);
    Commands().Execute(kCmdEnable);
    EXPECT_FALSE(Model().IsChecked(0));
    EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 0u);
}

TEST_F(ViewTest, DeleteRemovesOnlyAfterYes) {
    for (int entry : {0, 1, 2})
        m_world.Store(entry, m_world.Binding(QStringLiteral("f%1.txt").arg(entry)));
    Load();
    View().SelectRow(1);
    CMessageBox::SetNextAnswer(QMessageBox::No);
    Commands().Execute(kCmdDelete);
    EXPECT_EQ(CMessageBox::ShownTexts(),
              QStringList{QStringLiteral("You are about to delete a binding.\nPlease confirm.")});
    EXPECT_EQ(Model().rowCount(), 3);
    EXPECT_TRUE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, m_world.EntryKey(1)));

    CMessageBox::SetNextAnswer(QMessageBox::Yes);
    Commands().Execute(kCmdDeleteContext);
    EXPECT_EQ(Model().rowCount(), 2);
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::CurrentUser, m_world.EntryKey(1)));
    EXPECT_EQ(Model().EntryAt(0), 0);
    EXPECT_EQ(Model().EntryAt(1), 2);
}

TEST_F(ViewTest, CommandEnablingFollowsSelectionAndCheckBoxes) {
    CDocSynchEntry off = m_world.Binding(QStringLiteral("b.txt"));
    off.IsActive = false;
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    m_world.Store(1, off);
    Load();
    struct Case {
        const char* name;
        int selectRow;  // -1: none
        bool firstChecked;
        int command;
        bool enabled;
    };
    const Case cases[] = {
        {"Synchronize needs a selection", -1, true, kCmdSynchronize, false},
        {"Synchronize on a checked row", 0, true, kCmdSynchronize, true},
        {"Synchronize on an unchecked row", 1, true, kCmdSynchronize, false},
        {"Synchronize All with one checked row", -1, true, kCmdSynchronizeAll, true},
        {"Synchronize All with none checked", 0, false, kCmdSynchronizeAll, false},
        {"Delete needs a selection", -1, true, kCmdDelete, false},
        {"Delete with a selection", 1, true, kCmdDelete, true},
        {"Properties with a selection", 1, false, kCmdProperties, true},
        {"Launch needs a selection", -1, true, kCmdLaunch, false},
        {"Adding is always there", -1, true, kCmdAddPcFile, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        View().clearSelection();
        Model().SetChecked(0, c.firstChecked);
        if (c.selectRow >= 0)
            View().SelectRow(c.selectRow);
        EXPECT_EQ(Commands().IsEnabled(c.command), c.enabled);
    }
}

// Another program holds the store: a change the store did not take must not show as done.
TEST_F(ViewTest, ChangesTheStoreDoesNotTakeLeaveTheListAsStored) {
    struct Row {
        const char* name;
        std::function<void()> change;
        QString message;
        bool checked;  // the row's box afterwards: what the store holds
        int rows;
    };
    const QString notSwitched = LoadManagerString(kIdsCannotSwitchBinding);
    const Row rows[] = {
        {"unchecking the box", [this] { Model().setData(Model().index(0, 0), Qt::Unchecked, Qt::CheckStateRole); },
         notSwitched, true, 2},
        {"Disable", [this] { Commands().Execute(kCmdEnable); }, notSwitched, true, 2},
        {"Delete",
         [this] {
             CMessageBox::SetNextAnswer(QMessageBox::Yes);
             Commands().Execute(kCmdDelete);
         },
         LoadManagerString(kIdsCannotDeleteBinding), true, 2},
    };
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    m_world.Store(1, m_world.Binding(QStringLiteral("b.txt")));
    Load();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        View().SelectRow(0);
        CMessageBox::ClearShownTexts();
        {
            CStoreWriteHold hold(m_world.Env().RegistryPath());
            ASSERT_TRUE(hold.IsHeld());
            row.change();
        }
        EXPECT_TRUE(CMessageBox::ShownTexts().contains(row.message))
            << CMessageBox::ShownTexts().join(u'|').toStdString();
        EXPECT_EQ(Model().rowCount(), row.rows);
        EXPECT_EQ(Model().IsChecked(0), row.checked);
        EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 1u);
        EXPECT_EQ(Commands().IsEnabled(kCmdSynchronize), row.checked);
    }
    // With the store free again the same steps land.
    CMessageBox::ClearShownTexts();
    Model().setData(Model().index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 0u);
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
}

TEST_F(ViewTest, PasteIsEnabledForFileListsNotForAnyFiveFormats) {
    Load();
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText(QStringLiteral("plain"));
    EXPECT_FALSE(Commands().IsEnabled(kCmdPaste));
    clipboard->setMimeData(MakeFileListMimeData({m_world.PcFolder() + QStringLiteral("x.txt")}));
    EXPECT_TRUE(Commands().IsEnabled(kCmdPaste));
    // Five formats of anything are not the handheld's items.
    auto* five = new QMimeData;
    for (int i = 0; i < 5; ++i)
        five->setData(QStringLiteral("application/x-other-%1").arg(i), "x");
    clipboard->setMimeData(five);
    EXPECT_FALSE(Commands().IsEnabled(kCmdPaste));
}

TEST(CellTextTest, CutsToTheBufferKeepingCharactersWhole) {
    const QString euro = QString::fromUtf8("\u20ac");  // three bytes in UTF-8
    struct Case {
        const char* name;
        QString text;
        int buffer;
        QString expected;
    };
    const Case cases[] = {
        {"short text unchanged", QStringLiteral("abc"), 260, QStringLiteral("abc")},
        {"cut to buffer minus one", QString(300, QLatin1Char('a')), 260, QString(259, QLatin1Char('a'))},
        {"exact fit", QString(259, QLatin1Char('b')), 260, QString(259, QLatin1Char('b'))},
        {"no split character", QStringLiteral("ab") + euro, 5, QStringLiteral("ab")},
        {"whole character fits", QStringLiteral("a") + euro + QStringLiteral("z"), 5, QStringLiteral("a") + euro},
        {"no room", QStringLiteral("abc"), 1, QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutToBuffer(c.text, c.buffer), c.expected) << c.name;
}

TEST_F(ViewTest, FilesOfOneTypeShareAnIcon) {
    Load();
    const QString a = m_world.Env().WriteFile(QStringLiteral("pc/a.txt"), "a");
    const QString b = m_world.Env().WriteFile(QStringLiteral("pc/b.txt"), "b");
    const QString c = m_world.Env().WriteFile(QStringLiteral("pc/c.doc"), "c");
    EXPECT_EQ(View().GetFileIcon(m_world.PcFolder() + QStringLiteral("missing.txt")), 2);

    CDocSynchEntry first = m_world.Binding(QStringLiteral("a.txt"));
    first.WinFileType = QStringLiteral("TXT File");
    ASSERT_TRUE(m_doc.AddEntry(first));
    const int shared = Model().ImageAt(0);
    EXPECT_GE(shared, 3);
    const int calls = m_shell.m_iconCalls;
    EXPECT_EQ(View().GetFileIcon(b), shared);
    EXPECT_EQ(m_shell.m_iconCalls, calls) << "icon taken from the row, not the shell";
    EXPECT_GT(View().GetFileIcon(c), shared);

    // A row whose stored type is a conversion name does not lend its icon.
    RegWriteString(HKEY_CURRENT_USER, m_world.EntryKey(0), QStringLiteral("WinFileType"), QStringLiteral("Word 97"));
    EXPECT_NE(View().GetFileIcon(a), shared);

    // Without an icon from the shell the file gets the plain one.
    m_shell.m_iconsForAll = false;
    EXPECT_EQ(View().GetFileIcon(m_world.Env().WriteFile(QStringLiteral("pc/d.xyz"), "d")), 2);
}

// While the list loads, a file takes the icon of the first row whose type column shows the
// shell's type name for it, a missing type value showing as the column's fallback text.
TEST_F(ViewTest, LoadLendsIconsByTheTypeTheColumnShows) {
    const QString unknown = LoadManagerString(kIdsUnknown);
    struct Row {
        const char* file;
        const char* storedType;  // nullptr: no value
    };
    const Row rows[] = {
        {"a.txt", "TXT File"}, {"b.txt", "TXT File"}, {"c.unk", nullptr}, {"d.unk", nullptr}, {"e.unk", ""},
    };
    for (int n = 0; n < int(std::size(rows)); ++n) {
        m_world.Store(n, m_world.Binding(QString::fromLatin1(rows[n].file)));
        if (rows[n].storedType)
            RegWriteString(HKEY_CURRENT_USER, m_world.EntryKey(n), QStringLiteral("WinFileType"),
                           QString::fromLatin1(rows[n].storedType));
        else
            RegDeleteValue(HKEY_CURRENT_USER, m_world.EntryKey(n), QStringLiteral("WinFileType"));
    }
    for (const char* file : {"c.unk", "d.unk", "e.unk"})
        m_shell.m_typeNames[m_world.PcFolder() + QString::fromLatin1(file)] = unknown;
    Load();
    ASSERT_EQ(Model().rowCount(), 5);
    EXPECT_EQ(m_doc.GetEntryText(Model().EntryAt(2), int(BindingColumn::PcType)), unknown);
    EXPECT_GE(Model().ImageAt(0), 3);
    EXPECT_EQ(Model().ImageAt(1), Model().ImageAt(0)) << "same type as the first row";
    EXPECT_GT(Model().ImageAt(2), Model().ImageAt(0)) << "no earlier row shows its type";
    EXPECT_EQ(Model().ImageAt(3), Model().ImageAt(2)) << "the row without a type value shows it";
    EXPECT_EQ(Model().ImageAt(4), Model().ImageAt(2)) << "an empty stored type is no missing one";
}

// The load reaches the views as one reset; rows added afterwards are announced one by one
// again. The tester checks every answer the model gives its views along the way.
TEST_F(ViewTest, LoadIsOneResetAndLaterRowsAreInsertions) {
    for (int n = 0; n < 3; ++n)
        m_world.Store(n, m_world.Binding(QStringLiteral("file%1.txt").arg(n)));
    m_view = std::make_unique<CDovetailManagerView>(m_doc);
    QAbstractItemModelTester tester(&Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&Model(), &QAbstractItemModel::modelReset);
    QSignalSpy insertions(&Model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy commandStates(&View(), &CDovetailManagerView::CommandStateChanged);
    View().OnInitialUpdate();
    ASSERT_EQ(Model().rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Model().EntryAt(row), row);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(insertions.count(), 0) << "no per-row announcements while loading";
    EXPECT_EQ(commandStates.count(), 1);

    CDocSynchEntry later = m_world.Binding(QStringLiteral("later.txt"));
    ASSERT_TRUE(m_doc.AddEntry(later));
    EXPECT_EQ(insertions.count(), 1);
    EXPECT_EQ(Model().rowCount(), 4);
    EXPECT_EQ(View().model()->index(3, 0).data().toString(), QStringLiteral("later.txt"));
}

TEST_F(ViewTest, LaunchExploreAndBackupsGoThroughTheShell) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    m_world.Store(1, m_world.Binding(QStringLiteral("gone.txt"), -1));
    Load();
    View().SelectRow(0);
    Commands().Execute(kCmdLaunch);
    Commands().Execute(kCmdExplore);
    ASSERT_EQ(m_shell.m_requests.size(), 2u);
    EXPECT_EQ(m_shell.m_requests[0].verb, QStringLiteral("open"));
    EXPECT_EQ(m_shell.m_requests[0].path, m_world.PcFolder() + QStringLiteral("a.txt"));
    EXPECT_EQ(m_shell.m_requests[1].verb, QStringLiteral("explore"));
    EXPECT_EQ(m_shell.m_requests[1].path, m_world.PcFolder());

    View().SelectRow(1);
    Commands().Execute(kCmdLaunch);
    EXPECT_EQ(m_shell.m_requests.size(), 2u);
    EXPECT_EQ(CMessageBox::ShownTexts(),
              QStringList{QStringLiteral("No executable defined or file does not yet exist")});

    // No folder is made before a backup needs it; Backups waits for it.
    const QString backups = m_world.PcFolder() + QStringLiteral("Alice/Dovetail");
    EXPECT_FALSE(Commands().IsEnabled(kCmdBackups));
    EXPECT_FALSE(QFileInfo::exists(backups));
    ASSERT_TRUE(QDir().mkpath(backups));
    EXPECT_TRUE(Commands().IsEnabled(kCmdBackups));
    Commands().Execute(kCmdBackups);
    EXPECT_EQ(m_shell.m_requests.back().verb, QStringLiteral("explore"));
    EXPECT_EQ(m_shell.m_requests.back().path, backups);
}

TEST_F(ViewTest, DesktopWithoutAProgramIsReported) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    Load();
    View().SelectRow(0);
    m_shell.m_succeed = false;
    const QString noProgram = QStringLiteral("The desktop has no program to open\n");
    const QString backups = m_world.PcFolder() + QStringLiteral("Alice/Dovetail");
    ASSERT_TRUE(QDir().mkpath(backups));  // a backup made it
    struct Case {
        int command;
        QString path;
    };
    const Case cases[] = {
        {kCmdLaunch, m_world.PcFolder() + QStringLiteral("a.txt")},
        {kCmdExplore, m_world.PcFolder()},
        {kCmdBackups, backups},
    };
    for (const Case& c : cases) {
        CMessageBox::ClearShownTexts();
        Commands().Execute(c.command);
        EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{noProgram + c.path}) << c.command;
    }
}

TEST_F(ViewTest, OneOrTwoClicksLaunchAsTheDesktopIsSet) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    for (bool singleClick : {true, false}) {
        SCOPED_TRACE(singleClick ? "single-click desktop" : "double-click desktop");
        m_shell.m_requests.clear();
        CDovetailManagerDoc doc;
        doc.OnNewDocument();
        CDovetailManagerView view(doc);
        CClickStyle style(singleClick);
        view.setStyle(&style);
        view.OnInitialUpdate();
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        const QPoint cell = view.visualRect(view.Model()->index(0, 1)).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell);
        EXPECT_EQ(m_shell.m_requests.size(), singleClick ? 1u : 0u);
        if (!singleClick) {
            QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell);
            ASSERT_EQ(m_shell.m_requests.size(), 1u);
        }
        EXPECT_EQ(m_shell.m_requests.back().verb, QStringLiteral("open"));
        EXPECT_EQ(m_shell.m_requests.back().path, m_world.PcFolder() + QStringLiteral("a.txt"));
    }
}

TEST_F(ViewTest, DeletingTheOnlyRowThenAddingGivesEntryZero) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    Load();
    View().SelectRow(0);
    CMessageBox::SetNextAnswer(QMessageBox::Yes);
    Commands().Execute(kCmdDelete);
    EXPECT_EQ(Model().rowCount(), 0);
    CDocSynchEntry next = m_world.Binding(QStringLiteral("b.txt"));
    ASSERT_TRUE(m_doc.AddEntry(next));
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().EntryAt(0), 0);
}

TEST_F(ViewTest, BackupsWithoutPcFolderStopsAndClosesTheManager) {
    Load();
    CRegistry::Default().DeleteTree(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\Users\\Alice\\PCDirectory"));
    QSignalSpy closing(&View(), &CDovetailManagerView::CloseApplicationRequested);
    EXPECT_FALSE(Commands().IsEnabled(kCmdBackups));
    EXPECT_EQ(closing.count(), 1);
    EXPECT_TRUE(
        CMessageBox::ShownTexts().value(0).startsWith(QStringLiteral("Please select 'My Ericsson Properties'")));
    Commands().Execute(kCmdBackups);
    EXPECT_EQ(CMessageBox::ShownTexts().size(), 1) << "asked once, then the manager closes";
    EXPECT_TRUE(m_shell.m_requests.empty());
}

TEST_F(ViewTest, EnterLaunchesTheSelectedRowAndNothingWithoutSelection) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    Load();
    View().show();
    View().setFocus();
    QTest::keyClick(&View(), Qt::Key_Return);
    EXPECT_TRUE(m_shell.m_requests.empty());
    View().SelectRow(0);
    QTest::keyClick(&View(), Qt::Key_Return);
    ASSERT_EQ(m_shell.m_requests.size(), 1u);
    EXPECT_EQ(m_shell.m_requests[0].verb, QStringLiteral("open"));
}

TEST_F(ViewTest, NavigationKeysSelectTheRowTheyLandOn) {
    struct Case {
        const char* name;
        int rows;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int selected;  // -1: none
    };
    const Case cases[] = {
        {"Home on the current first row", 3, Qt::Key_Home, Qt::NoModifier, 0},
        {"Down with one row", 1, Qt::Key_Down, Qt::NoModifier, 0},
        {"Up on the first row", 2, Qt::Key_Up, Qt::NoModifier, 0},
        {"End", 3, Qt::Key_End, Qt::NoModifier, 2},
        {"Down", 3, Qt::Key_Down, Qt::NoModifier, 1},
        {"Page Down", 3, Qt::Key_PageDown, Qt::NoModifier, 2},
        {"Ctrl moves the focus only", 3, Qt::Key_Home, Qt::ControlModifier, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRegistry::Default().DeleteTree(RegRoot::CurrentUser,
                                        QStringLiteral("Software\\Veroz\\Users\\Alice\\DocSynchEntries"));
        for (int entry = 0; entry < c.rows; ++entry)
            m_world.Store(entry, m_world.Binding(QStringLiteral("f%1.txt").arg(entry)));
        CDovetailManagerDoc doc;
        doc.OnNewDocument();
        CDovetailManagerView view(doc);
        CListWithCommands commands(view);
        view.OnInitialUpdate();
        view.show();
        QApplication::setActiveWindow(&view);
        view.setFocus();
        // As at start: the first row is current and nothing is selected.
        view.selectionModel()->setCurrentIndex(view.Model()->index(0, 0), QItemSelectionModel::NoUpdate);
        ASSERT_EQ(view.SelectedRow(), -1);
        QTest::keyClick(&view, c.key, c.modifiers);
        EXPECT_EQ(view.SelectedRow(), c.selected);
        EXPECT_EQ(commands.Table().IsEnabled(kCmdProperties), c.selected >= 0);
        if (c.rows == 3 && c.selected == 1) {
            // Space still switches the check box of the row.
            ASSERT_TRUE(view.Model()->IsChecked(1));
            QTest::keyClick(&view, Qt::Key_Space);
            EXPECT_FALSE(view.Model()->IsChecked(1));
            EXPECT_EQ(m_world.Number(1, QStringLiteral("IsActive")), 0u);
        }
    }
}

TEST_F(ViewTest, KeyboardOpensTheContextMenuAtTheCurrentRow) {
    for (int entry = 0; entry < 3; ++entry)
        m_world.Store(entry, m_world.Binding(QStringLiteral("f%1.txt").arg(entry)));
    Load();
    View().resize(600, 300);
    View().show();
    QApplication::setActiveWindow(&View());
    View().setFocus();
    View().SelectRow(2);
    const QRect row = View().visualRect(View().currentIndex());
    const QPoint atRow = View().viewport()->mapToGlobal(row.bottomLeft());
    const QPoint pointer = View().viewport()->mapToGlobal(QPoint(500, 250));

    // Where the menu shows; it is closed at once.
    const auto shownAt = [&](const std::function<void()>& open) {
        QPoint at(-1, -1);
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                at = popup->pos();
                popup->close();
            }
        });
        open();
        return at;
    };
    struct Case {
        const char* name;
        std::function<void()> open;
        bool atRow;
    };
    const Case cases[] = {
        {"Shift+F10", [&] { QTest::keyClick(&View(), Qt::Key_F10, Qt::ShiftModifier); }, true},
        {"Menu key, pointer elsewhere",
         [&] {
             QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(500, 250), pointer);
             QApplication::sendEvent(View().viewport(), &event);
         },
         true},
        {"mouse",
         [&] {
             QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(500, 250), pointer);
             QApplication::sendEvent(View().viewport(), &event);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint at = shownAt(c.open);
        ASSERT_NE(at, QPoint(-1, -1)) << "no menu";
        if (c.atRow) {
            EXPECT_GE(at.x(), atRow.x());
            EXPECT_LT(at.x(), atRow.x() + 2 * row.height());
            EXPECT_NEAR(at.y(), atRow.y(), 2);
        } else {
            EXPECT_EQ(at, pointer);
        }
    }
    // F10 alone is not the context menu (it is the frame's key into the menu bar).
    EXPECT_EQ(shownAt([&] { QTest::keyClick(&View(), Qt::Key_F10); }), QPoint(-1, -1));
}

TEST_F(ViewTest, CellsShowWhatTheStoreHoldsNow) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    Load();
    const QModelIndex name = Model().index(0, 0);
    EXPECT_EQ(Model().data(name).toString(), QStringLiteral("a.txt"));
    // The synchronizer writes; nothing is cached, so the next paint shows it.
    RegWriteNumber(HKEY_CURRENT_USER, m_world.EntryKey(0), QStringLiteral("WasUpdated"), 1);
    RegWriteNumber(HKEY_CURRENT_USER, m_world.EntryKey(0), QStringLiteral("LastSyncTimeStamp"), 1700000000);
    EXPECT_EQ(Model().data(Model().index(0, int(BindingColumn::LastSynch))).toString(),
              FormatLocalDateTime(1700000000));
}
// A binding whose PC path the store checks refuse is never looked at: no type, icon or size
// comes from it, and Launch and Explore say why instead of opening anything. A relative path
// would name a file of whatever folder the manager runs in, so the test runs where one is.
TEST_F(ViewTest, RefusedPcPathIsNeverLookedAtOrOpened) {
    const QString saved = QDir::currentPath();
    QDir::setCurrent(m_world.Env().Root());
    m_world.Env().WriteFile(QStringLiteral("relative/dir/a.txt"), QByteArray(77, 'x'));
    struct Row {
        const char* what;
        QString winPath;
        QString winFileName;
        QString reason;
        bool folderRefused;
    };
    const QString pc = m_world.PcFolder();
    const Row rows[] = {
        {"relative folder", QStringLiteral("relative/dir/"), QStringLiteral("a.txt"),
         QStringLiteral("\"WinPath\" is not an absolute path: \"relative/dir/\""), true},
        {"no folder", QString(), QStringLiteral("relative/dir/a.txt"), QStringLiteral("\"WinPath\" is empty"), true},
        {"folder climbing out", pc + QStringLiteral("../relative/dir/"), QStringLiteral("a.txt"),
         QStringLiteral("\"WinPath\" holds a \".\" or \"..\" component: \"%1../relative/dir/\"").arg(pc), true},
        {"name climbing out", pc, QStringLiteral("../relative/dir/a.txt"),
         QStringLiteral("\"WinFileName\" is not a single name: \"../relative/dir/a.txt\""), false},
    };
    for (int entry = 0; entry < int(std::size(rows)); ++entry) {
        CDocSynchEntry record = m_world.Binding(QStringLiteral("unused.txt"), -1);
        record.WinPath = rows[entry].winPath;
        record.WinFileName = rows[entry].winFileName;
        m_world.Store(entry, record);
    }
    Load();
    EXPECT_EQ(m_shell.m_typeNameCalls, 0);
    EXPECT_EQ(m_shell.m_iconCalls, 0);
    for (int entry = 0; entry < int(std::size(rows)); ++entry) {
        const Row& row = rows[entry];
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Model().data(Model().index(entry, int(BindingColumn::Size))).toString(), QStringLiteral("0 bytes"));
        View().SelectRow(entry);
        CMessageBox::ClearShownTexts();
        m_shell.m_requests.clear();
        Commands().Execute(kCmdLaunch);
        EXPECT_EQ(CMessageBox::ShownTexts(),
                  QStringList{QStringLiteral("The PC file of this binding cannot be used:\n") + row.reason +
                              QStringLiteral("\n\nChoose another one in its Properties.")});
        EXPECT_TRUE(m_shell.m_requests.empty());
        CMessageBox::ClearShownTexts();
        Commands().Execute(kCmdExplore);
        if (row.folderRefused) {
            EXPECT_EQ(CMessageBox::ShownTexts().size(), 1);
            EXPECT_TRUE(m_shell.m_requests.empty());
        } else {
            ASSERT_EQ(m_shell.m_requests.size(), 1u);
            EXPECT_EQ(m_shell.m_requests[0].path, pc);
        }
    }
    EXPECT_EQ(m_shell.m_typeNameCalls, 0);
    QDir::setCurrent(saved);
}

// The backup folder is the PC folder, the user's name and "Dovetail": a name that climbs out
// would have it made outside, so the manager says why and closes instead.
TEST_F(ViewTest, BackupsWithARefusedUserNameStopsWithoutMakingAFolder) {
    Load();
    RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), QString(), QStringLiteral("../x"));
    QSignalSpy closing(&View(), &CDovetailManagerView::CloseApplicationRequested);
    EXPECT_FALSE(Commands().IsEnabled(kCmdBackups));
    EXPECT_EQ(closing.count(), 1);
    EXPECT_EQ(CMessageBox::ShownTexts(),
              QStringList{QStringLiteral("The name of the current Ericsson EPOC Connect user cannot name the backup "
                                         "folder:\n\"CurrentUser\" is not a single name: \"../x\"")});
    EXPECT_FALSE(QFileInfo::exists(m_world.Env().Root() + QStringLiteral("/x")));
    EXPECT_TRUE(m_shell.m_requests.empty());
}
}  // namespace
