// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Items dragged out of the handheld's file browser travel as five data formats; the last
// one carries a stream: a signed 16-bit little-endian item count, 6 unused bytes, the
// base folder (268 bytes, NUL-terminated), then one 528-byte NUL-terminated record per
// item naming it relative to the base folder. Text is single-byte (Latin-1).
namespace EpocDropFormat {
inline constexpr int kCount = 5;
inline constexpr qsizetype kHeaderSize = 276;
inline constexpr qsizetype kBaseOffset = 8;
inline constexpr qsizetype kBaseSize = 268;
inline constexpr qsizetype kItemSize = 528;

// The five format names, in the order the source offers them; the stream is the last.
QStringList Names();
QString StreamName();
}  // namespace EpocDropFormat

struct EpocDropItems {
    bool ok = false;
    // What is wrong with the stream, and with which item, when not ok.
    QString error;
    // Full EPOC paths: the base folder followed by each item.
    QStringList paths;
};

// Reads a stream from an untrusted source. Anything malformed refuses the whole drop: a
// negative count, fewer records than announced, a text without its NUL, a path that does
// not stay on one of the handheld's drives. Never reads beyond the data.
EpocDropItems ParseEpocDropStream(const QByteArray& stream);

// The stream for items of one folder; empty when a text does not fit its field or is not
// single-byte.
QByteArray BuildEpocDropStream(const QString& baseFolder, const QStringList& items);
