// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "common/DocSynchEntry.h"
#include "common/PlanLine.h"
#include "manager/PropertyStrings.h"
#include "manager/Strings.h"
#include "manager/connection/PreviewSyncDlg.h"
#include "manager/properties/PropertySheet.h"
#include "manager/properties/VersionsPropertyPage.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

int64_t At(int day, int hour, int minute) {
    return QDateTime(QDate(1999, 3, day), QTime(hour, minute)).toSecsSinceEpoch();
}

std::unique_ptr<QWidget> Preview() {
    InstallManagerStrings();
    const QString pc = u"/home/alice/Documents/"_s;
    const QString epoc = u"C:\\Documents\\"_s;
    const CPlanEntry plan[] = {
        {u"0"_s,
         0,
         PlanAction::ToHandheld,
         PlanReason::PcChanged,
         pc + u"Quarterly report.doc"_s,
         epoc + u"Quarterly report"_s,
         {true, 18432, At(29, 14, 2)},
         {true, 17920, At(26, 9, 40)}},
        {u"1"_s,
         1,
         PlanAction::ToPc,
         PlanReason::HandheldChanged,
         pc + u"Shopping.txt"_s,
         epoc + u"Shopping"_s,
         {true, 312, At(20, 8, 15)},
         {true, 355, At(29, 11, 30)}},
        {u"2"_s,
         2,
         PlanAction::BothChanged,
         PlanReason::Ask,
         pc + u"Letters/To the bank.doc"_s,
         epoc + u"To the bank"_s,
         {true, 9216, At(29, 10, 5)},
         {true, 8704, At(28, 19, 45)}},
        {u"3"_s,
         3,
         PlanAction::InStep,
         PlanReason::Unchanged,
         pc + u"Addresses.txt"_s,
         epoc + u"Addresses"_s,
         {true, 2048, At(12, 16, 20)},
         {true, 2048, At(12, 16, 20)}},
        {u"4"_s,
         4,
         PlanAction::ToHandheld,
         PlanReason::HandheldMissing,
         pc + u"Timetable.txt"_s,
         epoc + u"Timetable"_s,
         {true, 1400, At(27, 7, 55)},
         {}},
        {u"5"_s, 5, PlanAction::Refused, PlanReason::PcUnavailable, pc + u"Budget.xls"_s, epoc + u"Budget"_s, {}, {}},
    };
    QString output;
    for (const CPlanEntry& entry : plan)
        output += FormatPlanLine(entry) + u'\n';
    auto dialog = std::make_unique<CPreviewSyncDlg>(QString());
    dialog->ShowPlan(output);
    return dialog;
}

std::unique_ptr<QWidget> Versions() {
    InstallManagerStrings();
    static QTemporaryDir dir;
    const QString folder = dir.path() + u"/Dovetail"_s;
    QDir().mkpath(folder);
    const char* names[] = {"Quarterly report (MC 218, binding 0, 1999-03-29 14.02.11).doc",
                           "Quarterly report (PC, binding 0, 1999-03-22 09.15.40).doc",
                           "Quarterly report (MC 218, binding 0, 1999-03-12 17.48.03).doc"};
    int size = 17000;
    for (const char* name : names) {
        QFile f(folder + u'/' + QString::fromLatin1(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(QByteArray(size, 'x'));
        size -= 1536;
    }
    CDocSynchEntry record;
    record.WinFileName = u"Quarterly report.doc"_s;
    record.WinPath = u"/home/alice/Documents/Reports/"_s;
    record.EpocFileName = u"Quarterly report"_s;
    record.EpocPath = u"C:\\Documents\\"_s;
    record.BindingNumber = 0;
    auto sheet = std::make_unique<CPropertySheet>(LoadPropertyString(kIdsItemProperties));
    sheet->AddPage(new CVersionsPropertyPage(record, folder));
    sheet->SetActivePage(0);
    return sheet;
}

const CScreenshot preview("manager-preview-sync", Preview);
const CScreenshot versions("manager-properties-versions", Versions);
}  // namespace
