// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/animation/AviClip.h"

#include "platform/base/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxFrames = 100000;

uint32_t U32(const QByteArray& d, qsizetype at) {
    const auto* p = reinterpret_cast<const uint8_t*>(d.constData()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t U16(const QByteArray& d, qsizetype at) {
    const auto* p = reinterpret_cast<const uint8_t*>(d.constData()) + at;
    return uint16_t(p[0] | p[1] << 8);
}

bool IsFourCc(const QByteArray& d, qsizetype at, const char (&code)[5]) {
    return std::memcmp(d.constData() + at, code, 4) == 0;
}

CAviResult Fail(const QString& message) {
    return {false, message};
}
CAviResult Success() {
    return {true, {}};
}

// One chunk: its four-character code and the extent of its payload within the file.
struct Chunk {
    qsizetype Id = 0;  // offset of the code
    qsizetype Begin = 0;
    qsizetype End = 0;
    qsizetype Size() const { return End - Begin; }
};

// Calls visit for every chunk between begin and end. A chunk that claims more bytes than its
// parent holds makes the whole walk fail.
CAviResult WalkChunks(const QByteArray& d, qsizetype begin, qsizetype end,
                      const std::function<CAviResult(const Chunk&)>& visit) {
    qsizetype pos = begin;
    while (end - pos >= 8) {
        const uint32_t size = U32(d, pos + 4);
        if (size > uint64_t(end - pos - 8))
            return Fail(u"a chunk runs past the end of its container"_s);
        Chunk chunk{pos, pos + 8, pos + 8 + qsizetype(size)};
        if (const CAviResult r = visit(chunk); !r)
            return r;
        pos = chunk.End + (size & 1);
    }
    return Success();
}

bool IsList(const QByteArray& d, const Chunk& c, const char (&type)[5]) {
    return IsFourCc(d, c.Id, "LIST") && c.Size() >= 4 && IsFourCc(d, c.Begin, type);
}

bool MaskShape(uint32_t mask, int& shift, int& bits) {
    if (mask == 0)
        return false;
    shift = std::countr_zero(mask);
    const uint32_t m = mask >> shift;
    bits = std::countr_one(m);
    return bits <= 16 && (m >> bits) == 0;
}

struct StreamInfo {
    bool Found = false;
    int Number = -1;
    uint32_t Scale = 0, Rate = 0;
};

CAviResult ParseFormat(const QByteArray& d, const Chunk& strf, CAviClip& clip) {
    if (strf.Size() < 40)
        return Fail(u"the video format is too short"_s);
    const qsizetype b = strf.Begin;
    const uint32_t headerSize = U32(d, b);
    if (headerSize < 40 || headerSize > uint64_t(strf.Size()))
        return Fail(u"the video format has a bad header size"_s);
    const int64_t width = int32_t(U32(d, b + 4));
    const int64_t height = int32_t(U32(d, b + 8));
    const int bitCount = U16(d, b + 14);
    const uint32_t compression = U32(d, b + 16);
    const uint32_t colorsUsed = U32(d, b + 32);
    if (width <= 0 || width > kAviMaxDimension || height == 0 || height > kAviMaxDimension ||
        height < -kAviMaxDimension || width * std::abs(height) > kAviMaxPixels)
        return Fail(u"the frame size is out of range"_s);
    clip.Width = int(width);
    clip.Height = int(std::abs(height));
    clip.TopDown = height < 0;
    clip.BitCount = bitCount;

    if (compression == 0 && (bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32)) {
        clip.Compression = AviCompression::Rgb;
        if (bitCount == 16) {
            clip.RedMask = 0x7C00, clip.GreenMask = 0x03E0, clip.BlueMask = 0x001F;
        } else if (bitCount == 32) {
            clip.RedMask = 0xFF0000, clip.GreenMask = 0xFF00, clip.BlueMask = 0xFF;
        }
    } else if (compression == 1 && bitCount == 8) {
        if (clip.TopDown)
            return Fail(u"run-length frames must be stored bottom up"_s);
        clip.Compression = AviCompression::Rle8;
    } else if (compression == 3 && (bitCount == 16 || bitCount == 32)) {
        if (strf.Size() < 52)
            return Fail(u"the colour masks are missing"_s);
        clip.Compression = AviCompression::BitFields;
        clip.RedMask = U32(d, b + 40), clip.GreenMask = U32(d, b + 44), clip.BlueMask = U32(d, b + 48);
        int shift = 0, bits = 0;
        if (!MaskShape(clip.RedMask, shift, bits) || !MaskShape(clip.GreenMask, shift, bits) ||
            !MaskShape(clip.BlueMask, shift, bits))
            return Fail(u"the colour masks are not usable"_s);
    } else {
        return Fail(u"the video format is not supported"_s);
    }

    clip.Palette.clear();
    if (bitCount == 8) {
        const uint32_t count = colorsUsed == 0 ? 256 : colorsUsed;
        if (count > 256 || count * 4 > uint64_t(strf.Size() - headerSize))
            return Fail(u"the palette is missing or too large"_s);
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype at = b + headerSize + i * 4;
            const auto* p = reinterpret_cast<const uint8_t*>(d.constData()) + at;
            clip.Palette.append(qRgb(p[2], p[1], p[0]));
        }
        while (clip.Palette.size() < 256)
            clip.Palette.append(qRgb(0, 0, 0));
    }
    return Success();
}

CAviResult ParseStreamList(const QByteArray& d, const Chunk& strl, int number, StreamInfo& video, CAviClip& clip) {
    bool isVideo = false;
    return WalkChunks(d, strl.Begin + 4, strl.End, [&](const Chunk& c) -> CAviResult {
        if (IsFourCc(d, c.Id, "strh")) {
            if (c.Size() < 48)
                return Fail(u"a stream header is too short"_s);
            isVideo = IsFourCc(d, c.Begin, "vids") && !video.Found;
            if (isVideo) {
                video.Number = number;
                video.Scale = U32(d, c.Begin + 20);
                video.Rate = U32(d, c.Begin + 24);
            }
        } else if (IsFourCc(d, c.Id, "strf") && isVideo) {
            if (const CAviResult r = ParseFormat(d, c, clip); !r)
                return r;
            video.Found = true;
        }
        return Success();
    });
}

}  // namespace

CAviResult ParseAvi(const QByteArray& data, CAviClip& clip) {
    clip = CAviClip{};
    const QByteArray& d = data;
    if (d.size() < 12 || !IsFourCc(d, 0, "RIFF") || !IsFourCc(d, 8, "AVI "))
        return Fail(u"not an AVI clip"_s);
    const uint32_t riffSize = U32(d, 4);
    if (riffSize < 4 || riffSize > uint64_t(d.size() - 8))
        return Fail(u"the clip is truncated"_s);
    const qsizetype riffEnd = 8 + qsizetype(riffSize);

    bool haveMainHeader = false;
    uint32_t microSecPerFrame = 0;
    StreamInfo video;
    Chunk movi;
    bool haveMovi = false;
    int streamNumber = 0;

    CAviResult r = WalkChunks(d, 12, riffEnd, [&](const Chunk& top) -> CAviResult {
        if (IsList(d, top, "hdrl")) {
            return WalkChunks(d, top.Begin + 4, top.End, [&](const Chunk& c) -> CAviResult {
                if (IsFourCc(d, c.Id, "avih")) {
                    if (c.Size() < 56)
                        return Fail(u"the main header is too short"_s);
                    microSecPerFrame = U32(d, c.Begin);
                    haveMainHeader = true;
                } else if (IsList(d, c, "strl")) {
                    return ParseStreamList(d, c, streamNumber++, video, clip);
                }
                return Success();
            });
        }
        if (IsList(d, top, "movi") && !haveMovi) {
            movi = top;
            haveMovi = true;
        }
        return Success();
    });
    if (!r)
        return r;
    if (!haveMainHeader)
        return Fail(u"the main header is missing"_s);
    if (!video.Found)
        return Fail(u"the clip has no video stream"_s);
    if (!haveMovi)
        return Fail(u"the clip has no frames"_s);
    if (video.Number > 99)
        return Fail(u"too many streams"_s);

    const QByteArray prefix = QByteArray::number(video.Number).rightJustified(2, '0');
    const qsizetype imageBytes = clip.Stride() * clip.Height;
    const bool uncompressed = clip.Compression != AviCompression::Rle8;
    std::function<CAviResult(const Chunk&)> visitFrame = [&](const Chunk& c) -> CAviResult {
        if (IsList(d, c, "rec "))
            return WalkChunks(d, c.Begin + 4, c.End, visitFrame);
        if (std::memcmp(d.constData() + c.Id, prefix.constData(), 2) != 0)
            return Success();
        if (d[c.Id + 2] != 'd' || (d[c.Id + 3] != 'b' && d[c.Id + 3] != 'c'))
            return Success();  // palette changes, sound and the like
        if (uncompressed && c.Size() != 0 && c.Size() < imageBytes)
            return Fail(u"a frame is shorter than its image"_s);
        if (clip.Frames.size() >= size_t(kMaxFrames))
            return Fail(u"the clip has too many frames"_s);
        clip.Frames.push_back({c.Begin, c.Size()});
        return Success();
    };
    r = WalkChunks(d, movi.Begin + 4, movi.End, visitFrame);
    if (!r)
        return r;
    if (clip.Frames.empty())
        return Fail(u"the clip has no frames"_s);

    uint64_t micro = microSecPerFrame;
    if (micro == 0 && video.Rate != 0 && video.Scale != 0)
        micro = uint64_t(video.Scale) * 1000000 / video.Rate;
    if (micro != 0)
        clip.FrameIntervalMs = int(std::clamp<uint64_t>(micro / 1000, 10, 10000));
    clip.Data = data;
    return Success();
}

CAviResult LoadAviFile(const QString& path, CAviClip& clip, qsizetype maxBytes) {
    // The clip's path comes from the store: a pipe or device named there must not hang the window.
    CUniqueFd fd = OpenRegularFile(AT_FDCWD, QFile::encodeName(path).constData());
    QFile file;
    if (!fd.IsValid() || !file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return Fail(u"cannot open %1"_s.arg(path));
    fd.Release();
    if (file.size() > maxBytes)
        return Fail(u"%1 is too large"_s.arg(path));
    const QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes)
        return Fail(u"%1 is too large"_s.arg(path));
    return ParseAvi(data, clip);
}

namespace {

uint8_t Scale(uint32_t value, uint32_t mask) {
    int shift = 0, bits = 0;
    MaskShape(mask, shift, bits);
    const uint32_t max = (1u << bits) - 1;
    return uint8_t(((value & mask) >> shift) * 255 / max);
}

CAviResult DecodeUncompressed(const CAviClip& clip, const CAviFrame& frame, QImage& canvas) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(clip.Data.constData()) + frame.Offset;
    const qsizetype stride = clip.Stride();
    for (int y = 0; y < clip.Height; ++y) {
        const uint8_t* row = bytes + stride * (clip.TopDown ? y : clip.Height - 1 - y);
        uchar* out = canvas.scanLine(y);
        switch (clip.BitCount) {
            case 8:
                std::memcpy(out, row, size_t(clip.Width));
                break;
            case 16:
                for (int x = 0; x < clip.Width; ++x) {
                    const uint32_t v = uint32_t(row[2 * x] | row[2 * x + 1] << 8);
                    reinterpret_cast<QRgb*>(out)[x] =
                        qRgb(Scale(v, clip.RedMask), Scale(v, clip.GreenMask), Scale(v, clip.BlueMask));
                }
                break;
            case 24:
                for (int x = 0; x < clip.Width; ++x)
                    reinterpret_cast<QRgb*>(out)[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            case 32:
                for (int x = 0; x < clip.Width; ++x) {
                    const uint32_t v = uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 |
                                       uint32_t(row[4 * x + 2]) << 16 | uint32_t(row[4 * x + 3]) << 24;
                    reinterpret_cast<QRgb*>(out)[x] =
                        qRgb(Scale(v, clip.RedMask), Scale(v, clip.GreenMask), Scale(v, clip.BlueMask));
                }
                break;
        }
    }
    return Success();
}

// Run-length frames draw onto the previous picture; pixels they do not mention stay.
// Writes beyond the picture are dropped, as the classic decoders do.
CAviResult DecodeRle8(const CAviClip& clip, const CAviFrame& frame, QImage& canvas) {
    const auto* p = reinterpret_cast<const uint8_t*>(clip.Data.constData()) + frame.Offset;
    const qsizetype n = frame.Size;
    qsizetype i = 0;
    int64_t x = 0, y = 0;  // y counts from the bottom row
    // Writes count pixels from value(k); pixels right of the picture only advance x, so a
    // long run of huge counts costs no time.
    auto put = [&](int count, auto value) {
        if (y < clip.Height && x < clip.Width) {
            uchar* row = canvas.scanLine(clip.Height - 1 - int(y));
            const int visible = int(std::min<int64_t>(count, clip.Width - x));
            for (int k = 0; k < visible; ++k)
                row[x + k] = value(k);
        }
        x += count;
    };
    while (i + 1 < n) {
        const uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            put(count, [value](int) { return value; });
            continue;
        }
        if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return Success();
        } else if (value == 2) {
            if (i + 1 >= n)
                return Fail(u"a frame ends inside a skip"_s);
            x += p[i], y += p[i + 1];
            i += 2;
        } else {
            if (n - i < value)
                return Fail(u"a frame ends inside a literal run"_s);
            const uint8_t* literal = p + i;
            put(value, [literal](int k) { return literal[k]; });
            i += value + (value & 1);
        }
        if (y >= clip.Height)
            return Success();
    }
    return Success();
}

}  // namespace

CAviResult DecodeAviFrame(const CAviClip& clip, int index, QImage& canvas) {
    if (index < 0 || index >= clip.FrameCount())
        return Fail(u"no such frame"_s);
    const CAviFrame& frame = clip.Frames[size_t(index)];
    if (frame.Offset < 0 || frame.Size < 0 || frame.Offset + frame.Size > clip.Data.size())
        return Fail(u"the frame lies outside the clip"_s);
    const QImage::Format format = clip.BitCount == 8 ? QImage::Format_Indexed8 : QImage::Format_RGB32;
    if (index == 0 || canvas.isNull() || canvas.format() != format || canvas.width() != clip.Width ||
        canvas.height() != clip.Height) {
        canvas = QImage(clip.Width, clip.Height, format);
        if (canvas.isNull())
            return Fail(u"out of memory"_s);
        if (format == QImage::Format_Indexed8)
            canvas.setColorTable(clip.Palette);
        canvas.fill(0);
    }
    if (frame.Size == 0)
        return Success();
    if (clip.Compression == AviCompression::Rle8)
        return DecodeRle8(clip, frame, canvas);
    if (frame.Size < clip.Stride() * clip.Height)
        return Fail(u"a frame is shorter than its image"_s);
    return DecodeUncompressed(clip, frame, canvas);
}
