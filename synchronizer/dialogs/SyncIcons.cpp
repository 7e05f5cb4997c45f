// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/SyncIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

QIcon Draw(const std::function<void(QPainter&)>& paint) {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);  // drawn on a 32 x 32 grid
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void Page(QPainter& p, QRectF r) {
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - 4, r.top());
    page.lineTo(r.right(), r.top() + 4);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setPen(QPen(QColor(0, 90, 180), 1));
    for (double y = r.top() + 6; y < r.bottom() - 2; y += 3)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void Handheld(QPainter& p, QRectF r) {
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(QColor(170, 210, 160));
    p.drawRect(r.adjusted(2, 2, -2, -r.height() / 2));
}

void Arrow(QPainter& p, QPointF from, QPointF to, QColor colour) {
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const double dir = to.x() > from.x() ? -1 : 1;
    p.drawLine(to, to + QPointF(dir * 3, -3));
    p.drawLine(to, to + QPointF(dir * 3, 3));
}

}  // namespace

QIcon DovetailSyncIcon() {
    return Draw([](QPainter& p) {
        Page(p, QRectF(1.5, 3.5, 13, 17));
        Handheld(p, QRectF(17.5, 13.5, 13, 15));
        Arrow(p, QPointF(12, 24), QPointF(16, 24), QColor(0, 140, 0));
        Arrow(p, QPointF(22, 8), QPointF(16, 8), QColor(200, 60, 0));
    });
}

QIcon PromptIcon() {
    return Draw([](QPainter& p) {
        Page(p, QRectF(2.5, 4.5, 12, 16));
        Handheld(p, QRectF(12.5, 12.5, 12, 14));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 80, 200));
        p.drawEllipse(QPointF(24, 9), 7.5, 7.5);
        QFont font;
        font.setPixelSize(12);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(16.5, 1.5, 15, 15), Qt::AlignCenter, QStringLiteral("?"));
    });
}

QIcon CopyErrorIcon() {
    return Draw([](QPainter& p) {
        QPainterPath triangle;
        triangle.moveTo(16, 2);
        triangle.lineTo(30.5, 29);
        triangle.lineTo(1.5, 29);
        triangle.closeSubpath();
        p.setPen(QPen(QColor(60, 40, 0), 1));
        p.setBrush(QColor(255, 210, 0));
        p.drawPath(triangle);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRoundedRect(QRectF(14.5, 10, 3, 11), 1.5, 1.5);
        p.drawEllipse(QPointF(16, 25), 1.8, 1.8);
    });
}
