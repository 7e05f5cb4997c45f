// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ConversionList.h"

#include "common/ProfileRegistry.h"
#include "platform/converter/ConverterFormat.h"
#include "platform/converter/ConverterInterface.h"

#include <QDir>

#include <memory>

namespace {
struct ConverterSlot {
    bool overridden = false;
    IConverterInterface* current = nullptr;
    std::unique_ptr<IConverterInterface> owned;
};
ConverterSlot& Slot() {
    static ConverterSlot slot;
    return slot;
}

}  // namespace

QString FileExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.mid(dot);
}

bool MatchesByExtension(const QString& fileName, const QString& sourceDescription) {
    const QString defaultExtension = PsiWinDefaultExtension(FormatLine(sourceDescription, 1));
    return !defaultExtension.isEmpty() && defaultExtension.compare(FileExtension(fileName), Qt::CaseInsensitive) == 0;
}

CWorkingFolderGuard::CWorkingFolderGuard() : m_saved(QDir::currentPath()) {
    QDir::setCurrent(GetControlDirectory());
}

CWorkingFolderGuard::~CWorkingFolderGuard() {
    QDir::setCurrent(m_saved);
}

QString WindowsClassName(const QString& fileName) {
    QString name;
    if (!RegReadString(HKEY_CLASSES_ROOT, FileExtension(fileName), QString(), name, 128))
        return QStringLiteral("???");
    return name;
}

QString PsiWinDefaultExtension(const QString& sourceClass) {
    QString extension;
    RegReadString(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\VEROZ\\PsiWin32\\Extensions\\") + sourceClass,
                  QStringLiteral("DefaultExtension"), extension);
    return extension;
}

CConversionList BuildConversionList(const CDocSynchEntry& record, IConverterInterface* converters) {
    CConversionList list;
    if (!converters)
        return list;
    const QString type = WindowsClassName(record.WinFileName);
    const CWorkingFolderGuard folder;
    try {
        const int count = converters->Count();
        for (int i = 0; i < count && list.pairs.size() < CConversionList::kMaxPairs; ++i) {
            std::unique_ptr<IConverterItem> item = converters->Item(static_cast<int16_t>(i));
            if (!item)
                continue;
            const QString source = item->SourceFormat();
            const bool preferred = FormatMatches(source, type);
            if (!preferred && !MatchesByExtension(record.WinFileName, source))
                continue;
            if (preferred)
                list.defaultIndex = static_cast<int>(list.pairs.size());
            list.pairs.push_back({FormatLine(source, 0), FormatLine(item->TargetFormat(), 0)});
        }
    } catch (const CAutomationException&) {
        // What was read so far is still offered.
    }
    return list;
}

IConverterInterface* ManagerConverters() {
    ConverterSlot& slot = Slot();
    // A failed attempt is not remembered: once the suite's control file is back, the next
    // use creates the object.
    if (slot.overridden || slot.owned)
        return slot.current;
    slot.owned = CreateAutomationObject(QStringLiteral("VEROZ.CONVERTERINTERFACE"));
    if (slot.owned) {
        QDir::setCurrent(GetControlDirectory());
        try {
            slot.owned->UseControlFile(GetControlFile());
        } catch (const CAutomationException&) {
        }
    }
    slot.current = slot.owned.get();
    return slot.current;
}

void SetManagerConverters(IConverterInterface* converters) {
    ConverterSlot& slot = Slot();
    slot.overridden = true;
    slot.current = converters;
}

void UseSuiteConverters() {
    ConverterSlot& slot = Slot();
    slot.overridden = false;
    slot.current = nullptr;
    slot.owned.reset();
}
