// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/InstanceLock.h"
#include "platform/base/UniqueFd.h"

#include <QApplication>
#include <QByteArray>
#include <QString>

#include <map>
#include <memory>

class QSocketNotifier;
class QWidget;

// Application base of the programs that must run once per user: a second start asks the
// running copy to bring its main window forward and then ends.
class CSingleInstanceApp : public QApplication {
    Q_OBJECT
public:
    CSingleInstanceApp(int& argc, char** argv);
    ~CSingleInstanceApp() override;

    // The application title: the string table's kIdsAppTitle text, else the application name.
    QString AppTitle() const;

    // Takes the lock RegisterInstance would, before the application object exists, so that a
    // program may start its work beside the toolkit; RegisterInstance then keeps it. Unavailable
    // (nothing taken) when the string table has no application title.
    static CInstanceLock::Result LockBeforeStart(CInstanceLock& lock);

    // True when this is the only instance and its window name is registered. In a second
    // instance, asks the first to restore and raise its window (when bringForward) and
    // returns false; the caller then ends without showing anything. A lock held from
    // LockBeforeStart is kept instead of taken again.
    bool RegisterInstance(int iconId, const QString& windowTitle, bool bringForward, CInstanceLock* held = nullptr);
    // A top-level window of this process whose object name is the instance name, else one
    // titled windowTitle (when given).
    QWidget* FindExistingWindow(const QString& windowTitle = QString()) const;
    // "%s:%x:%x:%x:%x" of title, module identity, class style, cursor and 0. Main windows use
    // it as their object name so that a second start finds them.
    QString InstanceName() const { return m_instanceName; }

    // Stable per program: stands for the module instance handle in the instance name. It
    // depends on the program file's name, not its folder, so installed copies share it.
    static uint32_t ModuleIdentity();

    // Where the guard of a program with this title keeps its lock (".lock") and its socket
    // (".sock"): one name per title and user, whatever folder the program runs from. Empty
    // when the user has no private folder for them.
    static QString ChannelBase(const QString& title);

signals:
    // A second start asked this instance to come forward (after the window was raised).
    void RaiseRequested();

protected:
    // Shown when the instance cannot make itself reachable; a stop-icon message box.
    virtual void ShowRegisterFailure(const QString& text);

private:
    // A second start's request, read as it arrives.
    struct CRequest {
        CUniqueFd socket;
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray text;
    };

    bool Listen(const QString& socketPath);
    void OnNewConnection();
    void OnRequestReadable(int socket);
    void HandleRequest(const QByteArray& text);
    bool AskRunningInstance(const QString& windowTitle, bool bringForward) const;

    QString m_instanceName;
    QString m_channelBase;
    CInstanceLock m_lock;
    // A plain local socket: the toolkit's own would bring in its whole network library.
    CUniqueFd m_server;
    QString m_serverPath;
    std::unique_ptr<QSocketNotifier> m_serverNotifier;
    std::map<int, CRequest> m_requests;
};
