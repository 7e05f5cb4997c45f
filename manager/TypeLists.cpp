// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/TypeLists.h"

#include "manager/ConnectionStrings.h"
#include "manager/ConversionList.h"
#include "platform/converter/ConverterFormat.h"
#include "platform/converter/ConverterInterface.h"

#include <functional>
#include <memory>

namespace {
CTypeList NoConversion() {
    const QString text = LoadConnectionString(kIdsNoConversion);
    return CTypeList{{text}, text, false};
}

bool IsPlainCopy(const CDocSynchEntry& record) {
    return record.WinFileType.compare(record.EpocFileType, Qt::CaseInsensitive) == 0;
}

// Walks the converters with the control folder as working folder; pick gives the name a
// converter contributes, empty for none. A converter failure ends the walk with what was read.
QStringList CollectNames(IConverterInterface* converters, const std::function<QString(IConverterItem&)>& pick) {
    QStringList names;
    const CWorkingFolderGuard folder;
    try {
        const int count = converters->Count();
        for (int i = 0; i < count; ++i) {
            const std::unique_ptr<IConverterItem> item = converters->Item(static_cast<int16_t>(i));
            if (!item)
                continue;
            const QString name = pick(*item);
            if (!name.isEmpty() && !names.contains(name))
                names << name;
        }
    } catch (const CAutomationException&) {
    }
    return names;
}

QString Matching(const QStringList& entries, const QString& type) {
    for (const QString& entry : entries) {
        if (entry.compare(type, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

bool AppliesToFile(const QString& source, const QString& type, const QString& fileName) {
    return FormatMatches(source, type) || MatchesByExtension(fileName, source);
}
}  // namespace

CTypeList BuildPcTypeList(const CDocSynchEntry& record, IConverterInterface* converters) {
    if (!converters || IsPlainCopy(record))
        return NoConversion();
    const QString type = WindowsClassName(record.WinFileName);
    QStringList names = CollectNames(converters, [&](IConverterItem& item) {
        const QString source = item.SourceFormat();
        return AppliesToFile(source, type, record.WinFileName) ? FormatLine(source, 0) : QString();
    });
    if (names.isEmpty()) {
        names = CollectNames(converters, [&](IConverterItem& item) {
            return FormatMatches(item.SourceFormat(), record.EpocFileType) ? FormatLine(item.TargetFormat(), 0)
                                                                           : QString();
        });
    }
    if (names.isEmpty())
        return CTypeList{{record.WinFileType}, record.WinFileType, true};
    // An EPOC format name is offered too, so that a plain copy can be chosen back.
    if ((record.EpocFileType.contains(QStringLiteral("EPOC")) ||
         record.EpocFileType.contains(QStringLiteral("Epoc"))) &&
        !names.contains(record.EpocFileType))
        names << record.EpocFileType;
    return CTypeList{names, Matching(names, record.WinFileType), true};
}

CTypeList BuildEpocTypeList(const CDocSynchEntry& record, IConverterInterface* converters) {
    if (!converters || IsPlainCopy(record))
        return NoConversion();
    QString type = WindowsClassName(record.WinFileName);
    if (type == QStringLiteral("???"))
        type = record.WinFileType;
    const QStringList names = CollectNames(converters, [&](IConverterItem& item) {
        return AppliesToFile(item.SourceFormat(), type, record.WinFileName) ? FormatLine(item.TargetFormat(), 0)
                                                                            : QString();
    });
    if (names.isEmpty())
        return CTypeList{{record.EpocFileType}, record.EpocFileType, true};
    return CTypeList{names, Matching(names, record.EpocFileType), true};
}
