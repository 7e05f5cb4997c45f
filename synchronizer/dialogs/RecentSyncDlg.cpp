// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/RecentSyncDlg.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

#include "platform/help/WinHelp.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/SyncIcons.h"

using namespace Qt::StringLiterals;

CRecentSyncDlg::CRecentSyncDlg(const QString& pcPath, const QString& epocPath, const QString& lastSyncTime,
                               QWidget* parent)
    : QDialog(parent), m_choices(new QButtonGroup(this)) {
    setWindowTitle(u"Last synchronization was less than 24 hours ago"_s);
    CDialogBuilder b(this);
    b.SetClientSize(268, 134);
    b.AddIcon(PromptIcon(), 9, 7);
    b.AddStatic(u"THE BINDING BETWEEN"_s, 65, 7, 196, 10);
    b.AddStatic(u"the Windows file :"_s, 7, 27, 64, 12);
    b.AddReadOnlyEdit(1009, pcPath, 87, 27, 174, 12);
    b.AddStatic(u"and the EPOC file:"_s, 7, 42, 64, 10);
    b.AddReadOnlyEdit(1010, epocPath, 87, 41, 174, 12);
    b.AddStatic(u"Was last synchronize on:"_s, 7, 57, 75, 11);
    b.AddReadOnlyEdit(1011, lastSyncTime, 87, 57, 174, 12);
    b.AddGroupBox(u"Resolution"_s, 7, 71, 254, 38);
    m_choices->addButton(b.AddRadio(1012, u"Do not synchronize"_s, 17, 81, 215, 10), 0);
    m_choices->addButton(b.AddRadio(1013, u"Synchronize anyway"_s, 17, 94, 215, 10), 1);
    m_choices->button(0)->setChecked(true);
    connect(m_choices, &QButtonGroup::idClicked, this, [this](int result) { m_result = result; });

    QPushButton* ok = b.AddButton(1, u"OK"_s, 107, 113, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CRecentSyncDlg::accept);
    m_choices->button(0)->setFocus();
}

void CRecentSyncDlg::accept() {
    done(m_result);
}

// Esc and the close box keep the selected answer.
void CRecentSyncDlg::reject() {
    done(m_result);
}

void CRecentSyncDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        WinHelp(this, PromptHelpFile(), HelpCommand::Context, 17);
        return;
    }
    QDialog::keyPressEvent(event);
}
