// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/EpocDropStream.h"

#include <cstdint>
#include <cstring>

namespace EpocDropFormat {
QStringList Names() {
    return {QStringLiteral("application/x-epoc-item-list"), QStringLiteral("application/x-epoc-file-name"),
            QStringLiteral("application/x-epoc-file-name-wide"), QStringLiteral("application/x-epoc-drop-effect"),
            StreamName()};
}
QString StreamName() {
    return QStringLiteral("application/x-epoc-file-contents");
}
}  // namespace EpocDropFormat

namespace {
using namespace EpocDropFormat;

// The text up to its NUL within [offset, offset + size); false when there is no NUL.
bool ReadField(const QByteArray& data, qsizetype offset, qsizetype size, QString& out) {
    const char* begin = data.constData() + offset;
    const void* nul = std::memchr(begin, 0, static_cast<std::size_t>(size));
    if (!nul)
        return false;
    out = QString::fromLatin1(begin, static_cast<const char*>(nul) - begin);
    return true;
}

// A path on a handheld drive ("C:\...") without a step out of it.
bool StaysOnDrive(const QString& path) {
    if (path.size() < 3 || !path[0].isLetter() || path[0].unicode() > 0x7F || path[1] != QLatin1Char(':') ||
        path[2] != QLatin1Char('\\'))
        return false;
    const QStringList parts = path.mid(3).split(QLatin1Char('\\'));
    for (const QString& part : parts) {
        if (part == QStringLiteral("..") || part == QStringLiteral(".") || part.contains(QLatin1Char(':')) ||
            part.contains(QLatin1Char('/')))
            return false;
    }
    return true;
}

EpocDropItems Refuse(const QString& error) {
    EpocDropItems result;
    result.error = error;
    return result;
}
}  // namespace

EpocDropItems ParseEpocDropStream(const QByteArray& stream) {
    if (stream.size() < kHeaderSize)
        return Refuse(QStringLiteral("The dropped data is %1 bytes long, too short for its %2-byte header.")
                          .arg(stream.size())
                          .arg(kHeaderSize));
    int16_t count = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.constData());
    count = static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
    if (count < 0)
        return Refuse(QStringLiteral("The dropped data announces a negative number of items (%1).").arg(count));
    const qsizetype held = (stream.size() - kHeaderSize) / kItemSize;
    if (count > held)
        return Refuse(QStringLiteral("The dropped data announces %1 items but holds only %2.").arg(count).arg(held));
    QString base;
    if (!ReadField(stream, kBaseOffset, kBaseSize, base))
        return Refuse(
            QStringLiteral("The base folder of the dropped items has no end within its %1 bytes.").arg(kBaseSize));
    EpocDropItems result;
    for (int i = 0; i < count; ++i) {
        QString item;
        if (!ReadField(stream, kHeaderSize + i * kItemSize, kItemSize, item))
            return Refuse(QStringLiteral("Item %1 of the dropped data has no end within its %2 bytes.")
                              .arg(i + 1)
                              .arg(kItemSize));
        const QString path = base + item;
        if (!StaysOnDrive(path))
            return Refuse(QStringLiteral("Item %1 of the dropped data (%2) is not a path on the handheld's drives.")
                              .arg(i + 1)
                              .arg(path));
        result.paths << path;
    }
    result.ok = true;
    return result;
}

QByteArray BuildEpocDropStream(const QString& baseFolder, const QStringList& items) {
    if (items.size() > INT16_MAX)
        return {};
    const auto fits = [](const QString& text, qsizetype size) {
        const QByteArray latin = text.toLatin1();
        return latin.size() < size && QString::fromLatin1(latin) == text && !latin.contains('\0');
    };
    if (!fits(baseFolder, kBaseSize))
        return {};
    QByteArray stream(kHeaderSize + items.size() * kItemSize, '\0');
    const auto count = static_cast<uint16_t>(items.size());
    stream[0] = static_cast<char>(count & 0xFF);
    stream[1] = static_cast<char>(count >> 8);
    const QByteArray base = baseFolder.toLatin1();
    std::memcpy(stream.data() + kBaseOffset, base.constData(), static_cast<std::size_t>(base.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!fits(items[i], kItemSize))
            return {};
        const QByteArray item = items[i].toLatin1();
        std::memcpy(stream.data() + kHeaderSize + i * kItemSize, item.constData(),
                    static_cast<std::size_t>(item.size()));
    }
    return stream;
}
