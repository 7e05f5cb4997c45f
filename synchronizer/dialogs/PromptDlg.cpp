// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/PromptDlg.h"

#include "platform/help/WinHelp.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/SyncIcons.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

CPromptDlg::CPromptDlg(uint32_t helpContext, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_helpContext(helpContext), m_answers(new QButtonGroup(this)) {
    connect(m_answers, &QButtonGroup::idClicked, this, [this](int result) { m_result = result; });
}

void CPromptDlg::AddAnswer(QRadioButton* radio) {
    m_answers->addButton(radio, int(m_answers->buttons().size()));
}

void CPromptDlg::FinishAnswers(CDialogBuilder& builder, int okX, int okY) {
    m_answers->button(0)->setChecked(true);
    QPushButton* ok = builder.AddButton(1, u"OK"_s, okX, okY, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CPromptDlg::accept);
    m_answers->button(0)->setFocus();
}

void CPromptDlg::accept() {
    done(m_result);
}

void CPromptDlg::reject() {
    done(m_result);
}

void CPromptDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        WinHelp(this, PromptHelpFile(), HelpCommand::Context, m_helpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}
