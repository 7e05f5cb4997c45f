// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// EPOC text files of the simulated handheld: a 16-byte header (three little-endian UIDs
// and their checksum) followed by the text in CP1252, paragraphs ended by 0x06. A text that
// form cannot give back exactly (characters beyond CP1252, CR LF line ends, a 0x06) is kept
// instead as UTF-8 behind a UTF-8 byte-order mark, so nothing is lost on the handheld.

inline constexpr uint32_t kEpocTextUid1 = 0x1000A7E1;
inline constexpr uint32_t kEpocTextUid2 = 0x1000A7E2;
inline constexpr uint32_t kEpocTextUid3 = 0x1000A7E3;
inline constexpr int kEpocFileHeaderSize = 16;
inline constexpr char kEpocParagraph = 0x06;

// CRC-CCITT of the even bytes of the UIDs in the low half, of the odd bytes in the high half.
uint32_t ComputeEpocUidChecksum(uint32_t uid1, uint32_t uid2, uint32_t uid3);
QByteArray MakeEpocFileHeader(uint32_t uid1, uint32_t uid2, uint32_t uid3);
// True when data starts with a header whose checksum is right; the UIDs are then set.
bool ReadEpocFileHeader(const QByteArray& data, uint32_t& uid1, uint32_t& uid2, uint32_t& uid3);

// Characters CP1252 cannot hold become "?" (one per character, surrogate pairs included).
// "\r\n" and "\n" become paragraph delimiters; a literal 0x06 in the text would turn into a
// paragraph break on the way back, so it is replaced by "?" too.
QByteArray EncodeCp1252Text(const QString& text);
// The inverse: 0x06 becomes "\n"; the five bytes CP1252 leaves undefined map to the
// code points of the same value so that nothing is lost.
QString DecodeCp1252Text(const QByteArray& bytes);

// The CP1252 form when it holds the text exactly, else the UTF-8 form.
QByteArray EncodeEpocText(const QString& text);
// Either form. False when data is not an EPOC text file (short, wrong UIDs or bad checksum).
bool DecodeEpocText(const QByteArray& data, QString& text);
