// SPDX-License-Identifier: GPL-3.0-or-later
// Renders every registered window with sample data to <folder>/<name>.png, with a plain
// title bar drawn above the client area so captions and close boxes can be checked too.
#include "tools/screenshots/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QImage WithTitleBar(QWidget& window) {
    const QPixmap client = window.grab();
    const int barHeight = 22;
    QImage image(client.width() + 2, client.height() + barHeight + 1, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 128));
    QPainter p(&image);
    p.fillRect(1, 1, client.width(), barHeight - 1, QColor(0, 0, 128));
    int textLeft = 6;
    if (!window.windowIcon().isNull()) {
        p.drawPixmap(4, 3, window.windowIcon().pixmap(16, 16));
        textLeft = 24;
    }
    QFont font = window.font();
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(textLeft, 1, client.width() - textLeft - 24, barHeight - 1), Qt::AlignVCenter | Qt::AlignLeft,
               window.windowTitle());
    if (window.windowFlags() & Qt::WindowCloseButtonHint || !(window.windowFlags() & Qt::CustomizeWindowHint)) {
        const QRect box(client.width() - 18, 4, 16, 14);
        p.fillRect(box, QColor(192, 192, 192));
        p.setPen(Qt::black);
        p.drawText(box, Qt::AlignCenter, u"x"_s);
    }
    p.drawPixmap(1, barHeight, client);
    return image;
}

void Settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    } while (timer.elapsed() < std::max(ms, 50));
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: dtscreenshots <output folder> [name...]\n");
        return 2;
    }
    const QString folder = args[1];
    const QStringList only = args.mid(2);
    QDir().mkpath(folder);
    int failures = 0;
    for (const CScreenshotEntry& entry : CScreenshot::All()) {
        if (!only.isEmpty() && !only.contains(entry.Name))
            continue;
        std::unique_ptr<QWidget> window = entry.Factory();
        if (!window) {
            std::fprintf(stderr, "%s: no window\n", qPrintable(entry.Name));
            ++failures;
            continue;
        }
        window->show();
        Settle(entry.SettleMs);
        const QString path = folder + u'/' + entry.Name + u".png"_s;
        if (!WithTitleBar(*window).save(path)) {
            std::fprintf(stderr, "%s: cannot write %s\n", qPrintable(entry.Name), qPrintable(path));
            ++failures;
            continue;
        }
        std::printf("%s\n", qPrintable(path));
        window->close();
    }
    return failures == 0 ? 0 : 1;
}
