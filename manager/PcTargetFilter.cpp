// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/PcTargetFilter.h"

#include "common/ProfileRegistry.h"
#include "manager/ConnectionStrings.h"
#include "platform/converter/ConverterFormat.h"
#include "platform/converter/ConverterInterface.h"

#include <memory>

namespace {
enum Lookup { kExtension, kSource, kTarget };

QString NoConversionText() {
    return LoadConnectionString(kIdsNoConversion);
}
}  // namespace

CPcTargetFilter::CPcTargetFilter(const QString& epocType, IConverterInterface* converters)
    : m_epocType(epocType), m_converters(converters) {
    if (!m_converters)
        return;
    m_valid = true;
    const QString targetType = EpocTargetType(epocType);
    // "No conversion" always keeps its room, so the last entry is always that one.
    const int reserved = int(NoConversionText().toUtf8().size()) + 1 + 4 + 1;
    int used = 0;
    try {
        const int count = m_converters->Count();
        for (int i = 0; i < count && m_names.size() < kMaxEntries; ++i) {
            std::unique_ptr<IConverterItem> item = m_converters->Item(int16_t(i));
            if (!item || !FormatMatches(item->SourceFormat(), epocType))
                continue;
            const QString target = item->TargetFormat();
            const QString name = FormatLine(target, 0);
            const QString pattern = QStringLiteral("*") + item->TargetExtension();
            const int bytes = int(name.toUtf8().size() + pattern.toUtf8().size()) + 2;
            if (used + bytes + reserved + 1 > kBufferSize)
                break;
            used += bytes;
            if (m_default < 0 && !targetType.isEmpty() &&
                FormatLine(target, 1).compare(targetType, Qt::CaseInsensitive) == 0)
                m_default = int(m_names.size());
            m_names << name;
            m_patterns << pattern;
        }
    } catch (const CAutomationException&) {
        // The entries read so far still serve.
    }
}

QStringList CPcTargetFilter::DialogFilters() const {
    QStringList filters;
    if (!m_valid)
        return filters;
    for (int i = 0; i < m_names.size(); ++i)
        filters << QStringLiteral("%1 (%2)").arg(m_names[i], m_patterns[i]);
    filters << NoConversionText() + QStringLiteral(" (*)");
    return filters;
}

QString CPcTargetFilter::Lookup(int entry, int what) const {
    if (!m_valid || entry < 0 || entry >= Count() - 1)
        return {};
    int seen = 0;
    try {
        const int count = m_converters->Count();
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<IConverterItem> item = m_converters->Item(int16_t(i));
            if (!item || !FormatMatches(item->SourceFormat(), m_epocType))
                continue;
            if (seen++ != entry)
                continue;
            switch (what) {
                case kExtension:
                    return item->TargetExtension();
                case kSource:
                    return FormatLine(item->SourceFormat(), 0);
                default:
                    return FormatLine(item->TargetFormat(), 0);
            }
        }
    } catch (const CAutomationException&) {
    }
    return {};
}

QString CPcTargetFilter::TargetExtension(int entry) const {
    return Lookup(entry, kExtension);
}
QString CPcTargetFilter::SourceName(int entry) const {
    return Lookup(entry, kSource);
}
QString CPcTargetFilter::TargetName(int entry) const {
    return Lookup(entry, kTarget);
}

QString CPcTargetFilter::EpocTargetType(const QString& epocType) {
    QString type;
    RegReadString(HKEY_CLASSES_ROOT, epocType + QStringLiteral("\\EpocInfo"), QStringLiteral("TargetType"), type, 128);
    return type;
}
