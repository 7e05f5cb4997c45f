// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synchronizer/dialogs/PromptDlg.h"

// "Last synchronization was less than 24 hours ago": asks whether to synchronize a binding
// again. exec() returns the selected answer however the dialog closes ("OK", Esc or close box):
//   0 "Do not synchronize" (radio 1012, preselected)
//   1 "Synchronize anyway" (1013)
// The values are those of RecentSyncAnswer. F1 opens help context 17 of bindmgr.hlp.
class CRecentSyncDlg : public CPromptDlg {
    Q_OBJECT
public:
    // lastSyncTime is shown as given (already in the user's date and time formats).
    CRecentSyncDlg(const QString& pcPath, const QString& epocPath, const QString& lastSyncTime,
                   QWidget* parent = nullptr);
};
