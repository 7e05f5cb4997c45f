// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QThread>

#include <memory>

// Xvfb and openbox on a display of their own, ended when the object goes.
class CWindowManagerDisplay {
public:
    ~CWindowManagerDisplay() {
        for (QProcess* process : {m_windowManager.get(), m_server.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(5000))
                    process->kill();
                process->waitForFinished(2000);
            }
        }
    }

    // Empty when running, else why not.
    QString Start() {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
        }
        m_server = std::make_unique<QProcess>();
        // The server picks a free display and writes its number on standard output.
        m_server->start(
            QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server->waitForStarted(5000))
            return QStringLiteral("Xvfb does not start");
        while (!m_server->canReadLine() && m_server->waitForReadyRead(10000)) {
        }
        const QString number = QString::fromLatin1(m_server->readLine()).trimmed();
        if (number.isEmpty())
            return QStringLiteral("Xvfb named no display");
        m_display = QLatin1Char(':') + number;
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("DISPLAY"), m_display);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_windowManager = std::make_unique<QProcess>();
        m_windowManager->setProcessEnvironment(m_env);
        m_windowManager->start(QStringLiteral("openbox"), {});
        if (!m_windowManager->waitForStarted(5000))
            return QStringLiteral("openbox does not start");
        const bool managed = QTest::qWaitFor(
            [this] {
                return Run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QStringLiteral("window id"));
            },
            30000);  // a loaded machine (a sanitized build, tests side by side) is slow to start it
        return managed ? QString() : QStringLiteral("openbox does not manage the display");
    }

    const QProcessEnvironment& Environment() const { return m_env; }

    // Runs a tool on the display; its standard output, empty on failure or after timeoutMs.
    QString Run(const QString& program, const QStringList& arguments, int timeoutMs = 15000) const {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(program, arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(2000);
            return {};
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    // The window whose title matches, once it is visible; empty after timeoutMs.
    QString WaitForWindow(const QString& titlePattern, int timeoutMs = 20000) const {
        const QString id = Run(QStringLiteral("xdotool"),
                               {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--name"), titlePattern},
                               timeoutMs);
        return id.section(QLatin1Char('\n'), 0, 0).trimmed();
    }

    // Waits until the window manager has framed the window and its place and size hold still
    // (the manager takes the frame off its stored size once the frame is known).
    bool WaitUntilSettled(const QString& window, int timeoutMs = 5000) const {
        QRect last;
        int steady = 0;
        return QTest::qWaitFor(
            [&] {
                if (!Run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")})
                         .contains(QLatin1Char('=')))
                    return false;
                const QRect now = Geometry(window);
                steady = now == last ? steady + 1 : 0;
                last = now;
                return steady >= 3;
            },
            timeoutMs);
    }

    // Client rectangle of a window on the screen, as the X server has it.
    QRect Geometry(const QString& window) const {
        const QString text = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        QRect rect;
        for (QString line : text.split(QLatin1Char('\n'))) {
            line = line.trimmed();
            const int value = line.section(QLatin1Char(':'), 1).trimmed().toInt();
            if (line.startsWith(QStringLiteral("Absolute upper-left X:")))
                rect.moveLeft(value);
            else if (line.startsWith(QStringLiteral("Absolute upper-left Y:")))
                rect.moveTop(value);
            else if (line.startsWith(QStringLiteral("Width:")))
                rect.setWidth(value);
            else if (line.startsWith(QStringLiteral("Height:")))
                rect.setHeight(value);
        }
        return rect;
    }

    // Keys typed into the window, after the window manager has given it the focus; without a
    // window, into the one that has it (a modal box).
    void Keys(const QString& window, const QStringList& keys) const {
        if (!window.isEmpty())
            Run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        for (const QString& key : keys) {
            Run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
            QThread::msleep(300);
        }
    }

private:
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    QString m_display;
    QProcessEnvironment m_env;
};
