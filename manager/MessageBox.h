// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

// The manager's message boxes. Tests queue answers with SetNextAnswer; a queued answer is
// returned without showing anything, and every text asked is recorded.
class CMessageBox {
public:
    static QMessageBox::StandardButton Show(QWidget* parent, const QString& text, QMessageBox::Icon icon,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    static void Information(QWidget* parent, const QString& text) { Show(parent, text, QMessageBox::NoIcon); }
    static void Stop(QWidget* parent, const QString& text) { Show(parent, text, QMessageBox::Critical); }
    // Questions state no icon, so they show none.
    static bool AskYesNo(QWidget* parent, const QString& text) {
        return Show(parent, text, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }

    static void SetNextAnswer(QMessageBox::StandardButton answer);
    // Answers every question from now on with answer (QMessageBox::NoButton ends it).
    static void SetAutoAnswer(QMessageBox::StandardButton answer);
    static QStringList ShownTexts();
    // The icon of each box, in the order of ShownTexts.
    static QList<QMessageBox::Icon> ShownIcons();
    static void ClearShownTexts();
};
