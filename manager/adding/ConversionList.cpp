// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/ConversionList.h"

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
    bool tried = false;
};
ConverterSlot& Slot() {
    static ConverterSlot slot;
    return slot;
}

QString Extension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.mid(dot);
}

// Sets the control folder as working folder for the reads and puts the old one back.
class CWorkingFolderGuard {
public:
    CWorkingFolderGuard() : m_saved(QDir::currentPath()) { QDir::setCurrent(GetControlDirectory()); }
    ~CWorkingFolderGuard() { QDir::setCurrent(m_saved); }
    CWorkingFolderGuard(const CWorkingFolderGuard&) = delete;
    CWorkingFolderGuard& operator=(const CWorkingFolderGuard&) = delete;

private:
    QString m_saved;
};
}  // namespace

QString WindowsClassName(const QString& fileName) {
    QString name;
    if (!RegReadString(HKEY_CLASSES_ROOT, Extension(fileName), QString(), name, 128))
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
    const QString extension = Extension(record.WinFileName);
    const CWorkingFolderGuard folder;
    try {
        const int count = converters->Count();
        for (int i = 0; i < count && list.pairs.size() < CConversionList::kMaxPairs; ++i) {
            std::unique_ptr<IConverterItem> item = converters->Item(static_cast<int16_t>(i));
            if (!item)
                continue;
            const QString source = item->SourceFormat();
            const bool preferred = FormatMatches(source, type);
            if (!preferred) {
                const QString defaultExtension = PsiWinDefaultExtension(FormatLine(source, 1));
                if (defaultExtension.isEmpty() || defaultExtension.compare(extension, Qt::CaseInsensitive) != 0)
                    continue;
            }
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
    if (slot.overridden || slot.tried)
        return slot.current;
    slot.tried = true;
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
