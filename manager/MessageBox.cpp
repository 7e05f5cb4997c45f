// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/MessageBox.h"

#include "manager/Strings.h"

#include <QList>

namespace {
QList<QMessageBox::StandardButton> g_answers;
QMessageBox::StandardButton g_autoAnswer = QMessageBox::NoButton;
QStringList g_shown;
QList<QMessageBox::Icon> g_icons;
}  // namespace

QMessageBox::StandardButton CMessageBox::Show(QWidget* parent, const QString& text, QMessageBox::Icon icon,
                                              QMessageBox::StandardButtons buttons) {
    g_shown.append(text);
    g_icons.append(icon);
    if (!g_answers.isEmpty())
        return g_answers.takeFirst();
    if (g_autoAnswer != QMessageBox::NoButton)
        return g_autoAnswer;
    QMessageBox box(icon, LoadManagerString(kIdsAppTitle), text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

void CMessageBox::SetNextAnswer(QMessageBox::StandardButton answer) {
    g_answers.append(answer);
}

void CMessageBox::SetAutoAnswer(QMessageBox::StandardButton answer) {
    g_autoAnswer = answer;
}

QStringList CMessageBox::ShownTexts() {
    return g_shown;
}

QList<QMessageBox::Icon> CMessageBox::ShownIcons() {
    return g_icons;
}

void CMessageBox::ClearShownTexts() {
    g_shown.clear();
    g_icons.clear();
}
