// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the desktop icons of the menu entries at the icon theme's sizes, as PNG files in the
// theme's folder layout. Run by the build, so the repository holds no binary assets.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The sizes desktops ask the hicolor theme for.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Everything is drawn on a 256-unit square and scaled.
void DrawTile(QPainter& p) {
    QLinearGradient sky(0, 8, 0, 248);
    sky.setColorAt(0, QColor(0x3a, 0x7b, 0xd5));
    sky.setColorAt(1, QColor(0x1f, 0x4e, 0x96));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
}

// Two boards held by two tails: the light board's tails widen into the dark one, which is
// what makes the joint hold.
void DrawJoint(QPainter& p, const QRectF& box) {
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 176.0, box.height() / 144.0);
    const QPen edge(QColor(0x4a, 0x2a, 0x0e), 6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(edge);
    p.setBrush(QColor(0xb0, 0x6e, 0x30));
    p.drawRect(QRectF(68, 0, 108, 144));
    QPainterPath light;
    light.moveTo(0, 0);
    light.lineTo(68, 0);
    light.lineTo(68, 14);
    light.lineTo(112, 4);
    light.lineTo(112, 64);
    light.lineTo(68, 54);
    light.lineTo(68, 90);
    light.lineTo(112, 80);
    light.lineTo(112, 140);
    light.lineTo(68, 130);
    light.lineTo(68, 144);
    light.lineTo(0, 144);
    light.closeSubpath();
    p.setBrush(QColor(0xf4, 0xc9, 0x7f));
    p.drawPath(light);
    p.restore();
}

// A USB stick on a round badge, for the entry that picks the handheld.
void DrawStickBadge(QPainter& p) {
    p.setPen(QPen(QColor(0x1f, 0x4e, 0x96), 8));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(184, 184), 60, 60);
    p.save();
    p.translate(184, 184);
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9a, 0xa4, 0xae));
    p.drawRect(QRectF(-14, -48, 28, 24));  // connector
    p.setBrush(QColor(0x2b, 0x2b, 0x2b));
    p.drawRoundedRect(QRectF(-20, -26, 40, 70), 8, 8);  // body
    p.setBrush(QColor(0xf4, 0xc9, 0x7f));
    p.drawRect(QRectF(-8, -44, 6, 6));
    p.drawRect(QRectF(2, -44, 6, 6));
    p.restore();
}

QImage Draw(int size, bool badge) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    DrawTile(p);
    DrawJoint(p, badge ? QRectF(28, 36, 150, 123) : QRectF(40, 56, 176, 144));
    if (badge)
        DrawStickBadge(p);
    return image;
}

bool Write(const QString& path, const QImage& image) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkicons <output folder>   (writes hicolor/<size>x<size>/apps/*.png)\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (const int size : kSizes) {
        const QString apps = u"%1/hicolor/%2x%2/apps"_s.arg(folder).arg(size);
        if (!QDir().mkpath(apps)) {
            std::fprintf(stderr, "mkicons: cannot create %s\n", qPrintable(apps));
            return 1;
        }
        if (!Write(apps + u"/dovetail.png"_s, Draw(size, false)) ||
            !Write(apps + u"/dovetail-handheld.png"_s, Draw(size, true))) {
            std::fprintf(stderr, "mkicons: cannot write the icons into %s\n", qPrintable(apps));
            return 1;
        }
    }
    return 0;
}
