// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "common/DocSynchEntry.h"
#include "manager/adding/ConversionChoiceDlg.h"
#include "manager/adding/WinBindingWarningDlg.h"
#include "platform/chooser/DeviceFolder.h"
#include "platform/chooser/EpocFileDlg.h"
#include "tools/epocsim/DeviceBrowser.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {
// A small handheld with a few documents, shared by the chooser and the browser.
QString SampleDevice() {
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        made = true;
        for (const QString& file : {u"C/Documents/Report"_s, u"C/Documents/Letter"_s, u"C/Documents/Agenda"_s,
                                    u"C/System/Apps/Word/Word.app"_s, u"D/Backup/Notes"_s}) {
            const QString path = dir.path() + u'/' + file;
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write("sample");
        }
    }
    return dir.path();
}

CDocSynchEntry SampleRecord() {
    CDocSynchEntry record;
    record.WinPath = u"/home/alice/Documents/"_s;
    record.WinFileName = u"Report.doc"_s;
    record.WinFileType = u"DOC File"_s;
    record.EpocPath = u"C:\\Documents\\"_s;
    record.EpocFileName = u"Report"_s;
    return record;
}

class CChoiceShot : public CConversionChoiceDlg {
public:
    CChoiceShot() : CConversionChoiceDlg(m_record, Pairs()) {}

private:
    static CConversionList Pairs() {
        CConversionList list;
        list.pairs = {{u"Word 97"_s, u"EPOC Word"_s}, {u"Word 97"_s, u"EPOC Text"_s}, {u"Rich Text"_s, u"EPOC Word"_s}};
        return list;
    }
    static inline CDocSynchEntry m_record = SampleRecord();
};

const CScreenshot choice("manager-conversion-choice", [] { return std::make_unique<CChoiceShot>(); });
const CScreenshot warning("manager-pc-binding-warning", [] { return std::make_unique<CWinBindingWarningDlg>(); });

const CScreenshot chooser("manager-epoc-target-chooser", [] {
    static CDeviceFolder device;
    device.Open(SampleDevice());
    return std::make_unique<CEpocFileDlg>(device, 0, u"Select EPOC target for Report.doc"_s, u"OK"_s,
                                          u"C:\\Documents\\Report"_s);
});

const CScreenshot save("manager-pc-target-save", [] {
    static QTemporaryDir dir;
    auto dialog = std::make_unique<QFileDialog>(nullptr, u"Select PC target for Letter"_s, dir.path());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({u"Word 97 (*.doc)"_s, u"Rich Text (*.rtf)"_s, u"No conversion (*)"_s});
    dialog->selectNameFilter(u"Rich Text (*.rtf)"_s);
    dialog->selectFile(u"Letter"_s);
    return dialog;
});

const CScreenshot browser(
    "epocsim-browse",
    [] {
        auto view = std::make_unique<CDeviceBrowser>(SampleDevice());
        view->expandAll();
        return view;
    },
    500);
}  // namespace
