// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/help/HelpViewer.h"

#include <QApplication>
#include <QGuiApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>

#include <algorithm>

#include "platform/help/WinHelp.h"

using namespace Qt::StringLiterals;

CHelpViewer::CHelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window), m_contents(new QListWidget), m_topic(new QTextBrowser) {
    m_contents->setObjectName(u"contents"_s);
    m_topic->setObjectName(u"topic"_s);
    m_topic->setOpenLinks(false);
    auto* splitter = new QSplitter;
    splitter->addWidget(m_contents);
    splitter->addWidget(m_topic);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({240, 400});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(640, 420);
    setWindowTitle(u"Help"_s);

    connect(m_topic, &QTextBrowser::anchorClicked, this, &CHelpViewer::OnLink);
    connect(m_contents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowContext(item->data(Qt::UserRole).toUInt()); });
    connect(m_contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ShowContext(item->data(Qt::UserRole).toUInt()); });
    // The arrow keys move through the contents; the topic follows the highlight.
    connect(m_contents, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && m_current != item->data(Qt::UserRole).toUInt())
            ShowContext(item->data(Qt::UserRole).toUInt());
    });
}

void CHelpViewer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool CHelpViewer::OpenFile(const QString& path) {
    m_path = path;
    m_contents->clear();
    const CHelpLoadResult r = m_file.Load(path);
    m_loaded = r.Ok;
    setWindowTitle(u"%1 - Help"_s.arg(QFileInfo(path).fileName()));
    if (!r) {
        ShowMessage(r.Message);
        return false;
    }
    for (const CHelpTopic& topic : m_file.Topics()) {
        auto* item = new QListWidgetItem(topic.Title.isEmpty() ? u"(untitled)"_s : topic.Title, m_contents);
        item->setData(Qt::UserRole, topic.Context);
    }
    return true;
}

bool CHelpViewer::ShowContext(uint32_t context) {
    if (!m_loaded)
        return false;
    if (const CHelpTopic* topic = m_file.Find(context)) {
        ShowTopic(*topic);
        return true;
    }
    ShowMessage(u"There is no help topic for this item (context 0x%1) in %2."_s.arg(context, 0, 16).arg(m_path));
    return false;
}

bool CHelpViewer::ShowContents() {
    if (!m_loaded)
        return false;
    ShowTopic(m_file.Topics().front());
    return true;
}

void CHelpViewer::StayUsableBeside(QWidget* modal) {
    if (modal == this || parentWidget() == modal)
        return;
    const QPoint place = pos();
    const bool visible = isVisible();
    setParent(modal, Qt::Window);
    move(place);
    if (visible)
        show();
    modal->installEventFilter(this);
}

bool CHelpViewer::eventFilter(QObject* watched, QEvent* event) {
    // The dialog that carried the viewer is going away; the help stays open on its own.
    if (watched == parentWidget() && (event->type() == QEvent::Hide || event->type() == QEvent::Destroy)) {
        watched->removeEventFilter(this);
        const QPoint place = pos();
        const bool visible = isVisible();
        setParent(nullptr, Qt::Window);
        move(place);
        if (visible)
            show();
    }
    return QWidget::eventFilter(watched, event);
}

QString CHelpViewer::CurrentText() const {
    return m_topic->toPlainText();
}

void CHelpViewer::ShowMessage(const QString& message) {
    m_current.reset();
    m_contents->clearSelection();
    m_topic->setPlainText(message);
}

void CHelpViewer::ShowTopic(const CHelpTopic& topic) {
    m_current = topic.Context;
    m_topic->setHtml(u"<h3>%1</h3>%2"_s.arg(topic.Title.toHtmlEscaped(), topic.Body));
    for (int i = 0; i < m_contents->count(); ++i) {
        if (m_contents->item(i)->data(Qt::UserRole).toUInt() == topic.Context)
            m_contents->setCurrentRow(i);
    }
}

void CHelpViewer::OnLink(const QUrl& url) {
    if (url.scheme() == u"topic"_s) {
        if (const auto context = CHelpFile::ParseContext(url.path()))
            ShowContext(*context);
        else
            ShowMessage(u"The link %1 names no topic."_s.arg(url.toString()));
        return;
    }
    // Links out of the help (web pages) go to the desktop's handler.
    QDesktopServices::openUrl(url);
}

QRect HelpWindowPlace(const QRect& callerFrame, const QSize& helpFrame, const QRect& screen) {
    constexpr int kGap = 16;
    const QSize size = helpFrame.boundedTo(screen.size());
    int x = callerFrame.right() + 1 + kGap;
    if (x + size.width() > screen.right() + 1) {
        x = callerFrame.left() - kGap - size.width();
        if (x < screen.left())
            x = screen.right() + 1 - size.width();
    }
    const int y = std::clamp(callerFrame.top(), screen.top(), screen.bottom() + 1 - size.height());
    return QRect(QPoint(x, y), size);
}

namespace {
// Puts the viewer beside the caller's window on the caller's screen. The viewer's own frame
// is not known before the window manager has framed it; the caller's frame stands for it.
void PlaceBeside(CHelpViewer& viewer, QWidget& caller) {
    const QWidget* window = caller.window();
    const QRect callerFrame = window->frameGeometry();
    const QSize frameExtra = callerFrame.size() - window->geometry().size();
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect place = HelpWindowPlace(callerFrame, viewer.size() + frameExtra, screen->availableGeometry());
    viewer.resize(place.size() - frameExtra);
    viewer.move(place.topLeft());
}
}  // namespace

bool WinHelp(QWidget* parent, const QString& helpFile, HelpCommand command, uint32_t context) {
    static QPointer<CHelpViewer> viewer;
    if (!viewer) {
        viewer = new CHelpViewer;
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        // An open help window does not keep the program running after its last own window.
        viewer->setAttribute(Qt::WA_QuitOnClose, false);
    }
    if (parent && !viewer->isVisible())
        PlaceBeside(*viewer, *parent);
    if (QWidget* modal = QApplication::activeModalWidget())
        viewer->StayUsableBeside(modal);
    // Read afresh each time, so an installed update shows at once.
    bool ok = viewer->OpenFile(helpFile);
    if (ok)
        ok = command == HelpCommand::Contents ? viewer->ShowContents() : viewer->ShowContext(context);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return ok;
}
