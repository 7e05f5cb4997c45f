// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;

// Dialog 144: warns before a binding is started from a PC file. Ends with 1 for
// "Continue", 0 otherwise; every way out stores the check box in "WarnForWinConversion".
class CWinBindingWarningDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdContinue = 1029;
    static constexpr int kIdWarnAgain = 1028;

    explicit CWinBindingWarningDlg(QWidget* parent = nullptr);
    QCheckBox* WarnAgainBox() const { return m_warnAgain; }
    void done(int result) override;

    // Whether the warning is due ("WarnForWinConversion", 1 when missing).
    static bool IsWanted();

protected:
    // F1 opens the dialog's help topic.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QCheckBox* m_warnAgain = nullptr;
};
