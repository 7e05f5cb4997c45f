// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/WinBindingWarningDlg.h"

#include "common/Profile.h"
#include "manager/Icons.h"
#include "manager/ManagerHelp.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kSettings = QStringLiteral("Settings");
const QString kWarnValue = QStringLiteral("WarnForWinConversion");
constexpr int kIdiWarning = 143;
constexpr uint32_t kHelpContext = 0x20000 + 144;
}  // namespace

CWinBindingWarningDlg::CWinBindingWarningDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Warning"));
    auto* resume = new QPushButton(QStringLiteral("Continue"));
    resume->setObjectName(QString::number(kIdContinue));
    resume->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("2"));
    m_warnAgain = new QCheckBox(QStringLiteral("Warn me again next time I create a binding from Windows"));
    m_warnAgain->setObjectName(QString::number(kIdWarnAgain));
    m_warnAgain->setChecked(true);
    connect(resume, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(0); });

    auto* icon = new QLabel;
    icon->setPixmap(ManagerIcon(kIdiWarning).pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral(
        "You are about to create a binding from your PC platform. The converters from PC to EPOC are limited. To "
        "ensure correct roundtrip synchronization, you should not start the binding from a too complex document."));
    text->setWordWrap(true);
    text->setMinimumWidth(320);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(resume);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_warnAgain);
    layout->addLayout(buttons);
    // Continue is the first control and has the focus.
    setTabOrder(resume, cancel);
    setTabOrder(cancel, m_warnAgain);
    resume->setFocus();
}

void CWinBindingWarningDlg::done(int result) {
    CAppProfile().WriteProfileInt(kSettings, kWarnValue, m_warnAgain->isChecked() ? 1 : 0);
    QDialog::done(result == 1 ? 1 : 0);
}

bool CWinBindingWarningDlg::IsWanted() {
    return CAppProfile().GetProfileInt(kSettings, kWarnValue, 1) != 0;
}

void CWinBindingWarningDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OpenManagerHelp(this, kHelpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}
