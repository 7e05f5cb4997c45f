// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/Icons.h"

#include "manager/CommandIds.h"

#include <QPainter>
#include <QPainterPath>

namespace {
QPixmap Blank(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A dovetail joint: two interlocking wedges.
void DrawDovetail(QPainter& p, const QRectF& r, const QColor& left, const QColor& right) {
    const qreal w = r.width(), h = r.height(), x = r.left(), y = r.top();
    QPainterPath tail;
    tail.moveTo(x, y + h * 0.15);
    tail.lineTo(x + w * 0.45, y + h * 0.15);
    tail.lineTo(x + w * 0.62, y);
    tail.lineTo(x + w * 0.62, y + h);
    tail.lineTo(x + w * 0.45, y + h * 0.85);
    tail.lineTo(x, y + h * 0.85);
    tail.closeSubpath();
    QPainterPath socket;
    socket.moveTo(x + w, y + h * 0.15);
    socket.lineTo(x + w * 0.7, y + h * 0.15);
    socket.lineTo(x + w * 0.7, y + h * 0.85);
    socket.lineTo(x + w, y + h * 0.85);
    socket.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(left);
    p.drawPath(tail);
    p.setBrush(right);
    p.drawPath(socket);
}

void DrawPage(QPainter& p, const QRect& r, const QColor& fill) {
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(fill);
    p.drawRect(r);
    p.setPen(QPen(QColor(140, 140, 140), 1));
    for (int y = r.top() + 3; y < r.bottom() - 1; y += 2)
        p.drawLine(r.left() + 2, y, r.right() - 2, y);
}

void DrawPlus(QPainter& p, int cx, int cy) {
    p.setPen(QPen(QColor(0, 128, 0), 2));
    p.drawLine(cx - 3, cy, cx + 3, cy);
    p.drawLine(cx, cy - 3, cx, cy + 3);
}

void DrawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color) {
    p.setPen(QPen(color, 1.6));
    p.drawLine(from, to);
    const qreal dir = to.x() > from.x() ? -1 : 1;
    p.drawLine(to, QPointF(to.x() + dir * 3, to.y() - 3));
    p.drawLine(to, QPointF(to.x() + dir * 3, to.y() + 3));
}

QPixmap DrawProgramIcon(int resourceId, int size) {
    QPixmap pixmap = Blank(size, size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(size * 0.06, size * 0.12, size * 0.88, size * 0.76);
    switch (resourceId) {
        case kIdiBindingActive:
            DrawDovetail(p, r, QColor(205, 140, 60), QColor(150, 95, 40));
            break;
        case kIdiBindingPlain:
            DrawDovetail(p, r, QColor(190, 190, 190), QColor(140, 140, 140));
            break;
        case kIdiNoFileIcon:
            DrawPage(p, QRect(size / 5, size / 10, size * 3 / 5, size * 4 / 5), Qt::white);
            break;
        default:
            DrawDovetail(p, r, QColor(205, 140, 60), QColor(70, 110, 170));
            break;
    }
    return pixmap;
}
}  // namespace

QIcon ManagerIcon(int resourceId) {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(DrawProgramIcon(resourceId, size));
    return icon;
}

QIcon ToolbarIcon(int commandId) {
    QPixmap pixmap = Blank(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (commandId) {
        case kCmdAddPcFile:  // a monitor with a plus
            p.setPen(QPen(QColor(40, 40, 40), 1));
            p.setBrush(QColor(90, 140, 200));
            p.drawRect(1, 2, 10, 7);
            p.drawLine(6, 10, 6, 12);
            p.drawLine(3, 12, 9, 12);
            DrawPlus(p, 12, 12);
            break;
        case kCmdAddEpocFile:  // a handheld with a plus
            p.setPen(QPen(QColor(40, 40, 40), 1));
            p.setBrush(QColor(70, 70, 70));
            p.drawRoundedRect(QRectF(1, 4, 11, 7), 1.5, 1.5);
            p.setBrush(QColor(170, 200, 150));
            p.drawRect(3, 5, 7, 4);
            DrawPlus(p, 12, 12);
            break;
        case kCmdProperties:
            DrawPage(p, QRect(2, 1, 10, 13), Qt::white);
            p.setPen(QPen(QColor(30, 60, 160), 2));
            p.drawLine(9, 14, 14, 9);
            break;
        case kCmdDelete:
            p.setPen(QPen(QColor(200, 20, 20), 2.4));
            p.drawLine(3, 3, 13, 13);
            p.drawLine(13, 3, 3, 13);
            break;
        case kCmdPaste:
            p.setPen(QPen(QColor(60, 40, 20), 1));
            p.setBrush(QColor(180, 130, 70));
            p.drawRect(1, 2, 9, 12);
            DrawPage(p, QRect(6, 5, 8, 10), Qt::white);
            break;
        case kCmdSynchronize:
            DrawArrow(p, {2, 5}, {13, 5}, QColor(0, 100, 0));
            DrawArrow(p, {13, 11}, {2, 11}, QColor(0, 60, 160));
            break;
        case kCmdSynchronizeAll:
            DrawArrow(p, {2, 3}, {13, 3}, QColor(0, 100, 0));
            DrawArrow(p, {2, 7}, {13, 7}, QColor(0, 100, 0));
            DrawArrow(p, {13, 13}, {2, 13}, QColor(0, 60, 160));
            break;
        case kCmdPreviewSync:
            // A page with the two arrows seen through a lens.
            DrawPage(p, QRect(1, 1, 9, 12), Qt::white);
            DrawArrow(p, {3, 4}, {8, 4}, QColor(0, 100, 0));
            DrawArrow(p, {8, 8}, {3, 8}, QColor(0, 60, 160));
            p.setPen(QPen(QColor(40, 40, 40), 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(7.5, 7.5, 5, 5));
            p.drawLine(QPointF(12, 12), QPointF(15, 15));
            break;
        default:
            return {};
    }
    return QIcon(pixmap);
}

QPixmap IndicatorBitmap(bool connected) {
    QPixmap pixmap = Blank(23, 13);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor post(60, 60, 60);
    p.setPen(QPen(post, 2));
    p.drawLine(QPointF(1.5, 1), QPointF(1.5, 12));
    p.drawLine(QPointF(21.5, 1), QPointF(21.5, 12));
    if (connected) {
        QPainterPath wave;
        wave.moveTo(3, 6.5);
        for (int i = 0; i < 4; ++i)
            wave.quadTo(3 + i * 4.5 + 2.25, i % 2 ? 11 : 2, 3 + (i + 1) * 4.5, 6.5);
        p.setPen(QPen(QColor(0, 150, 0), 1.6));
        p.drawPath(wave);
    } else {
        p.setPen(QPen(QColor(150, 150, 150), 1.6));
        p.drawLine(QPointF(3, 6.5), QPointF(20, 6.5));
    }
    return pixmap;
}
