// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Writes clips the animation control can play. Used by the build's clip generator and by tests.
struct CAviWriteOptions {
    int BitCount = 8;   // 8, 16 (5-5-5), 24 or 32
    bool Rle8 = false;  // 8-bit only: every frame run-length encoded as a full picture
    int FrameIntervalMs = 100;
    QList<QRgb> Palette;  // 8-bit only; the frames are mapped to the nearest entry
};

// An empty result when the frames differ in size or the options make no sense.
QByteArray WriteAvi(const QList<QImage>& frames, const CAviWriteOptions& options);

// Run-length encodes one bottom-up 8-bit picture, ending with the end-of-picture mark.
QByteArray EncodeRle8(const QImage& indexed);
