// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the animation clips the programs show (a document travelling between a PC and a
// handheld, connecting, synchronizing) and writes them as AVI files. Run by the build, so
// the repository holds no binary assets.
#include "platform/animation/AviWriter.h"

#include <QDir>
#include <QSaveFile>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 56;
constexpr int kFrames = 16;

// A small fixed palette; the first entry is the background the control leaves transparent.
const QList<QRgb> kPalette = {qRgb(192, 192, 192), qRgb(0, 0, 0),     qRgb(255, 255, 255), qRgb(128, 128, 128),
                              qRgb(64, 64, 64),    qRgb(0, 0, 128),   qRgb(0, 96, 192),    qRgb(160, 208, 160),
                              qRgb(0, 128, 0),     qRgb(255, 224, 0), qRgb(200, 0, 0),     qRgb(0, 128, 128),
                              qRgb(224, 224, 224)};

QColor Pal(int i) {
    return QColor(kPalette[i]);
}

void DrawPc(QPainter& p) {
    p.setPen(Pal(1));
    p.setBrush(Pal(12));
    p.drawRect(6, 6, 52, 36);  // monitor
    p.setBrush(Pal(5));
    p.drawRect(10, 10, 44, 28);  // screen
    p.setBrush(Pal(3));
    p.drawRect(26, 43, 12, 4);  // neck
    p.drawRect(14, 47, 36, 5);  // foot
}

void DrawHandheld(QPainter& p, bool lit) {
    p.setPen(Pal(1));
    p.setBrush(Pal(4));
    p.drawRoundedRect(142, 10, 52, 38, 4, 4);  // case
    p.setBrush(lit ? Pal(7) : Pal(3));
    p.drawRect(147, 14, 42, 18);  // screen
    p.setPen(Pal(12));
    for (int row = 0; row < 3; ++row)  // keyboard
        for (int k = 0; k < 7; ++k)
            p.drawPoint(148 + k * 6, 36 + row * 4);
}

void DrawDocument(QPainter& p, QPointF at) {
    const QRectF r(at.x() - 8, at.y() - 10, 16, 20);
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - 5, r.top());
    page.lineTo(r.right(), r.top() + 5);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(Pal(1));
    p.setBrush(Pal(2));
    p.drawPath(page);
    p.setPen(Pal(6));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(r.left() + 3, r.top() + 7 + i * 3), QPointF(r.right() - 3, r.top() + 7 + i * 3));
}

QImage Canvas() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(kPalette[0]);
    return image;
}

// A point on the arc from the PC screen to the handheld screen, t in 0..1.
QPointF Arc(double t) {
    const double x = 32 + (168 - 32) * t;
    const double y = 24 - std::sin(t * M_PI) * 14;
    return {x, y};
}

QList<QImage> Transfer() {
    QList<QImage> frames;
    for (int i = 0; i < kFrames; ++i) {
        QImage image = Canvas();
        QPainter p(&image);
        DrawPc(p);
        DrawHandheld(p, true);
        const int half = kFrames / 2;
        const double t = i < half ? double(i) / (half - 1) : 1.0 - double(i - half) / (half - 1);
        DrawDocument(p, Arc(t));
        frames.append(image);
    }
    return frames;
}

QList<QImage> Connect() {
    QList<QImage> frames;
    for (int i = 0; i < kFrames; ++i) {
        QImage image = Canvas();
        QPainter p(&image);
        DrawPc(p);
        DrawHandheld(p, i >= kFrames - 4);
        p.setPen(QPen(Pal(1), 2));
        p.drawLine(58, 40, 142, 40);  // cable
        p.setPen(Qt::NoPen);
        p.setBrush(Pal(9));
        for (int k = 0; k < 3; ++k) {
            const int x = 60 + ((i * 6 + k * 28) % 80);
            p.drawEllipse(QPoint(x, 40), 3, 3);
        }
        frames.append(image);
    }
    return frames;
}

QList<QImage> Synchronize() {
    QList<QImage> frames;
    for (int i = 0; i < kFrames; ++i) {
        QImage image = Canvas();
        QPainter p(&image);
        DrawPc(p);
        DrawHandheld(p, true);
        const double t = double(i) / (kFrames - 1);
        p.setPen(QPen(Pal(8), 2));
        p.drawLine(70, 16, 130, 16);
        p.drawLine(124, 12, 130, 16), p.drawLine(124, 20, 130, 16);
        p.setPen(QPen(Pal(10), 2));
        p.drawLine(70, 42, 130, 42);
        p.drawLine(76, 38, 70, 42), p.drawLine(76, 46, 70, 42);
        DrawDocument(p, QPointF(76 + 48 * t, 28));
        frames.append(image);
    }
    return frames;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    return file.commit(), true;
}

// Tiny clips of every supported kind, as a starting corpus for the reader's fuzz target.
bool WriteSeeds(const QString& folder) {
    QList<QImage> frames;
    for (int i = 0; i < 3; ++i) {
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(kPalette[size_t(i + 1)]);
        image.setPixel(i, 1, kPalette[5]);
        frames.append(image);
    }
    struct Seed {
        const char* name;
        int bits;
        bool rle;
    };
    const Seed seeds[] = {{"rle8.avi", 8, true},
                          {"rgb8.avi", 8, false},
                          {"rgb16.avi", 16, false},
                          {"rgb24.avi", 24, false},
                          {"rgb32.avi", 32, false}};
    for (const Seed& s : seeds) {
        CAviWriteOptions options;
        options.BitCount = s.bits;
        options.Rle8 = s.rle;
        options.Palette = kPalette;
        if (!WriteFile(folder + u'/' + QString::fromLatin1(s.name), WriteAvi(frames, options)))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--seeds") {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(folder);
        return WriteSeeds(folder) ? 0 : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkclips <output folder> | mkclips --seeds <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    struct Clip {
        const char* name;
        std::function<QList<QImage>()> draw;
        bool rle;
    };
    const Clip clips[] = {
        {"DOdivEdu.avi", Transfer, true}, {"dtconnect.avi", Connect, false}, {"dtsync.avi", Synchronize, true}};
    for (const Clip& clip : clips) {
        CAviWriteOptions options;
        options.Palette = kPalette;
        options.Rle8 = clip.rle;
        options.FrameIntervalMs = 100;
        const QString path = folder + u'/' + QString::fromLatin1(clip.name);
        if (!WriteFile(path, WriteAvi(clip.draw(), options))) {
            std::fprintf(stderr, "mkclips: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
