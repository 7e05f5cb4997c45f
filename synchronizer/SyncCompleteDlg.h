// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPushButton;

// The report at the regular end of a run: "OK" closes it; "&View Log" (enabled only when the
// log exists) opens the log in the desktop's text viewer and closes it.
class CSyncCompleteDlg : public QDialog {
    Q_OBJECT
public:
    CSyncCompleteDlg(const QString& logPath, bool errorsOccurred, QWidget* parent = nullptr);

    QPushButton* ViewLogButton() const { return m_viewLog; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ViewLog();

    QString m_logPath;
    QPushButton* m_viewLog = nullptr;
};
