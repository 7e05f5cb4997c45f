// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap SetupPicture(const QSize& size) {
    QPixmap pixmap(size);
    const qreal w = size.width();
    const qreal h = size.height();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(0, 40, 120));
    sky.setColorAt(1, QColor(0, 128, 160));
    p.fillRect(pixmap.rect(), sky);

    // Two boards meeting in a dovetail joint across the middle.
    const qreal jointY = h * 0.5;
    const QColor upper(214, 170, 110);
    const QColor lower(176, 124, 70);
    const QRectF top(w * 0.2, h * 0.22, w * 0.6, jointY - h * 0.22);
    const QRectF bottom(w * 0.2, jointY, w * 0.6, h * 0.28);
    p.setPen(QPen(QColor(60, 40, 20), 1));
    p.setBrush(upper);
    p.drawRect(top);
    p.setBrush(lower);
    p.drawRect(bottom);
    QPainterPath tail;
    const qreal cx = w * 0.5;
    const qreal neck = w * 0.1;
    const qreal flare = w * 0.2;
    const qreal depth = h * 0.08;
    tail.moveTo(cx - neck, jointY);
    tail.lineTo(cx + neck, jointY);
    tail.lineTo(cx + flare, jointY - depth);
    tail.lineTo(cx - flare, jointY - depth);
    tail.closeSubpath();
    p.setBrush(lower);
    p.drawPath(tail);

    // A monitor above, the handheld below.
    p.setBrush(QColor(230, 230, 230));
    const QRectF screen(w * 0.25, h * 0.05, w * 0.5, h * 0.12);
    p.drawRoundedRect(screen, 2, 2);
    p.setBrush(QColor(40, 90, 160));
    p.drawRect(screen.adjusted(w * 0.05, h * 0.015, -w * 0.05, -h * 0.015));
    p.setBrush(QColor(60, 60, 60));
    const QRectF device(w * 0.22, h * 0.83, w * 0.56, h * 0.12);
    p.drawRoundedRect(device, 3, 3);
    p.setBrush(QColor(160, 200, 160));
    p.drawRect(device.adjusted(w * 0.06, h * 0.02, -w * 0.06, -h * 0.02));
    return pixmap;
}
