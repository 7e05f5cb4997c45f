// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (the terminal or session going) into a Qt signal on the thread that created the
// watcher: the handler only writes a byte to a socket pair, the event loop reads it. One watcher per process.
class CSignalWatcher final : public QObject {
    Q_OBJECT
public:
    explicit CSignalWatcher(QObject* parent = nullptr);
    ~CSignalWatcher() override;

    // False when the handlers could not be installed (the default action then applies).
    bool IsInstalled() const { return m_installed; }

signals:
    void TerminationRequested(int signalNumber);

private:
    void ReadSignal();

    // The socket pair's ends; the handler writes through a plain copy of the first.
    CUniqueFd m_writeEnd;
    CUniqueFd m_readEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_installed = false;
};
