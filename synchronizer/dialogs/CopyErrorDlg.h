// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// "Dovetail Synchronizer": a copy failed. A warning beep sounds as it opens. exec() returns
// the button's result, the values of CopyErrorAnswer:
//   1 "&Retry" (button 1, default)   2 "&Ignore File" (button 2; also Esc and the close box)
//   3 "Ignore &All" (button 1001)    4 "&Stop" (button 1002)
// A help request (F1) does nothing.
class CCopyErrorDlg : public QDialog {
    Q_OBJECT
public:
    // destination: the file the failed copy was writing; reason, when given, says what happened
    // in place of the text on a device missing or a file write-protected.
    explicit CCopyErrorDlg(const QString& destination, QWidget* parent = nullptr, const QString& reason = {});

    int Result() const { return m_result; }

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Finish(int result);

    int m_result = 2;
    bool m_beeped = false;
};
