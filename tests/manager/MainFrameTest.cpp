// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/MainFrame.h"

#include "common/Profile.h"
#include "manager/AboutDlg.h"
#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/ConnectStatusBar.h"
#include "manager/DovetailManagerView.h"
#include "manager/ManagerHelp.h"
#include "manager/MessageBox.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/manager/ModalDriver.h"
#include "platform/base/UniqueFd.h"
#include "tests/support/RecordingShell.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QWhatsThis>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {
const QString kPlacement = QStringLiteral("MainWindowSizeAndPos");

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Ok);
    }
    void TearDown() override {
        m_frame.reset();
        CMessageBox::SetAutoAnswer(QMessageBox::NoButton);
    }
    CMainFrame& Open(bool maximized = false) {
        m_doc = std::make_unique<CDovetailManagerDoc>();
        m_doc->OnNewDocument();
        m_frame = std::make_unique<CMainFrame>(*m_doc, QStringLiteral("Dovetail:test"));
        m_frame->View()->OnInitialUpdate();
        if (maximized)
            m_frame->showMaximized();
        else
            m_frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
        return *m_frame;
    }
    void CloseAndDestroy() {
        m_frame->close();
        m_frame.reset();
    }
    int Placement(const QString& value, int fallback = -12345) const {
        return m_profile.GetProfileInt(kPlacement, value, fallback);
    }

    CManagerWorld m_world;
    CRecordingShell m_shell;
    CAppProfile m_profile;
    std::unique_ptr<CDovetailManagerDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(FrameTest, FirstRunPutsTheToolbarOnASecondRowWithDefaults) {
    CMainFrame& frame = Open();
    EXPECT_FALSE(frame.ToolBar()->isHidden());
    EXPECT_FALSE(frame.statusBar()->isHidden());
    EXPECT_TRUE(frame.toolBarBreak(frame.ToolBar()));
    EXPECT_GE(frame.ToolBarRect().top(), frame.MenuBandRect().bottom());
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Alice - Dovetail"));
    for (int column = 0; column < kBindingColumnCount; ++column)
        EXPECT_EQ(frame.View()->columnWidth(column), 125);
    EXPECT_EQ(QApplication::focusWidget(), frame.View()) << "the list has the keys at once";

    CloseAndDestroy();
    EXPECT_EQ(Placement(QStringLiteral("InvertedBandOrder")), 0);
    EXPECT_EQ(Placement(QStringLiteral("PersistentReBar")), 1);
    EXPECT_EQ(Placement(QStringLiteral("TBarVisible")), 1);
    EXPECT_EQ(Placement(QStringLiteral("SBarVisible")), 1);

    // The saved two-row layout comes back.
    CMainFrame& again = Open();
    EXPECT_GE(again.ToolBarRect().top(), again.MenuBandRect().bottom());
}

TEST_F(FrameTest, NormalMaximisedAndMinimisedClosesStoreWhatTheNextStartUses) {
    CMainFrame& frame = Open();
    frame.setGeometry(40, 50, 700, 420);
    QApplication::processEvents();
    const QRect window = frame.frameGeometry();
    frame.View()->setColumnWidth(3, 77);
    CloseAndDestroy();
    EXPECT_EQ(Placement(QStringLiteral("MaxState")), 0);
    EXPECT_EQ(Placement(QStringLiteral("XPos")), window.x());
    EXPECT_EQ(Placement(QStringLiteral("YPos")), window.y());
    EXPECT_EQ(Placement(QStringLiteral("Width")), window.width());
    EXPECT_EQ(Placement(QStringLiteral("Height")), window.height());
    EXPECT_EQ(m_profile.GetProfileInt(QStringLiteral("ListColWidth"), QStringLiteral("Col 3"), 0), 77);

    CMainFrame& restored = Open();
    EXPECT_EQ(restored.frameGeometry().size(), window.size());
    EXPECT_EQ(restored.View()->columnWidth(3), 77);
    restored.showMaximized();
    QApplication::processEvents();
    CloseAndDestroy();
    EXPECT_EQ(Placement(QStringLiteral("MaxState")), 1);
    EXPECT_EQ(Placement(QStringLiteral("Width")), window.width()) << "kept from the normal close";

    // Closed maximised: it opens maximised, and restoring gives the default size.
    CMainFrame& maximized = Open(true);
    EXPECT_TRUE(maximized.isMaximized());
    maximized.showNormal();
    QApplication::processEvents();
    EXPECT_EQ(maximized.size(), QSize(860, 480));
    maximized.showMaximized();
    QApplication::processEvents();
    CloseAndDestroy();

    CMainFrame& minimized = Open(true);
    minimized.showMinimized();
    QApplication::processEvents();
    CloseAndDestroy();
    EXPECT_EQ(Placement(QStringLiteral("MaxState")), 0);
    EXPECT_EQ(Placement(QStringLiteral("XPos")), window.x());
    EXPECT_EQ(Placement(QStringLiteral("Height")), window.height());
}

TEST_F(FrameTest, HiddenToolbarIsRememberedAndSavesNoRebarLayout) {
    CMainFrame& frame = Open();
    frame.OnCommand(kCmdViewToolbar);
    EXPECT_TRUE(frame.ToolBar()->isHidden());
    EXPECT_FALSE(frame.Action(kCmdViewToolbar)->isChecked());
    frame.OnCommand(kCmdViewStatusBar);
    CloseAndDestroy();
    EXPECT_EQ(Placement(QStringLiteral("TBarVisible")), 0);
    EXPECT_EQ(Placement(QStringLiteral("SBarVisible")), 0);
    EXPECT_EQ(Placement(QStringLiteral("PersistentReBar")), -12345);
    EXPECT_EQ(Placement(QStringLiteral("RebarBarPosX")), -12345);

    CMainFrame& again = Open();
    EXPECT_TRUE(again.ToolBar()->isHidden());
    EXPECT_TRUE(again.statusBar()->isHidden());
    EXPECT_FALSE(again.Action(kCmdViewToolbar)->isChecked());
}

TEST_F(FrameTest, ToolbarMovedBeforeTheMenuBarComesBackInThatOrder) {
    CMainFrame& frame = Open();
    frame.removeToolBarBreak(frame.ToolBar());
    frame.insertToolBar(frame.MenuBand(), frame.ToolBar());
    QApplication::processEvents();
    ASSERT_LT(frame.ToolBarRect().left(), frame.MenuBandRect().left());
    CloseAndDestroy();
    EXPECT_EQ(Placement(QStringLiteral("InvertedBandOrder")), 1);

    CMainFrame& again = Open();
    EXPECT_LT(again.ToolBarRect().left(), again.MenuBandRect().left());
    EXPECT_EQ(again.ToolBarRect().top(), again.MenuBandRect().top()) << "one row, as saved";
}

TEST_F(FrameTest, StatusBarCountsBindingsAndShowsTheConnection) {
    for (int entry : {0, 1, 2})
        m_world.Store(entry, m_world.Binding(QStringLiteral("f%1.txt").arg(entry)));
    CMainFrame& frame = Open();
    CConnectStatusBar* bar = frame.ConnectStatusBar();
    EXPECT_EQ(bar->IdleText(), QStringLiteral("3 object(s)"));
    EXPECT_EQ(bar->IndicatorBitmap(), int(kIdbNotConnected));
    EXPECT_FALSE(bar->IsOwnerPaneShown());

    frame.SetConnected(true);
    frame.SetStatusText(QStringLiteral("Bob"));
    EXPECT_EQ(bar->IndicatorBitmap(), int(kIdbConnected));
    EXPECT_TRUE(bar->IsOwnerPaneShown());
    EXPECT_EQ(bar->OwnerText(), QStringLiteral("Bob"));
    frame.SetConnected(false);
    frame.SetStatusText(QString());
    EXPECT_EQ(bar->IndicatorBitmap(), int(kIdbNotConnected));
    EXPECT_FALSE(bar->IsOwnerPaneShown());

    frame.View()->SelectRow(0);
    CMessageBox::SetNextAnswer(QMessageBox::Yes);
    frame.OnCommand(kCmdDelete);
    EXPECT_EQ(bar->IdleText(), QStringLiteral("2 object(s)"));
}

TEST_F(FrameTest, DisabledCommandsDoNotRunFromTheirKeys) {
    CDocSynchEntry off = m_world.Binding(QStringLiteral("a.txt"));
    off.IsActive = false;
    m_world.Store(0, off);
    CMainFrame& frame = Open();
    CDovetailManagerView* view = frame.View();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete);
    QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty()) << CMessageBox::ShownTexts().join(u'|').toStdString();

    // Selected, the keys work.
    view->SelectRow(0);
    CMessageBox::SetNextAnswer(QMessageBox::No);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(CMessageBox::ShownTexts().value(0),
              QStringLiteral("You are about to delete a binding.\nPlease confirm."));
    EXPECT_EQ(CMessageBox::ShownIcons().value(0), QMessageBox::NoIcon) << "a question states no icon";
    QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(m_shell.m_requests.size(), 1u);
    EXPECT_EQ(m_shell.m_requests[0].verb, QStringLiteral("explore"));
}

TEST_F(FrameTest, HelpKeysInTheFrameAndTheAboutBox) {
    CMainFrame& frame = Open();
    QApplication::setActiveWindow(&frame);
    std::vector<uint32_t> opened;
    SetHelpOpener([&](QWidget*, const QString&, uint32_t context) {
        opened.push_back(context);
        return true;
    });
    // F10 alone: the menu bar's keyboard mode, first menu highlighted, nothing opened.
    frame.View()->setFocus();
    QTest::keyClick(&frame, Qt::Key_F10);
    QMenuBar* menuBar = frame.FrameMenuBar();
    EXPECT_TRUE(menuBar->hasFocus());
    ASSERT_NE(menuBar->activeAction(), nullptr);
    EXPECT_EQ(menuBar->activeAction()->text(), QStringLiteral("&File"));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(menuBar, Qt::Key_Right);
    EXPECT_EQ(menuBar->activeAction()->text(), QStringLiteral("&Edit"));
    QTest::keyClick(menuBar, Qt::Key_Escape);
    EXPECT_EQ(menuBar->activeAction(), nullptr);

    // Shift+F1 is not offered: no context-help mode that would show nothing.
    frame.View()->setFocus();
    QTest::keyClick(frame.View(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    QWhatsThis::leaveWhatsThisMode();
    QTest::keyClick(frame.View(), Qt::Key_F1);
    EXPECT_EQ(opened, std::vector<uint32_t>{0});

    CAboutDlg about(&frame);
    CModalDriver driver;
    driver.Then([&](QWidget*) {
        QTest::keyClick(&about, Qt::Key_F1);
        about.accept();
    });
    about.exec();
    EXPECT_EQ(opened, (std::vector<uint32_t>{0, 0x20064}));
    SetHelpOpener({});
}

TEST_F(FrameTest, MenusCarryTheirCommandsPromptsAndTooltips) {
    CMainFrame& frame = Open();
    QStringList titles;
    for (QAction* menu : frame.FrameMenuBar()->actions())
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&View"),
                                   QStringLiteral("&MC 218"), QStringLiteral("&Help")}));
    QAction* sync = frame.Action(kCmdSynchronize);
    EXPECT_EQ(sync->text(), QStringLiteral("&Synchronize\tCtrl+S"));
    EXPECT_EQ(sync->statusTip(), QStringLiteral("Synchronize selected item."));
    EXPECT_EQ(sync->toolTip(), QStringLiteral("Synchronize"));
    EXPECT_EQ(frame.Action(kCmdPaste)->shortcuts().size(), 2);

    std::unique_ptr<QMenu> context(frame.CreateContextMenu(nullptr));
    QList<int> ids;
    for (QAction* action : context->actions())
        ids << (action->isSeparator() ? 0 : action->data().toInt());
    EXPECT_EQ(ids, (QList<int>{32773, 32785, 0, 32781, 32783, 0, 32775, 57637, 0, 32771, 32772, 0, 32786}));
}

TEST_F(FrameTest, ViewLogNeedsAReadableLog) {
    CMainFrame& frame = Open();
    EXPECT_FALSE(frame.IsCommandEnabled(kCmdViewLog));
    const QString log = m_world.Env().WriteFile(QStringLiteral("logs/run.srp"), "done");
    WriteUserString(QStringLiteral("Alice"), QStringLiteral("Dovetail"), QStringLiteral("LogDocSynchCopy"), log);
    EXPECT_TRUE(frame.IsCommandEnabled(kCmdViewLog));
    frame.OnCommand(kCmdViewLog);
    ASSERT_EQ(m_shell.m_requests.size(), 1u);
    EXPECT_EQ(m_shell.m_requests[0].verb, QStringLiteral("text"));
    EXPECT_EQ(m_shell.m_requests[0].path, log);
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
    m_shell.m_succeed = false;
    frame.OnCommand(kCmdViewLog);
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{QStringLiteral("The desktop has no program to open\n") + log});
    QFile::remove(log);
    EXPECT_FALSE(frame.IsCommandEnabled(kCmdViewLog));
}

// The log's path is a store value: a relative one is refused, and a named pipe planted under
// its name never makes the window wait.
TEST_F(FrameTest, ViewLogRefusesOddPathsAndNeverWaitsOnAPipe) {
    CMainFrame& frame = Open();
    const QString saved = QDir::currentPath();
    QDir::setCurrent(m_world.Env().Root());
    m_world.Env().WriteFile(QStringLiteral("logs/run.srp"), "done");
    for (const QString& path :
         {QStringLiteral("logs/run.srp"), m_world.Env().Root() + QStringLiteral("/x/../logs/run.srp")}) {
        WriteUserString(QStringLiteral("Alice"), QStringLiteral("Dovetail"), QStringLiteral("LogDocSynchCopy"), path);
        EXPECT_FALSE(frame.IsCommandEnabled(kCmdViewLog)) << path.toStdString();
    }
    QDir::setCurrent(saved);

    const QString pipe = m_world.Env().Root() + QStringLiteral("/logs/pipe.srp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    WriteUserString(QStringLiteral("Alice"), QStringLiteral("Dovetail"), QStringLiteral("LogDocSynchCopy"), pipe);
    auto enabled = std::async(std::launch::async, [&frame] { return frame.IsCommandEnabled(kCmdViewLog); });
    const bool answered = enabled.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!answered) {
        // Let the waiting open go, so the test can end and say so.
        const CUniqueFd writer(::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK));
        enabled.wait();
    }
    ASSERT_TRUE(answered) << "the enabling test waited on a named pipe";
    EXPECT_FALSE(enabled.get());
    EXPECT_TRUE(m_shell.m_requests.empty());
}

TEST_F(FrameTest, ActivationRepaintsCellsWithTheStoreValues) {
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    CMainFrame& frame = Open();
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    frame.View()->viewport()->installEventFilter(&counter);
    RegWriteString(HKEY_CURRENT_USER, m_world.EntryKey(0), QStringLiteral("EpocFileType"), QStringLiteral("Sheet"));
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(&frame, &activation);
    QApplication::processEvents();
    EXPECT_GT(counter.paints, 0);
    CBindingListModel* model = frame.View()->Model();
    EXPECT_EQ(model->data(model->index(0, int(BindingColumn::EpocType))).toString(), QStringLiteral("Sheet"));
}
}  // namespace
