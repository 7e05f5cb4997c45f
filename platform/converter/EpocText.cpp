// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/EpocText.h"

#include "platform/engine/EpocUid.h"

#include <QHash>
#include <QtEndian>

#include <array>

namespace {

// Opens the UTF-8 form of the body. The 8-bit form never starts with these three bytes: a
// text that would is written in the UTF-8 form.
const QByteArray kUtf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");

// 0x80-0x9F; 0 marks the five bytes CP1252 leaves undefined.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

const QHash<char16_t, char>& ReverseHighControls() {
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int i = 0; i < 32; ++i) {
            if (kHighControls[i] != 0)
                t.insert(kHighControls[i], static_cast<char>(0x80 + i));
        }
        return t;
    }();
    return table;
}

}  // namespace

uint32_t ComputeEpocUidChecksum(uint32_t uid1, uint32_t uid2, uint32_t uid3) {
    // One checksum for the whole system: the engine validates the headers we write.
    return EpocUidChecksum(uid1, uid2, uid3);
}

QByteArray MakeEpocFileHeader(uint32_t uid1, uint32_t uid2, uint32_t uid3) {
    QByteArray header(kEpocFileHeaderSize, '\0');
    auto* p = reinterpret_cast<uint8_t*>(header.data());
    qToLittleEndian(uid1, p);
    qToLittleEndian(uid2, p + 4);
    qToLittleEndian(uid3, p + 8);
    qToLittleEndian(ComputeEpocUidChecksum(uid1, uid2, uid3), p + 12);
    return header;
}

bool ReadEpocFileHeader(const QByteArray& data, uint32_t& uid1, uint32_t& uid2, uint32_t& uid3) {
    if (data.size() < kEpocFileHeaderSize)
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
    const uint32_t u1 = qFromLittleEndian<uint32_t>(p);
    const uint32_t u2 = qFromLittleEndian<uint32_t>(p + 4);
    const uint32_t u3 = qFromLittleEndian<uint32_t>(p + 8);
    if (qFromLittleEndian<uint32_t>(p + 12) != ComputeEpocUidChecksum(u1, u2, u3))
        return false;
    uid1 = u1;
    uid2 = u2;
    uid3 = u3;
    return true;
}

QByteArray EncodeCp1252Text(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    const auto& reverse = ReverseHighControls();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            out.append(kEpocParagraph);
            ++i;
        } else if (c == u'\n') {
            out.append(kEpocParagraph);
        } else if (c == 0x06) {
            out.append('?');
        } else if (c < 0x80 || c >= 0xA0) {
            if (c <= 0xFF) {
                out.append(static_cast<char>(c));
            } else if (auto it = reverse.constFind(c); it != reverse.constEnd()) {
                out.append(it.value());
            } else {
                out.append('?');
                if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                    ++i;
            }
        } else if (kHighControls[c - 0x80] == 0) {
            out.append(static_cast<char>(c));  // undefined slot: kept as the same byte
        } else {
            out.append('?');
        }
    }
    return out;
}

QString DecodeCp1252Text(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        if (b == static_cast<uint8_t>(kEpocParagraph))
            out.append(u'\n');
        else if (b >= 0x80 && b < 0xA0 && kHighControls[b - 0x80] != 0)
            out.append(QChar(kHighControls[b - 0x80]));
        else
            out.append(QChar(char16_t(b)));
    }
    return out;
}

QByteArray EncodeEpocText(const QString& text) {
    const QByteArray header = MakeEpocFileHeader(kEpocTextUid1, kEpocTextUid2, kEpocTextUid3);
    const QByteArray cp1252 = EncodeCp1252Text(text);
    // The handheld's 8-bit form whenever it is exact, so such files stay as they always were.
    if (!cp1252.startsWith(kUtf8Mark) && DecodeCp1252Text(cp1252) == text)
        return header + cp1252;
    return header + kUtf8Mark + text.toUtf8();
}

bool DecodeEpocText(const QByteArray& data, QString& text) {
    uint32_t u1 = 0, u2 = 0, u3 = 0;
    if (!ReadEpocFileHeader(data, u1, u2, u3) || u1 != kEpocTextUid1 || u2 != kEpocTextUid2 || u3 != kEpocTextUid3)
        return false;
    const QByteArray body = data.mid(kEpocFileHeaderSize);
    text = body.startsWith(kUtf8Mark) ? QString::fromUtf8(body.mid(kUtf8Mark.size())) : DecodeCp1252Text(body);
    return true;
}
