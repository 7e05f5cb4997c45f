// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/animation/AviWriter.h"

#include <QtEndian>

namespace {

void Put32(QByteArray& out, uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void Put16(QByteArray& out, uint16_t v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

QByteArray MakeChunk(const char* id, const QByteArray& payload) {
    QByteArray out(id, 4);
    Put32(out, uint32_t(payload.size()));
    out += payload;
    if (payload.size() & 1)
        out.append('\0');
    return out;
}

QByteArray MakeList(const char* type, const QByteArray& content) {
    return MakeChunk("LIST", QByteArray(type, 4) + content);
}

QByteArray UncompressedBits(const QImage& image, int bitCount) {
    const int stride = ((image.width() * bitCount + 31) / 32) * 4;
    QByteArray out;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        auto* r = reinterpret_cast<uint8_t*>(row.data());
        for (int x = 0; x < image.width(); ++x) {
            if (bitCount == 8) {
                r[x] = uint8_t(image.pixelIndex(x, y));
                continue;
            }
            const QRgb c = image.pixel(x, y);
            if (bitCount == 16) {
                const uint16_t v = uint16_t((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3));
                r[2 * x] = uint8_t(v), r[2 * x + 1] = uint8_t(v >> 8);
            } else {
                const int n = bitCount / 8;
                r[n * x] = uint8_t(qBlue(c)), r[n * x + 1] = uint8_t(qGreen(c)), r[n * x + 2] = uint8_t(qRed(c));
            }
        }
        out += row;
    }
    return out;
}

}  // namespace

QByteArray EncodeRle8(const QImage& indexed) {
    QByteArray out;
    const int w = indexed.width();
    for (int y = indexed.height() - 1; y >= 0; --y) {
        const uchar* row = indexed.constScanLine(y);
        int x = 0;
        while (x < w) {
            int run = 1;
            while (x + run < w && run < 255 && row[x + run] == row[x])
                ++run;
            if (run >= 2) {
                out.append(char(run)).append(char(row[x]));
                x += run;
                continue;
            }
            // Literal stretch up to the next repeat.
            int lit = 1;
            while (x + lit < w && lit < 255 && !(x + lit + 1 < w && row[x + lit] == row[x + lit + 1]))
                ++lit;
            if (lit < 3) {
                for (int k = 0; k < lit; ++k)
                    out.append(char(1)).append(char(row[x + k]));
            } else {
                out.append('\0').append(char(lit));
                out.append(reinterpret_cast<const char*>(row + x), lit);
                if (lit & 1)
                    out.append('\0');
            }
            x += lit;
        }
        if (y > 0)
            out.append('\0').append('\0');
    }
    out.append('\0').append(char(1));
    return out;
}

QByteArray WriteAvi(const QList<QImage>& frames, const CAviWriteOptions& options) {
    const int bpp = options.BitCount;
    if (frames.isEmpty() || (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) || (options.Rle8 && bpp != 8) ||
        (bpp == 8 && (options.Palette.isEmpty() || options.Palette.size() > 256)))
        return {};
    const QSize size = frames.first().size();
    QByteArray movi;
    QByteArray index;
    for (const QImage& frame : frames) {
        if (frame.size() != size)
            return {};
        QImage image = bpp == 8 ? frame.convertToFormat(QImage::Format_Indexed8, options.Palette, Qt::ThresholdDither)
                                : frame.convertToFormat(QImage::Format_RGB32);
        const QByteArray bits = options.Rle8 ? EncodeRle8(image) : UncompressedBits(image, bpp);
        index += QByteArray("00dc", 4);
        Put32(index, 0x10);  // key frame
        Put32(index, uint32_t(4 + movi.size()));
        Put32(index, uint32_t(bits.size()));
        movi += MakeChunk("00dc", bits);
    }

    QByteArray avih;
    Put32(avih, uint32_t(options.FrameIntervalMs) * 1000);
    Put32(avih, 0);
    Put32(avih, 0);
    Put32(avih, 0x10);  // has index
    Put32(avih, uint32_t(frames.size()));
    Put32(avih, 0);
    Put32(avih, 1);
    Put32(avih, 0);
    Put32(avih, uint32_t(size.width()));
    Put32(avih, uint32_t(size.height()));
    for (int i = 0; i < 4; ++i)
        Put32(avih, 0);

    QByteArray strh("vids", 4);
    strh += options.Rle8 ? QByteArray("mrle", 4) : QByteArray("DIB ", 4);
    Put32(strh, 0);
    Put16(strh, 0);
    Put16(strh, 0);
    Put32(strh, 0);
    Put32(strh, uint32_t(options.FrameIntervalMs));  // scale
    Put32(strh, 1000);                               // rate
    Put32(strh, 0);
    Put32(strh, uint32_t(frames.size()));
    Put32(strh, 0);
    Put32(strh, 0xFFFFFFFF);
    Put32(strh, 0);
    Put16(strh, 0);
    Put16(strh, 0);
    Put16(strh, uint16_t(size.width()));
    Put16(strh, uint16_t(size.height()));

    QByteArray strf;
    Put32(strf, 40);
    Put32(strf, uint32_t(size.width()));
    Put32(strf, uint32_t(size.height()));
    Put16(strf, 1);
    Put16(strf, uint16_t(bpp));
    Put32(strf, options.Rle8 ? 1 : 0);
    Put32(strf, 0);
    Put32(strf, 0);
    Put32(strf, 0);
    Put32(strf, bpp == 8 ? uint32_t(options.Palette.size()) : 0);
    Put32(strf, 0);
    if (bpp == 8) {
        for (QRgb c : options.Palette) {
            strf.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
        }
    }

    const QByteArray hdrl =
        MakeList("hdrl", MakeChunk("avih", avih) + MakeList("strl", MakeChunk("strh", strh) + MakeChunk("strf", strf)));
    const QByteArray body = QByteArray("AVI ", 4) + hdrl + MakeList("movi", movi) + MakeChunk("idx1", index);
    return MakeChunk("RIFF", body);
}
