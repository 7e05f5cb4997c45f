// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Reads text values such as "ProductVersion" from the version block embedded in a program
// file. Lives for one use.
class CVersionInfo {
public:
    CVersionInfo() = default;
    ~CVersionInfo() { Release(); }
    CVersionInfo(const CVersionInfo&) = delete;
    CVersionInfo& operator=(const CVersionInfo&) = delete;

    // True when the file's version block and its translation table were read.
    bool Open(const QString& path);
    // Same over a block already in memory.
    bool OpenBlock(const QByteArray& block);
    // The value's text, or empty. translation 0 means the one Open found.
    QString GetString(const QString& name, uint32_t translation = 0) const;
    void Release();

    // Language in the high half, code page in the low half: "%08lx" gives 040904e4.
    uint32_t Translation() const { return m_translation; }

private:
    QByteArray m_block;
    uint32_t m_translation = 0;
};
