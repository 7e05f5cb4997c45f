// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "synchronizer/dialogs/BothChangedDlg.h"
#include "synchronizer/dialogs/CopyErrorDlg.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/RecentSyncDlg.h"
#include "synchronizer/dialogs/SyncIcons.h"
#include "synchronizer/dialogs/TextProgressCtrl.h"

#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

const CScreenshot bothChanged("sync-both-changed", [] {
    return std::make_unique<CBothChangedDlg>(u"/home/alice/Documents/Reports/Quarterly report.txt"_s,
                                             u"12/03/99 09:41:17"_s, u"C:\\Documents\\Reports\\Quarterly report"_s,
                                             u"12/03/99 10:02:55"_s);
});

const CScreenshot recentSync("sync-recent-sync", [] {
    return std::make_unique<CRecentSyncDlg>(u"/home/alice/Documents/Letters/To Bob.txt"_s,
                                            u"C:\\Documents\\Letters\\To Bob"_s, u"12/03/99 08:15:00"_s);
});

const CScreenshot copyError("sync-copy-error", [] {
    return std::make_unique<CCopyErrorDlg>(u"C:\\Documents\\Reports\\Quarterly report"_s);
});

// The progress bar in the states a run shows, each 160 by 13 dialog units as in the main window.
const CScreenshot progress("sync-progress", [] {
    auto host = std::make_unique<QWidget>();
    host->setWindowTitle(u"Progress bar states"_s);
    host->setWindowIcon(DovetailSyncIcon());
    const CDialogUnits du(host->font());
    struct State {
        const char* text;
        int lower, upper, pos;
    };
    const State states[] = {
        {"Connecting...", 0, 100, 0},      {"", 0, 10, 5},     {"Looking for files to update with Alice...", 0, 4, 3},
        {"Quarterly report.txt", 0, 4, 1}, {"Done.", 0, 4, 4}, {"", 0, 0, 0}};
    int y = 4;
    for (const State& s : states) {
        auto* bar = new CTextProgressCtrl(host.get());
        bar->setGeometry(QRect(QPoint(du.X(7), du.Y(y)), du.Size(160, 13)));
        bar->SetRange(s.lower, s.upper);
        bar->SetPos(s.pos);
        bar->SetWindowText(QString::fromLatin1(s.text));
        y += 17;
    }
    host->setFixedSize(du.Size(174, y + 2));
    return host;
});

const CScreenshot icons("sync-icons", [] {
    auto host = std::make_unique<QWidget>();
    host->setWindowTitle(u"Icons 128, 135, 133"_s);
    int x = 8;
    for (const QIcon& icon : {DovetailSyncIcon(), PromptIcon(), CopyErrorIcon()}) {
        for (int size : {16, 32, 48}) {
            auto* label = new QLabel(host.get());
            label->setPixmap(icon.pixmap(size, size));
            label->setGeometry(x, 8, size, size);
            x += size + 8;
        }
        x += 8;
    }
    host->setFixedSize(x, 64);
    return host;
});

}  // namespace
