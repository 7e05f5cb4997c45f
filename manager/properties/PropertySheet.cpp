// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/PropertySheet.h"

#include "manager/ManagerHelp.h"
#include "manager/MessageBox.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

CPropertyPage::CPropertyPage(const QString& title, uint32_t helpContext, QWidget* parent)
    : QWidget(parent), m_title(title), m_helpContext(helpContext) {}

void CPropertyPage::Open() {
    if (m_opened)
        return;
    m_opened = true;
    OnInitDialog();
}

CPropertySheet::CPropertySheet(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    m_tabs = new QTabWidget;
    // Every tab shows: the sheet grows to them rather than hide some behind scroll buttons,
    // which would also take their place in the Tab order.
    m_tabs->setUsesScrollButtons(false);
    auto* ok = m_ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = m_cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CPropertySheet::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        // Pages open when they are first shown, not when the sheet is built.
        if (isVisible() && index >= 0 && index < PageCount())
            Page(index)->Open();
    });
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    m_pages.push_back(page);
    m_tabs->addTab(page, page->Title());
    // Tab goes as the sheet reads: the tabs, the page's controls, then OK and Cancel. A page
    // joins the chain where it is added, after the buttons made with the sheet.
    QWidget* last = this;
    for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
        if (w != m_ok && w != m_cancel)
            last = w;
    }
    setTabOrder(last, m_ok);
    setTabOrder(m_ok, m_cancel);
    for (QRadioButton* radio : page->findChildren<QRadioButton*>())
        radio->installEventFilter(this);
}

bool CPropertySheet::eventFilter(QObject* watched, QEvent* event) {
    // Tabbing into a set of choices lands on the one chosen, so Space or an arrow there
    // cannot change the choice by surprise.
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* radio = qobject_cast<QRadioButton*>(watched);
        if (radio && !radio->isChecked() && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
            QAbstractButton* chosen = radio->group() ? radio->group()->checkedButton() : nullptr;
            if (!chosen && radio->autoExclusive() && radio->parentWidget()) {
                for (QRadioButton* other :
                     radio->parentWidget()->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly)) {
                    if (other->autoExclusive() && other->isChecked())
                        chosen = other;
                }
            }
            if (chosen && chosen != radio && chosen->isEnabled() && chosen->isVisible())
                chosen->setFocus(reason);
        }
    }
    return QDialog::eventFilter(watched, event);
}

CPropertyPage* CPropertySheet::ActivePage() const {
    const int index = m_tabs->currentIndex();
    return index >= 0 && index < PageCount() ? Page(index) : nullptr;
}

void CPropertySheet::SetActivePage(int index) {
    if (index >= 0 && index < PageCount())
        m_tabs->setCurrentIndex(index);
}

void CPropertySheet::accept() {
    bool stored = true;
    for (CPropertyPage* page : m_pages) {
        if (page->IsOpened() && !page->OnOK())
            stored = false;
    }
    if (m_commit && !m_commit())
        stored = false;
    if (stored)
        QDialog::accept();
    else
        CMessageBox::Stop(this, m_notStoredText);
}

void CPropertySheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (CPropertyPage* page = ActivePage())
        page->Open();
    if (!m_initialized) {
        m_initialized = true;
        OnInitDialog();
    }
}

void CPropertySheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        if (const CPropertyPage* page = ActivePage())
            OpenManagerHelp(this, page->HelpContext());
        return;
    }
    QDialog::keyPressEvent(event);
}
