// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/MainFrame.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "manager/AboutDlg.h"
#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/ConnectStatusBar.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/DovetailManagerView.h"
#include "manager/Icons.h"
#include "manager/ListCommands.h"
#include "manager/Strings.h"
#include "manager/WaitCursor.h"
#include "manager/MessageBox.h"
#include "platform/base/UniqueFd.h"
#include "platform/shell/Shell.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QToolBar>

#include <fcntl.h>
#include <sys/stat.h>

namespace {
const QString kPlacement = QStringLiteral("MainWindowSizeAndPos");
const QSize kDefaultSize(860, 480);
// How long a restored window waits for the window manager's frame.
constexpr int kFrameWaitMs = 3000;

struct ActionSpec {
    int id;
    const char* text;
    std::vector<QKeySequence> keys;
};

// Menu texts (the part after the tab is the key shown) and the keys that run them.
const std::vector<ActionSpec>& ActionSpecs() {
    static const std::vector<ActionSpec> specs = {
        {kCmdAddPcFile, "&PC File...\tCtrl+N", {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {kCmdAddEpocFile, "&EPOC File...\tCtrl+Shift+N", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}},
        {kCmdExplore,
         "&Explore\tCtrl+Enter",
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
        {kCmdLaunch, "&Launch\tEnter", {}},  // Enter belongs to the list (row activation)
        {kCmdBackups, "&Backups", {}},
        {kCmdProperties,
         "P&roperties\tAlt+Enter",
         {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}},
        {kCmdExit, "E&xit", {}},
        {kCmdPaste, "&Paste\tCtrl+V", {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {kCmdDelete, "&Delete\tDel", {QKeySequence(Qt::Key_Delete)}},
        {kCmdDeleteContext, "&Delete\tDel", {}},
        {kCmdEnable, "&Enable", {}},
        {kCmdViewToolbar, "Show &Toolbar", {}},
        {kCmdViewStatusBar, "Show &Status Bar", {}},
        {kCmdOptions, "&Options...", {}},
        {kCmdViewLog, "View &Log", {}},
        {kCmdSynchronize, "&Synchronize\tCtrl+S", {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {kCmdSynchronizeAll, "&Synchronize &All\tCtrl+Shift+S", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
        {kCmdPreviewSync, "Pre&view Synchronization...\tCtrl+P", {QKeySequence(Qt::CTRL | Qt::Key_P)}},
        {kCmdHelp, "&Help", {}},
        {kCmdAbout, "&About Dovetail...", {}},
        {kCmdHelpIndex, "Help", {QKeySequence(Qt::Key_F1)}},
        {kCmdMenuBarKeys, "Menu Bar", {QKeySequence(Qt::Key_F10)}},
    };
    return specs;
}

// The menu bar takes Alt (and F10, see EnterMenuBarKeyboardMode) as the key into its keyboard
// mode whatever the widget style's own habit.
class CMenuBarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
    // Some styles highlight a menu title only while its menu is open; in keyboard mode (the
    // bar has the focus) the current title must show too.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && item && (item->state & State_Selected) && widget && widget->hasFocus()) {
            QStyleOptionMenuItem current(*item);
            current.state |= State_Sunken;
            QProxyStyle::drawControl(element, &current, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

QRect ScreenRect(const QWidget* widget) {
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}
}  // namespace

CMainFrame::CMainFrame(CDovetailManagerDoc& doc, const QString& windowName, QWidget* parent)
    : QMainWindow(parent), m_doc(doc) {
    setObjectName(windowName.isEmpty() ? QStringLiteral("MainFrame") : windowName);
    setWindowIcon(ManagerIcon(kIdrMainIcon));
    setAttribute(Qt::WA_DeleteOnClose, false);
    RestorePlacement();

    m_view = new CDovetailManagerView(m_doc, this);
    setCentralWidget(m_view);

    AddWindowCommands();
    AddListCommands(m_commands, *m_view);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateRebar();
    CreateStatusBar();

    const CAppProfile profile;
    if (profile.GetProfileInt(kPlacement, QStringLiteral("SBarVisible"), 1) == 0)
        m_statusBar->hide();
    if (profile.GetProfileInt(kPlacement, QStringLiteral("TBarVisible"), 1) == 0)
        m_toolBar->hide();
    Action(kCmdViewToolbar)->setChecked(!m_toolBar->isHidden());
    Action(kCmdViewStatusBar)->setChecked(!m_statusBar->isHidden());

    connect(&m_doc, &CDovetailManagerDoc::TitleChanged, this, &CMainFrame::UpdateCaption);
    connect(m_view, &CDovetailManagerView::CommandStateChanged, this, &CMainFrame::UpdateCommandUi);
    connect(m_view, &CDovetailManagerView::CloseApplicationRequested, this,
            [this] { QTimer::singleShot(0, this, [this] { OnCommand(kCmdExit); }); });
    auto* model = m_view->Model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &CMainFrame::UpdateIdleText);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &CMainFrame::UpdateIdleText);
    connect(model, &QAbstractItemModel::modelReset, this, &CMainFrame::UpdateIdleText);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::UpdateCommandUi);

    UpdateCaption();
    UpdateIdleText();
    UpdateCommandUi();
    m_view->setFocus();
}

CMainFrame::~CMainFrame() {
    SavePlacementAndLayout();
    while (!m_flows.empty())
        m_flows.pop_back();
}

void CMainFrame::AddWindowCommands() {
    m_commands.Add(kCmdViewToolbar, [this] {
        m_toolBar->setVisible(m_toolBar->isHidden());
        Action(kCmdViewToolbar)->setChecked(!m_toolBar->isHidden());
    });
    m_commands.Add(kCmdViewStatusBar, [this] {
        m_statusBar->setVisible(m_statusBar->isHidden());
        Action(kCmdViewStatusBar)->setChecked(!m_statusBar->isHidden());
    });
    m_commands.Add(
        kCmdViewLog, [this] { OnViewLog(); }, [this] { return IsViewLogEnabled(); });
    m_commands.Add(kCmdExit, [this] { close(); });
    m_commands.Add(kCmdAbout, [this] { ShowAbout(); });
    m_commands.Add(kCmdMenuBarKeys, [this] { EnterMenuBarKeyboardMode(); });
}

QAction* CMainFrame::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
    for (const ActionSpec& spec : ActionSpecs()) {
        auto* action = new QAction(QString::fromUtf8(spec.text), this);
        action->setObjectName(QStringLiteral("Command%1").arg(spec.id));
        action->setData(spec.id);
        bool ok = false;
        const QString prompt = CStringTable::Load(spec.id, &ok);
        if (ok) {
            action->setStatusTip(PromptPart(prompt));
            const QString tip = TooltipPart(prompt);
            action->setToolTip(tip.isEmpty() ? PromptPart(prompt) : tip);
        }
        action->setShortcuts(QList<QKeySequence>(spec.keys.begin(), spec.keys.end()));
        const QIcon icon = ToolbarIcon(spec.id);
        if (!icon.isNull())
            action->setIcon(icon);
        action->setIconVisibleInMenu(false);
        const int id = spec.id;
        if (id == kCmdViewToolbar || id == kCmdViewStatusBar)
            action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        addAction(action);  // keys work wherever the focus is in the window
        m_actions[id] = action;
    }
}

void CMainFrame::CreateMenus() {
    m_menuBar = new QMenuBar;
    m_menuBar->setObjectName(QStringLiteral("MenuBar"));
    m_menuBar->setNativeMenuBar(false);
    auto* menuStyle = new CMenuBarStyle;
    menuStyle->setParent(m_menuBar);
    m_menuBar->setStyle(menuStyle);
    const auto addMenu = [this](const QString& title, const std::vector<int>& ids) {
        QMenu* menu = m_menuBar->addMenu(title);
        menu->setObjectName(QStringLiteral("Menu") + QString(title).remove(QLatin1Char('&')).remove(QLatin1Char(' ')));
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(Action(id));
        }
        connect(menu, &QMenu::aboutToShow, this, [this, ids] {
            UpdateCommandUi();
            for (int id : ids) {
                if (id && m_commands.IsCostly(id))
                    Action(id)->setEnabled(IsCommandEnabled(id));
            }
        });
        return menu;
    };
    addMenu(QStringLiteral("&File"),
            {kCmdAddPcFile, kCmdAddEpocFile, 0, kCmdExplore, kCmdLaunch, kCmdBackups, 0, kCmdProperties, 0, kCmdExit});
    addMenu(QStringLiteral("&Edit"), {kCmdPaste, kCmdDelete});
    addMenu(QStringLiteral("&View"), {kCmdViewToolbar, kCmdViewStatusBar, 0, kCmdOptions, kCmdViewLog});
    addMenu(QStringLiteral("&MC 218"), {kCmdSynchronize, kCmdSynchronizeAll, 0, kCmdPreviewSync});
    addMenu(QStringLiteral("&Help"), {kCmdHelp, 0, kCmdAbout});
}

QMenu* CMainFrame::CreateContextMenu(QWidget* parent) const {
    auto* menu = new QMenu(QStringLiteral("dummy"), parent);
    menu->setObjectName(QStringLiteral("ContextMenu"));
    for (int id :
         std::initializer_list<int>{kCmdEnable, kCmdSynchronize, 0, kCmdAddPcFile, kCmdAddEpocFile, 0,
                                    kCmdDeleteContext, kCmdPaste, 0, kCmdExplore, kCmdLaunch, 0, kCmdProperties}) {
        if (id == 0)
            menu->addSeparator();
        else
            menu->addAction(Action(id));
    }
    return menu;
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setFloatable(false);
    m_toolBar->setAllowedAreas(Qt::TopToolBarArea);
    for (int id : std::initializer_list<int>{kCmdAddPcFile, kCmdAddEpocFile, 0, kCmdProperties, 0, kCmdDelete,
                                             kCmdPaste, 0, kCmdSynchronize, kCmdSynchronizeAll, kCmdPreviewSync}) {
        if (id == 0)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(Action(id));
    }
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
            [this](bool) { Action(kCmdViewToolbar)->setChecked(!m_toolBar->isHidden()); });
}

void CMainFrame::CreateRebar() {
    m_menuBand = new QToolBar(QStringLiteral("Menu Bar"), this);
    m_menuBand->setObjectName(QStringLiteral("MenuBand"));
    m_menuBand->setFloatable(false);
    m_menuBand->setAllowedAreas(Qt::TopToolBarArea);
    m_menuBand->addWidget(m_menuBar);
    m_menuBand->toggleViewAction()->setEnabled(false);

    const CAppProfile profile;
    const bool persistent = profile.GetProfileInt(kPlacement, QStringLiteral("PersistentReBar"), 0) != 0;
    const bool inverted = profile.GetProfileInt(kPlacement, QStringLiteral("InvertedBandOrder"), 0) != 0;
    bool newRow = !inverted && !persistent;
    if (persistent) {
        // Fit the bands into the saved rectangle: two rows when it is taller than one.
        const int height = profile.GetProfileInt(kPlacement, QStringLiteral("RebarBarPosHeight"), -1);
        const int rowHeight = std::max(m_menuBand->sizeHint().height(), m_toolBar->sizeHint().height());
        newRow = height > rowHeight + rowHeight / 2;
    }
    addToolBar(Qt::TopToolBarArea, inverted ? m_toolBar : m_menuBand);
    if (newRow)
        addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, inverted ? m_menuBand : m_toolBar);
}

void CMainFrame::CreateStatusBar() {
    m_statusBar = new CConnectStatusBar(this);
    setStatusBar(m_statusBar);
    m_statusBar->SetIndicator(false);
    m_statusBar->SetOwnerText({});
}

void CMainFrame::RestorePlacement() {
    const CAppProfile profile;
    resize(kDefaultSize);
    if (profile.GetProfileInt(kPlacement, QStringLiteral("MaxState"), 0) != 0)
        return;
    const int x = profile.GetProfileInt(kPlacement, QStringLiteral("XPos"), INT_MIN);
    const int y = profile.GetProfileInt(kPlacement, QStringLiteral("YPos"), INT_MIN);
    const int width = profile.GetProfileInt(kPlacement, QStringLiteral("Width"), INT_MIN);
    const int height = profile.GetProfileInt(kPlacement, QStringLiteral("Height"), INT_MIN);
    if (x != INT_MIN && y != INT_MIN)
        move(x, y);
    // Only a stored size is an outer one; the default size is the window's own.
    if (width > 0 && height > 0) {
        resize(width, height);
        m_restoredFrameSize = QSize(width, height);
    }
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_restoredFrameSize.isValid())
        return;
    // A window manager frames the window some time after it is shown; without one no frame
    // ever comes, and the size stays as it is.
    QTimer::singleShot(0, this, &CMainFrame::ApplyRestoredFrame);
    QTimer::singleShot(kFrameWaitMs, this, [this] { m_restoredFrameSize = {}; });
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    ApplyRestoredFrame();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ApplyRestoredFrame();
}

void CMainFrame::ApplyRestoredFrame() {
    if (!m_restoredFrameSize.isValid() || !isVisible())
        return;
    // The stored size is the window's outer size; the frame comes off once it is known.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0)
        return;
    const QSize target = m_restoredFrameSize;
    m_restoredFrameSize = {};
    if (!isMaximized() && !isMinimized() && !isFullScreen())
        resize(target - frame);
}

void CMainFrame::SaveBarVisibility() {
    const CAppProfile profile;
    profile.WriteProfileInt(kPlacement, QStringLiteral("SBarVisible"), m_statusBar->isHidden() ? 0 : 1);
    profile.WriteProfileInt(kPlacement, QStringLiteral("TBarVisible"), m_toolBar->isHidden() ? 0 : 1);
}

void CMainFrame::SavePlacementAndLayout() {
    if (m_layoutSaved)
        return;
    m_layoutSaved = true;
    const CAppProfile profile;
    const bool minimized = isMinimized();
    const bool maximized = isMaximized() && !minimized;
    profile.WriteProfileInt(kPlacement, QStringLiteral("MaxState"), maximized ? 1 : 0);
    if (!minimized && !maximized) {
        const QRect window = frameGeometry();
        profile.WriteProfileInt(kPlacement, QStringLiteral("Height"), window.height());
        profile.WriteProfileInt(kPlacement, QStringLiteral("Width"), window.width());
        profile.WriteProfileInt(kPlacement, QStringLiteral("YPos"), window.y());
        profile.WriteProfileInt(kPlacement, QStringLiteral("XPos"), window.x());
    }
    if (profile.GetProfileInt(kPlacement, QStringLiteral("TBarVisible"), 1) == 0)
        return;
    const QRect menuRect = MenuBandRect();
    const QRect toolRect = ToolBarRect();
    // The toolbar sits before the menu bar: on its row to its left, or on a row above it.
    const bool inverted =
        toolRect.top() < menuRect.top() + menuRect.height() && toolRect.left() < menuRect.left() + menuRect.width();
    profile.WriteProfileInt(kPlacement, QStringLiteral("InvertedBandOrder"), inverted ? 1 : 0);
    const QRect rebar = menuRect.united(toolRect);
    profile.WriteProfileInt(kPlacement, QStringLiteral("RebarBarPosX"), rebar.x());
    profile.WriteProfileInt(kPlacement, QStringLiteral("RebarBarPosY"), rebar.y());
    profile.WriteProfileInt(kPlacement, QStringLiteral("RebarBarWidth"), rebar.width());
    profile.WriteProfileInt(kPlacement, QStringLiteral("RebarBarPosHeight"), rebar.height());
    profile.WriteProfileInt(kPlacement, QStringLiteral("PersistentReBar"), 1);
}

QRect CMainFrame::MenuBandRect() const {
    return ScreenRect(m_menuBand);
}

QRect CMainFrame::ToolBarRect() const {
    return ScreenRect(m_toolBar);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveBarVisibility();
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        SavePlacementAndLayout();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        // Cells are read from the store when painted: repainting shows what the
        // synchronizer wrote meanwhile.
        update();
        m_view->viewport()->update();
    }
}

void CMainFrame::UpdateCaption() {
    setWindowTitle(m_doc.Title() + QStringLiteral(" - ") + LoadManagerString(kIdsAppTitle));
}

QString CMainFrame::IdleText() const {
    bool ok = false;
    const QString objects = CStringTable::Load(kIdsIdleObjects, &ok);
    if (!ok || !m_view)
        return {};
    return QStringLiteral("%1 %2").arg(m_view->ItemCount()).arg(objects);
}

void CMainFrame::UpdateIdleText() {
    m_statusBar->SetIdleText(IdleText());
}

void CMainFrame::SetConnected(bool connected) {
    m_statusBar->SetIndicator(connected);
}

void CMainFrame::SetStatusText(const QString& text) {
    m_statusBar->SetOwnerText(text);
}

void CMainFrame::UpdateCommandUi() {
    for (const auto& [id, action] : m_actions) {
        if (!m_commands.IsCostly(id))
            action->setEnabled(m_commands.IsEnabled(id));
    }
}

void CMainFrame::EnterMenuBarKeyboardMode() {
    if (!m_menuBar->isVisible() || m_menuBar->activeAction())
        return;
    // The menu bar enters its keyboard mode when Alt is pressed and released alone; F10 is
    // handed to it as that.
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != this)
        target = this;
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(target, &override);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

CStoreCheck CMainFrame::ReadLogPath(QString& path) const {
    const QString label = QStringLiteral("\"LogDocSynchCopy\"");
    QString stored;
    if (!ReadUserString(m_doc.User(), LoadManagerString(kIdsAppTitle), QStringLiteral("LogDocSynchCopy"), stored))
        return CStoreCheck::Missing(label + QStringLiteral(" is missing"));
    if (CStoreCheck check = CheckPcFilePath(label, stored); !check)
        return check;
    path = stored;
    return {};
}

bool CMainFrame::IsViewLogEnabled() const {
    QString path;
    if (!ReadLogPath(path))
        return false;
    // Asked at every menu update: a named pipe or a device planted under the log's name must
    // not make the window wait, so the file is opened without blocking and must be a plain one.
    const CUniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    return fd.IsValid() && ::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode);
}

void CMainFrame::OnViewLog() {
    QString path;
    if (const CStoreCheck read = ReadLogPath(path); !read) {
        if (read.IsRefused())
            CMessageBox::Information(this, LoadManagerString(kIdsLogPathRefused).arg(read.Reason()));
        return;
    }
    bool opened = false;
    {
        const CWaitCursor wait;
        opened = IShell::Current().OpenInTextViewer(path);
    }
    if (!opened)
        m_view->ShowNoProgram(path);
}

void CMainFrame::ShowAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}
