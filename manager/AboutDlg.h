// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// Dialog 100: the program's version, copyright and maker from its version block, the
// program icon and "Developed for Ericsson".
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    // Reads the version block of programPath (the running program when empty).
    void LoadVersion(const QString& programPath = QString());

protected:
    // F1 opens the dialog's help topic.
    void keyPressEvent(QKeyEvent* event) override;
};
