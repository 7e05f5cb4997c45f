// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class CDialogBuilder;
class QButtonGroup;
class QRadioButton;

// What the run's prompts share: a group of answers numbered from 0, the first preselected,
// and one "OK" button. exec() returns the selected answer however the dialog closes ("OK",
// Esc or a close box): a prompt has no way to abandon the run. F1 opens the prompt's help
// context in bindmgr.hlp.
class CPromptDlg : public QDialog {
    Q_OBJECT
public:
    int Result() const { return m_result; }

    void accept() override;
    void reject() override;

protected:
    CPromptDlg(uint32_t helpContext, QWidget* parent, Qt::WindowFlags flags = Qt::Dialog);

    // The next answer, numbered in the order added.
    void AddAnswer(QRadioButton* radio);
    // Preselects the first answer, adds "OK" at the dialog-unit position and gives the first
    // answer the focus. Called once all answers are added.
    void FinishAnswers(CDialogBuilder& builder, int okX, int okY);

    void keyPressEvent(QKeyEvent* event) override;

private:
    uint32_t m_helpContext;
    QButtonGroup* m_answers;
    int m_result = 0;
};
