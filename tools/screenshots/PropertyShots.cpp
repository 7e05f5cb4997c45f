// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "manager/PropertyStrings.h"
#include "manager/Strings.h"
#include "manager/properties/AutoSyncPropertyPage.h"
#include "manager/properties/EpocFilePropertyPage.h"
#include "manager/properties/OptionPropSheet.h"
#include "manager/properties/PropertySheet.h"
#include "manager/properties/SyncRulesPropertyPage.h"
#include "manager/properties/WinFilePropertyPage.h"
#include "platform/converter/ConverterInterface.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {
class CSampleItem : public IConverterItem {
public:
    CSampleItem(QString source, QString target) : m_source(std::move(source)), m_target(std::move(target)) {}
    QString SourceFormat() override { return m_source; }
    QString TargetFormat() override { return m_target; }
    void Convert(const QString&, const QString&, ConvertCallback) override {}
    QString TargetExtension() override { return {}; }

private:
    QString m_source, m_target;
};

// A few converters between Word-like formats and the handheld's.
class CSampleConverters : public IConverterInterface {
public:
    std::unique_ptr<IConverterItem> Item(int16_t i) override {
        static const std::pair<const char*, const char*> items[] = {
            {"Word 97\nWord.Document.8", "EPOC Word\nEpocWord"},
            {"Word 97\nWord.Document.8", "EPOC Text\nEpocText"},
            {"Rich Text\nRTF.Class", "EPOC Word\nEpocWord"},
        };
        const auto& [source, target] = items[i];
        return std::make_unique<CSampleItem>(QString::fromUtf8(source), QString::fromUtf8(target));
    }
    int16_t Count() override { return 3; }
    void UseControlFile(const QString&) override {}
    void Load(const QString&, const QString&) override {}
};

// A private registry: the user Alice with automatic synchronization every day.
void UseSampleWorld() {
    static QTemporaryDir dir;
    static bool built = false;
    ::setenv("DOVETAIL_REGISTRY", (dir.path() + u"/properties-registry.db"_s).toLocal8Bit().constData(), 1);
    // This tool draws every program's windows; their tables share numbers, so the manager's
    // go in again before its windows are drawn.
    InstallManagerStrings();
    if (built)
        return;
    built = true;
    RegWriteString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), u"Installation Directory"_s, dir.path());
    RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), QString(), u"Alice"_s);
    RegWriteString(HKEY_CLASSES_ROOT, u".doc"_s, QString(), u"Word.Document.8"_s);
    WriteEntryNumber(u"Alice"_s, u"AutoSynchApps"_s, u"Dovetail"_s, u"Frequency"_s, 2);
    const QDateTime last(QDate(1999, 3, 29), QTime(14, 41, 15));
    WriteEntryNumber(u"Alice"_s, u"AutoSynchApps"_s, u"Dovetail"_s, u"LastSynch"_s, uint32_t(last.toSecsSinceEpoch()));
}

CDocSynchEntry SampleBinding() {
    CDocSynchEntry record;
    record.WinFileName = u"Quarterly report.doc"_s;
    record.WinPath = u"/home/alice/Documents/Reports/"_s;
    record.WinFileType = u"Word 97"_s;
    record.EpocFileName = u"Quarterly report"_s;
    record.EpocPath = u"C:\\Documents\\"_s;
    record.EpocFileType = u"EPOC Word"_s;
    record.FileSize = 18432;
    record.CopyRule = kCopyNewest;
    record.PromptBothChanged = true;
    record.KeepCopy = true;
    return record;
}

std::unique_ptr<QWidget> ItemProperties(int page) {
    UseSampleWorld();
    static CSampleConverters converters;
    auto sheet = std::make_unique<CPropertySheet>(LoadPropertyString(kIdsItemProperties));
    const CDocSynchEntry record = SampleBinding();
    sheet->AddPage(new CSyncRulesPropertyPage(record));
    sheet->AddPage(new CWinFilePropertyPage(record, &converters));
    sheet->AddPage(new CEpocFilePropertyPage(record, &converters));
    sheet->SetActivePage(page);
    return sheet;
}

std::unique_ptr<QWidget> Options(int page) {
    UseSampleWorld();
    auto sheet = std::make_unique<COptionPropSheet>(CRuleSet{kCopyPcToDevice, false, true, false});
    sheet->SetActivePage(page);
    return sheet;
}

const CScreenshot rules("manager-properties-rules", [] { return ItemProperties(0); });
const CScreenshot winFile("manager-properties-windows-file", [] { return ItemProperties(1); });
const CScreenshot epocFile("manager-properties-epoc-file", [] { return ItemProperties(2); });
const CScreenshot defaults("manager-options-default-rules", [] { return Options(0); });
const CScreenshot autoSync("manager-options-auto-sync", [] { return Options(1); });
}  // namespace
