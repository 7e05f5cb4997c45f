// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/RecentSyncDlg.h"

#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/SyncIcons.h"

using namespace Qt::StringLiterals;

CRecentSyncDlg::CRecentSyncDlg(const QString& pcPath, const QString& epocPath, const QString& lastSyncTime,
                               QWidget* parent)
    : CPromptDlg(17, parent) {
    setWindowTitle(u"Last synchronization was less than 24 hours ago"_s);
    CDialogBuilder b(this);
    b.SetClientSize(268, 134);
    b.AddIcon(PromptIcon(), 9, 7);
    b.AddStatic(u"THE BINDING BETWEEN"_s, 65, 7, 196, 10);
    b.AddStatic(u"the Windows file :"_s, 7, 27, 64, 12);
    b.AddReadOnlyEdit(1009, pcPath, 87, 27, 174, 12);
    b.AddStatic(u"and the EPOC file:"_s, 7, 42, 64, 10);
    b.AddReadOnlyEdit(1010, epocPath, 87, 41, 174, 12);
    b.AddStatic(u"Was last synchronize on:"_s, 7, 57, 75, 11);
    b.AddReadOnlyEdit(1011, lastSyncTime, 87, 57, 174, 12);
    b.AddGroupBox(u"Resolution"_s, 7, 71, 254, 38);
    AddAnswer(b.AddRadio(1012, u"Do not synchronize"_s, 17, 81, 215, 10));
    AddAnswer(b.AddRadio(1013, u"Synchronize anyway"_s, 17, 94, 215, 10));
    FinishAnswers(b, 107, 113);
}
