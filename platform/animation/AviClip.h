// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

// The clips the animation control plays: RIFF AVI with one video stream of uncompressed
// (8, 16, 24 or 32 bits per pixel) or RLE8 frames. Other streams (sound) are skipped.

enum class AviCompression { Rgb, Rle8, BitFields };

// Where one frame's bytes lie inside CAviClip::Data. A zero size repeats the previous frame.
struct CAviFrame {
    qsizetype Offset = 0;
    qsizetype Size = 0;
};

struct CAviClip {
    QByteArray Data;  // the whole file; frames point into it
    int Width = 0;
    int Height = 0;
    bool TopDown = false;  // rows stored top first (negative height in the header)
    int BitCount = 0;
    AviCompression Compression = AviCompression::Rgb;
    QList<QRgb> Palette;                                // 8-bit clips only, always 256 entries
    uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;  // 16- and 32-bit clips
    int FrameIntervalMs = 100;
    std::vector<CAviFrame> Frames;

    int FrameCount() const { return static_cast<int>(Frames.size()); }
    // Bytes of one uncompressed row, padded to four bytes.
    qsizetype Stride() const { return ((static_cast<qsizetype>(Width) * BitCount + 31) / 32) * 4; }
};

struct CAviResult {
    bool Ok = false;
    QString Message;  // why it failed; empty on success
    explicit operator bool() const { return Ok; }
};

// Limits that keep a hostile file from making us allocate without bound.
inline constexpr int kAviMaxDimension = 4096;
inline constexpr qsizetype kAviMaxPixels = 4096 * 2048;

// Reads the clip's structure from the file's bytes. Never reads outside data; a file that
// is not such a clip, is truncated or whose sizes disagree with its contents is refused.
// Every frame chunk must hold at least what its format needs (a full uncompressed image).
CAviResult ParseAvi(const QByteArray& data, CAviClip& clip);

// Reads and parses a file, refusing files larger than maxBytes.
CAviResult LoadAviFile(const QString& path, CAviClip& clip, qsizetype maxBytes = 64 * 1024 * 1024);

// Applies frame index onto canvas. For index 0 (or a null canvas) the canvas is created
// afresh; otherwise it must hold the previous frame, because RLE8 frames and empty frames
// only change or repeat it. The canvas is Indexed8 for 8-bit clips and RGB32 otherwise.
// Fails on malformed frame data, leaving the canvas in a defined but unspecified state.
CAviResult DecodeAviFrame(const CAviClip& clip, int index, QImage& canvas);
