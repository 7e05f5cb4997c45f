// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/CopyErrorDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/SyncIcons.h"

using namespace Qt::StringLiterals;

CCopyErrorDlg::CCopyErrorDlg(const QString& destination, QWidget* parent, const QString& reason) : QDialog(parent) {
    setWindowTitle(u"Dovetail Synchronizer"_s);
    CDialogBuilder b(this);
    b.SetClientSize(226, 81);
    b.AddIcon(CopyErrorIcon(), 7, 7);
    b.AddStatic(u"An error occurred while copying the file:"_s, 34, 7, 185, 12);
    b.AddReadOnlyEdit(1003, destination, 34, 21, 185, 13);
    b.AddStatic(reason.isEmpty() ? u"The destination device may not be present or not connected or the destination "
                                   u"file is write-protected"_s
                                 : reason,
                7, 37, 212, 19);
    struct Button {
        int id;
        const char* text;
        int result;
        int x;
    };
    const Button buttons[] = {
        {1, "&Retry", 1, 7}, {2, "&Ignore File", 2, 60}, {1001, "Ignore &All", 3, 115}, {1002, "&Stop", 4, 169}};
    for (const Button& spec : buttons) {
        QPushButton* button = b.AddButton(spec.id, QString::fromLatin1(spec.text), spec.x, 60, 50, 14);
        connect(button, &QPushButton::clicked, this, [this, result = spec.result] { Finish(result); });
        if (spec.id == 1) {
            button->setDefault(true);
            button->setFocus();
        }
    }
}

void CCopyErrorDlg::Finish(int result) {
    m_result = result;
    done(result);
}

// Esc and the close box skip the file.
void CCopyErrorDlg::reject() {
    Finish(2);
}

void CCopyErrorDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1)
        return;
    QDialog::keyPressEvent(event);
}

void CCopyErrorDlg::showEvent(QShowEvent* event) {
    if (!m_beeped) {
        m_beeped = true;
        QApplication::beep();
    }
    QDialog::showEvent(event);
}
