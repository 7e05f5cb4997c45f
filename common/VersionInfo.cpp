// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/VersionInfo.h"

#include "common/VersionBlock.h"

#include <QFile>

bool CVersionInfo::Open(const QString& path) {
    Release();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= 0)
        return false;
    // Mapped rather than read: program files can be large and only a few pages are touched.
    uchar* mapped = file.map(0, size);
    if (!mapped)
        return false;
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(size));
    QByteArray block;
    const bool found = FindElfSection(image, QByteArray(kVersionSectionName), block);
    // The section may still point into the mapping; own the bytes before it goes.
    block.detach();
    file.unmap(mapped);
    if (!found || block.isEmpty())
        return false;
    return OpenBlock(block);
}

bool CVersionInfo::OpenBlock(const QByteArray& block) {
    Release();
    QByteArray translation;
    if (!VerQueryValue(block, QStringLiteral("\\VarFileInfo\\Translation"), translation) || translation.size() < 4)
        return false;
    const auto b = [&](int i) { return uint32_t(uint8_t(translation[i])); };
    const uint32_t raw = b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
    m_translation = (raw << 16) | (raw >> 16);
    m_block = block;
    return true;
}

QString CVersionInfo::GetString(const QString& name, uint32_t translation) const {
    if (m_block.isEmpty())
        return QString();
    const uint32_t t = translation ? translation : m_translation;
    const QString key = QStringLiteral("\\StringFileInfo\\%1\\%2").arg(t, 8, 16, QLatin1Char('0')).arg(name);
    QByteArray value;
    if (!VerQueryValue(m_block, key, value))
        return QString();
    QString text;
    for (qsizetype i = 0; i + 1 < value.size(); i += 2) {
        const char16_t c = char16_t(uint8_t(value[i]) | (uint8_t(value[i + 1]) << 8));
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

void CVersionInfo::Release() {
    m_block.clear();
    m_translation = 0;
}
