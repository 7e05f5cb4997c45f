// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/StoreCheck.h"
#include "manager/CommandTable.h"

#include <QMainWindow>

#include <map>
#include <memory>
#include <vector>

class CConnectStatusBar;
class CDovetailManagerDoc;
class CDovetailManagerView;
class QMenu;
class QMenuBar;
class QToolBar;

// The manager's main window: the binding list as its client, two movable bands at the top
// (menu bar, toolbar), the status bar, and the window placement and bar layout kept in
// "MainWindowSizeAndPos". Every menu, key and toolbar command runs through the command
// table; the frame adds its own commands and the list's, the flows add theirs.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // windowName names the window so that a second start can find it.
    CMainFrame(CDovetailManagerDoc& doc, const QString& windowName, QWidget* parent = nullptr);
    // The flows go first, newest first, while the view they use still stands.
    ~CMainFrame() override;

    CDovetailManagerView* View() const { return m_view; }
    CConnectStatusBar* ConnectStatusBar() const { return m_statusBar; }
    QToolBar* ToolBar() const { return m_toolBar; }
    QToolBar* MenuBand() const { return m_menuBand; }
    QMenuBar* FrameMenuBar() const { return m_menuBar; }
    QAction* Action(int id) const;
    // Menu 134, sharing the frame's actions; owned by the caller.
    QMenu* CreateContextMenu(QWidget* parent) const;

    // Connection indicator and the connected handheld's owner (empty: the pane takes no room).
    void SetConnected(bool connected);
    void SetStatusText(const QString& text);

    CCommandTable& Commands() { return m_commands; }
    // Runs a command if it is enabled now; disabled commands never run, whatever the source.
    void OnCommand(int id) { m_commands.Execute(id); }
    bool IsCommandEnabled(int id) const { return m_commands.IsEnabled(id); }
    // Re-evaluates the enabling of the cheap commands (menus re-check the rest on opening).
    void UpdateCommandUi();
    // Keeps a flow (the connection, the adding) for the frame's lifetime.
    template <typename Flow>
    Flow& KeepFlow(std::unique_ptr<Flow> flow) {
        Flow& kept = *flow;
        m_flows.push_back(std::move(flow));
        return kept;
    }

    // Idle text of the status bar: "%d %s" with the list's row count and "object(s)".
    QString IdleText() const;
    // The screen rectangles the layout is saved from.
    QRect MenuBandRect() const;
    QRect ToolBarRect() const;

protected:
    void OnViewLog();
    // F10: the menu bar's keyboard mode, the first menu highlighted and none opened.
    void EnterMenuBarKeyboardMode();
    bool IsViewLogEnabled() const;
    // "LogDocSynchCopy" of the document's user, refused unless an absolute file path.
    CStoreCheck ReadLogPath(QString& path) const;

    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    QMenu* createPopupMenu() override { return nullptr; }

private:
    void AddWindowCommands();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateRebar();
    void CreateStatusBar();
    void RestorePlacement();
    void ApplyRestoredFrame();
    void SaveBarVisibility();
    void SavePlacementAndLayout();
    void UpdateCaption();
    void UpdateIdleText();
    void ShowAbout();

    CDovetailManagerDoc& m_doc;
    CDovetailManagerView* m_view = nullptr;
    CConnectStatusBar* m_statusBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_menuBand = nullptr;
    QMenuBar* m_menuBar = nullptr;
    std::map<int, QAction*> m_actions;
    CCommandTable m_commands;
    std::vector<std::unique_ptr<QObject>> m_flows;
    // The stored outer size, until the window manager's frame is known and taken off it.
    QSize m_restoredFrameSize;
    bool m_layoutSaved = false;
};
