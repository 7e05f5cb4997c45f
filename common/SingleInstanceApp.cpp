// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SingleInstanceApp.h"

#include "common/ProgramPath.h"
#include "common/StringTable.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr uint32_t kClassStyle = 0xb;  // redraw on both size changes, double clicks
constexpr int kConnectTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 1000;
constexpr qsizetype kMaxRequest = 4096;

QByteArray Hash(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

// False when the path does not fit a socket address.
bool SocketAddress(const QString& path, sockaddr_un& address) {
    const QByteArray native = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || std::size_t(native.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    return true;
}

// Writes all of data within the time limit.
bool WriteAll(int socket, const QByteArray& data, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t put =
            ::send(socket, data.constData() + done, std::size_t(data.size() - done), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put >= 0) {
            done += put;
            continue;
        }
        if (errno == EINTR)
            continue;
        const int left = timeoutMs - int(timer.elapsed());
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || left <= 0)
            return false;
        pollfd wait{socket, POLLOUT, 0};
        ::poll(&wait, 1, left);
    }
    return true;
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
    m_requests.clear();
    m_serverNotifier.reset();
    if (m_server.IsValid()) {
        m_server.Reset();
        ::unlink(QFile::encodeName(m_serverPath).constData());
    }
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

CInstanceLock::Result CSingleInstanceApp::LockBeforeStart(CInstanceLock& lock) {
    bool ok = false;
    const QString title = CStringTable::Load(kIdsAppTitle, &ok);
    const QString base = ok && !title.isEmpty() ? ChannelBase(title) : QString();
    if (base.isEmpty())
        return CInstanceLock::Result::Unavailable;
    return lock.Acquire(base + QStringLiteral(".lock"));
}

bool CSingleInstanceApp::RegisterInstance(int iconId, const QString& windowTitle, bool bringForward,
                                          CInstanceLock* held) {
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
    CInstanceLock::Result lock = CInstanceLock::Result::Acquired;
    if (held && held->Held())
        m_lock = std::move(*held);
    else
        lock = m_lock.Acquire(m_channelBase.isEmpty() ? QString() : m_channelBase + QStringLiteral(".lock"));
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
    if (!Listen(m_channelBase + QStringLiteral(".sock"))) {
        ShowRegisterFailure(QStringLiteral("Failed to register window class!"));
        return false;
    }
    return true;
}

bool CSingleInstanceApp::Listen(const QString& socketPath) {
    sockaddr_un address{};
    if (!SocketAddress(socketPath, address))
        return false;
    CUniqueFd server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!server.IsValid())
        return false;
    // Holding the lock makes any socket left here a stale one from a crashed run.
    ::unlink(address.sun_path);
    if (::bind(server.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    // Only the user may ask; the folder is private as well.
    ::chmod(address.sun_path, S_IRUSR | S_IWUSR);
    if (::listen(server.Get(), SOMAXCONN) != 0) {
        ::unlink(address.sun_path);
        return false;
    }
    m_server = std::move(server);
    m_serverPath = socketPath;
    m_serverNotifier = std::make_unique<QSocketNotifier>(m_server.Get(), QSocketNotifier::Read);
    connect(m_serverNotifier.get(), &QSocketNotifier::activated, this, &CSingleInstanceApp::OnNewConnection);
    return true;
}

bool CSingleInstanceApp::AskRunningInstance(const QString& windowTitle, bool bringForward) const {
    if (!bringForward)
        return true;
    sockaddr_un address{};
    if (m_channelBase.isEmpty() || !SocketAddress(m_channelBase + QStringLiteral(".sock"), address))
        return false;
    const QByteArray request = "raise\n" + windowTitle.toUtf8() + '\n';
    // The first copy may hold the lock but not listen yet: retry for a short while.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kConnectTimeoutMs) {
        const CUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!socket.IsValid())
            return false;
        if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return WriteAll(socket.Get(), request, kWriteTimeoutMs);
        QThread::msleep(50);
    }
    return false;
}

void CSingleInstanceApp::OnNewConnection() {
    for (;;) {
        CUniqueFd socket(::accept4(m_server.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!socket.IsValid())
            return;  // none left (or a connection that went away before it was taken)
        const int fd = socket.Get();
        CRequest& request = m_requests[fd];
        request.socket = std::move(socket);
        request.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(request.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { OnRequestReadable(fd); });
    }
}

void CSingleInstanceApp::OnRequestReadable(int socket) {
    const auto found = m_requests.find(socket);
    if (found == m_requests.end())
        return;
    CRequest& request = found->second;
    // The request is "raise", a line break, the window title to fall back on, a line break;
    // it is taken as it stands once complete, too long, or cut short by the sender.
    bool ended = false;
    char buffer[1024];
    while (request.text.size() < kMaxRequest) {
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got > 0) {
            request.text.append(buffer, std::min<qsizetype>(got, kMaxRequest - request.text.size()));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        ended = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    if (!ended && request.text.count('\n') < 2 && request.text.size() < kMaxRequest)
        return;
    const QByteArray text = request.text;
    request.notifier->setEnabled(false);
    // Not from inside the notifier's own signal: the request goes once control is back in
    // the loop, or with the application, whichever comes first.
    QMetaObject::invokeMethod(
        this, [this, socket] { m_requests.erase(socket); }, Qt::QueuedConnection);
    HandleRequest(text);
}

void CSingleInstanceApp::HandleRequest(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.value(0) != "raise")
        return;
    if (QWidget* window = FindExistingWindow(QString::fromUtf8(lines.value(1))))
        BringForward(window);
    emit RaiseRequested();
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
