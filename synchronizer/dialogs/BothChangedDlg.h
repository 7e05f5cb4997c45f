// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synchronizer/dialogs/PromptDlg.h"

// "Both files changed since last synchronization": asks how to resolve a binding whose two
// files both changed. exec() returns the selected resolution, whether the dialog ends with
// "OK" (1) or Esc; there is no close box:
//   0 "Overwrite older file" (radio 1008, preselected)
//   1 "Leave both files intact (do nothing)" (1009)
//   2 "Overwrite Windows file" (1010)
//   3 "Overwrite EPOC file" (1011)
// The values are those of BothChangedAnswer. F1 opens help context 16 of bindmgr.hlp.
class CBothChangedDlg : public CPromptDlg {
    Q_OBJECT
public:
    // Times are shown as given (already in the user's date and time formats).
    CBothChangedDlg(const QString& pcPath, const QString& pcTime, const QString& epocPath, const QString& epocTime,
                    QWidget* parent = nullptr);
};
