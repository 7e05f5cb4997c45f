// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SingleInstanceApp.h"

#include "common/ProgramPath.h"
#include "common/StringTable.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

#include <unistd.h>

namespace {

constexpr uint32_t kClassStyle = 0xb;  // redraw on both size changes, double clicks
constexpr int kConnectTimeoutMs = 2000;
constexpr qint64 kMaxRequest = 4096;

QByteArray Hash(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

void BringForward(QWidget* window) {
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

CSingleInstanceApp::CSingleInstanceApp(int& argc, char** argv) : QApplication(argc, argv) {}

CSingleInstanceApp::~CSingleInstanceApp() {
    if (m_server)
        m_server->close();
}

QString CSingleInstanceApp::AppTitle() const {
    bool ok = false;
    const QString title = CStringTable::Load(kIdsAppTitle, &ok);
    return ok && !title.isEmpty() ? title : applicationName();
}

uint32_t CSingleInstanceApp::ModuleIdentity() {
    QString path;
    GetProgramPath(path);
    const QByteArray digest = Hash(QFileInfo(path).fileName().toUtf8());
    return uint32_t(uint8_t(digest[0])) << 24 | uint32_t(uint8_t(digest[1])) << 16 | uint32_t(uint8_t(digest[2])) << 8 |
           uint32_t(uint8_t(digest[3]));
}

QString CSingleInstanceApp::ChannelBase(const QString& title) {
    const QString dir = CInstanceLock::PrivateDir();
    if (dir.isEmpty())
        return QString();
    // Per user: the uid is part of the name as well as of the folder.
    const QByteArray key = title.toUtf8() + '\n' + QByteArray::number(uint(::getuid()));
    return dir + QStringLiteral("/dovetail-") + QString::fromLatin1(Hash(key).toHex().left(20));
}

bool CSingleInstanceApp::RegisterInstance(int iconId, const QString& windowTitle, bool bringForward) {
    // No program of ours carries a cursor resource, so the class cursor is always 0.
    const uint32_t cursor = 0;
    const bool haveIcon = iconId > 0;
    const QString title = AppTitle();
    if (cursor == 0 && !haveIcon) {
        m_instanceName = QStringLiteral("%1:%2:%3").arg(title).arg(ModuleIdentity(), 0, 16).arg(kClassStyle, 0, 16);
    } else {
        m_instanceName = QStringLiteral("%1:%2:%3:%4:%5")
                             .arg(title)
                             .arg(ModuleIdentity(), 0, 16)
                             .arg(kClassStyle, 0, 16)
                             .arg(cursor, 0, 16)
                             .arg(0, 0, 16);
    }

    m_channelBase = ChannelBase(title);
    const CInstanceLock::Result lock =
        m_lock.Acquire(m_channelBase.isEmpty() ? QString() : m_channelBase + QStringLiteral(".lock"));
    if (lock == CInstanceLock::Result::HeldElsewhere) {
        AskRunningInstance(windowTitle, bringForward);
        return false;
    }
    // Any other lock failure (no private folder, a file system without locks) leaves this
    // copy running as the only instance, as with a failed mutex. Unguarded, it cannot know
    // whether a socket of that name is a live first instance's (listening would replace it),
    // so it stays unreachable.
    if (!m_lock.Held())
        return true;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString socketPath = m_channelBase + QStringLiteral(".sock");
    // Holding the lock makes any socket left here a stale one from a crashed run.
    QLocalServer::removeServer(socketPath);
    if (!m_server->listen(socketPath)) {
        m_server.reset();
        ShowRegisterFailure(QStringLiteral("Failed to register window class!"));
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &CSingleInstanceApp::OnNewConnection);
    return true;
}

bool CSingleInstanceApp::AskRunningInstance(const QString& windowTitle, bool bringForward) const {
    if (!bringForward)
        return true;
    if (m_channelBase.isEmpty())
        return false;
    const QString socketPath = m_channelBase + QStringLiteral(".sock");
    // The first copy may hold the lock but not listen yet: retry for a short while.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kConnectTimeoutMs) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(200)) {
            socket.write("raise\n" + windowTitle.toUtf8() + '\n');
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(1000);
            return sent;
        }
        QThread::msleep(50);
    }
    return false;
}

void CSingleInstanceApp::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // The request is "raise", a line break, the window title to fall back on, a line break.
        const auto handle = [this, socket] {
            if (socket->property("dtHandled").toBool())
                return;
            const bool complete = socket->peek(kMaxRequest).count('\n') >= 2 ||
                                  socket->bytesAvailable() >= kMaxRequest ||
                                  socket->state() != QLocalSocket::ConnectedState;
            if (!complete)
                return;
            socket->setProperty("dtHandled", true);
            const QList<QByteArray> lines = socket->read(kMaxRequest).split('\n');
            if (lines.value(0) != "raise")
                return;
            if (QWidget* window = FindExistingWindow(QString::fromUtf8(lines.value(1))))
                BringForward(window);
            emit RaiseRequested();
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        connect(socket, &QLocalSocket::disconnected, this, [socket, handle] {
            handle();
            socket->deleteLater();
        });
        handle();
    }
}

QWidget* CSingleInstanceApp::FindExistingWindow(const QString& windowTitle) const {
    const QWidgetList windows = topLevelWidgets();
    for (QWidget* w : windows) {
        if (!m_instanceName.isEmpty() && w->objectName() == m_instanceName)
            return w;
    }
    if (windowTitle.isEmpty())
        return nullptr;
    for (QWidget* w : windows) {
        if (w->windowTitle() == windowTitle)
            return w;
    }
    return nullptr;
}

void CSingleInstanceApp::ShowRegisterFailure(const QString& text) {
    QMessageBox::critical(nullptr, AppTitle(), text);
}
