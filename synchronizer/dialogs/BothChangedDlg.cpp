// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/BothChangedDlg.h"

#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/SyncIcons.h"

using namespace Qt::StringLiterals;

CBothChangedDlg::CBothChangedDlg(const QString& pcPath, const QString& pcTime, const QString& epocPath,
                                 const QString& epocTime, QWidget* parent)
    : CPromptDlg(16, parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(u"Both files changed since last synchronization"_s);
    CDialogBuilder b(this);
    b.SetClientSize(272, 230);
    b.AddIcon(PromptIcon(), 9, 7);
    b.AddStatic(
        u"Both sides of the binding have changed since the last synchronization. Please indicate resolution "
        u"manner:"_s,
        36, 7, 229, 25);
    b.AddGroupBox(u"Windows File"_s, 7, 34, 258, 47);
    b.AddReadOnlyEdit(1004, pcPath, 13, 48, 244, 13);
    b.AddStatic(u"Last change"_s, 13, 63, 58, 12);
    b.AddReadOnlyEdit(1005, pcTime, 74, 63, 183, 13);
    b.AddGroupBox(u"EPOC File"_s, 7, 83, 258, 47);
    b.AddReadOnlyEdit(1006, epocPath, 13, 97, 244, 13);
    b.AddStatic(u"Last change"_s, 13, 112, 58, 12);
    b.AddReadOnlyEdit(1007, epocTime, 74, 112, 183, 13);
    b.AddGroupBox(u"Resolution"_s, 7, 133, 258, 68);
    const char* texts[] = {"Overwrite older file", "Leave both files intact (do nothing)", "Overwrite Windows file",
                           "Overwrite EPOC file"};
    for (int result = 0; result < 4; ++result)
        AddAnswer(b.AddRadio(1008 + result, QString::fromLatin1(texts[result]), 13, 145 + 13 * result, 245, 10));
    FinishAnswers(b, 110, 209);
}
