// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class IConverterInterface;

// The save dialog's type list for an EPOC file: one entry per converter that takes the
// file's type, then "No conversion". Entries are numbered from 0 in converter order.
class CPcTargetFilter {
public:
    static constexpr int kBufferSize = 512;
    static constexpr int kMaxEntries = 255;

    CPcTargetFilter(const QString& epocType, IConverterInterface* converters);

    // False when no converters are available: no filter at all.
    bool IsValid() const { return m_converters != nullptr; }
    // Converter entries plus "No conversion"; 0 when invalid.
    int Count() const { return m_valid ? int(m_names.size()) + 1 : 0; }
    bool IsNoConversion(int entry) const { return m_valid && entry == Count() - 1; }
    // The first entry whose converter targets the type's registered "TargetType"; -1 when none.
    int DefaultEntry() const { return m_default; }
    // The dialog's filters, "Name (*.ext)", in entry order.
    QStringList DialogFilters() const;

    // Of converter entry k; empty when invalid or k is "No conversion" or beyond.
    QString TargetExtension(int entry) const;
    QString SourceName(int entry) const;
    QString TargetName(int entry) const;

    // "TargetType" of the EPOC type; empty when not registered.
    static QString EpocTargetType(const QString& epocType);

private:
    QString Lookup(int entry, int what) const;

    QString m_epocType;
    IConverterInterface* m_converters;
    bool m_valid = false;
    QStringList m_names;
    QStringList m_patterns;
    int m_default = -1;
};
