// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/FilePropertyPage.h"

#include "manager/WaitCursor.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

void ShowAsReadOnly(QLineEdit* edit) {
    // Greyed like the window, so the field does not invite typing.
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

namespace {
QLineEdit* ReadOnlyEdit(int id) {
    auto* edit = new QLineEdit;
    edit->setReadOnly(true);
    edit->setObjectName(QString::number(id));
    edit->setMinimumWidth(260);
    ShowAsReadOnly(edit);
    return edit;
}

// The position a sorted box gives text.
int SortedPosition(const QComboBox* box, const QString& text) {
    int at = 0;
    while (at < box->count() && QString::compare(box->itemText(at), text, Qt::CaseInsensitive) <= 0)
        ++at;
    return at;
}
}  // namespace

CFilePropertyPage::CFilePropertyPage(const QString& title, uint32_t helpContext, const QString& groupTitle,
                                     QWidget* parent)
    : CPropertyPage(title, helpContext, parent) {
    m_name = ReadOnlyEdit(kIdName);
    m_folder = ReadOnlyEdit(kIdFolder);
    m_modify = new QPushButton(QStringLiteral("Modify"));
    m_modify->setObjectName(QString::number(kIdModify));
    m_type = new QComboBox;
    m_type->setObjectName(QString::number(kIdType));
    m_type->setEditable(false);

    auto* group = new QGroupBox(groupTitle);
    auto* groupLayout = new QFormLayout(group);
    groupLayout->addRow(QStringLiteral("Name:"), m_name);
    groupLayout->addRow(QStringLiteral("Folder:"), m_folder);
    auto* modifyRow = new QHBoxLayout;
    modifyRow->addStretch();
    modifyRow->addWidget(m_modify);
    groupLayout->addRow(modifyRow);

    m_form = new QFormLayout;
    m_form->addRow(QStringLiteral("File Type:"), m_type);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(m_form);
    layout->addStretch();
}

void CFilePropertyPage::ShowTypeList(const CTypeList& list) {
    m_type->clear();
    for (const QString& entry : list.entries)
        m_type->insertItem(SortedPosition(m_type, entry), entry);
    const int selected = list.selected.isEmpty() ? -1 : m_type->findText(list.selected, Qt::MatchExactly);
    m_type->setCurrentIndex(selected >= 0 ? selected : (m_type->count() > 0 ? 0 : -1));
    m_type->setEnabled(list.enabled);
}

void CFilePropertyPage::Refresh(const QString& name, const QString& folder, const std::function<void()>& fillTypeList) {
    m_name->setText(name);
    m_folder->setText(folder);
    if (m_type->count() == 0) {
        const CWaitCursor wait;
        fillTypeList();
    }
    if (m_type->currentIndex() < 0 && m_type->count() > 0)
        m_type->setCurrentIndex(0);
}
