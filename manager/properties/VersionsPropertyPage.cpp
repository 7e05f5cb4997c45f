// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/VersionsPropertyPage.h"

#include "common/DateTimeText.h"
#include "manager/MessageBox.h"
#include "manager/PropertyStrings.h"
#include "platform/shell/Shell.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
// The rules page's topic: it tells what is kept and when.
constexpr uint32_t kVersionsHelpContext = 0x20000 + 133;
constexpr int kColumns = 4;
}  // namespace

CKeptSideWords KeptSideWords() {
    return {LoadPropertyString(kIdsVersionSidePc), LoadPropertyString(kIdsVersionSideHandheld)};
}

CVersionsPropertyPage::CVersionsPropertyPage(const CDocSynchEntry& record, const QString& folder, QWidget* parent)
    : CPropertyPage(LoadPropertyString(kIdsVersionsTab), kVersionsHelpContext, parent),
      m_record(record),
      m_folder(folder) {
    setObjectName(QStringLiteral("VersionsPage"));
    // Made with the page, not when it opens: made later, they would come after the sheet's own
    // buttons in the Tab order.
    auto* layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("VersionList"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(kColumns);
    QStringList headers;
    for (int column = 0; column < kColumns; ++column)
        headers << LoadPropertyString(kIdsVersionColumnFirst + column);
    m_list->setHeaderLabels(headers);
    layout->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_restore = new QPushButton(LoadPropertyString(kIdsVersionRestore), this);
    m_restore->setObjectName(QStringLiteral("Restore"));
    m_open = new QPushButton(LoadPropertyString(kIdsVersionOpen), this);
    m_open->setObjectName(QStringLiteral("Open"));
    // Enter belongs to the sheet's OK.
    m_restore->setAutoDefault(false);
    m_open->setAutoDefault(false);
    buttons->addWidget(m_restore);
    buttons->addWidget(m_open);
    layout->addLayout(buttons);
    connect(m_restore, &QPushButton::clicked, this, &CVersionsPropertyPage::Restore);
    connect(m_open, &QPushButton::clicked, this, &CVersionsPropertyPage::OpenSelected);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CVersionsPropertyPage::OpenSelected);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &CVersionsPropertyPage::UpdateButtons);
}

void CVersionsPropertyPage::OnInitDialog() {
    Fill();
}

void CVersionsPropertyPage::Fill() {
    m_list->clear();
    m_versions = ListKeptVersions(m_folder, m_record, KeptSideWords());
    for (const CKeptVersion& version : m_versions) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, FormatLocalDateTime(version.kept.toSecsSinceEpoch()));
        const int side = version.side == KeptSide::Pc         ? kIdsVersionSidePc
                         : version.side == KeptSide::Handheld ? kIdsVersionSideHandheld
                                                              : kIdsVersionBackup;
        item->setText(1, LoadPropertyString(side));
        item->setText(2, QString::number(version.size));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(3, QFileInfo(version.path).fileName());
    }
    for (int column = 0; column < kColumns; ++column)
        m_list->resizeColumnToContents(column);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    UpdateButtons();
}

const CKeptVersion* CVersionsPropertyPage::Selected() const {
    const int row = m_list ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    return row >= 0 && row < int(m_versions.size()) ? &m_versions[std::size_t(row)] : nullptr;
}

void CVersionsPropertyPage::UpdateButtons() {
    m_restore->setEnabled(Selected() != nullptr);
    m_open->setEnabled(Selected() != nullptr);
}

void CVersionsPropertyPage::Restore() {
    const CKeptVersion* version = Selected();
    if (!version)
        return;
    if (!CMessageBox::AskYesNo(
            this,
            LoadPropertyString(kIdsVersionAskRestore).arg(QFileInfo(version->path).fileName(), m_record.WinFullPath())))
        return;
    const CRestoreResult result =
        RestoreKeptVersion(*version, m_record, m_folder, KeptSideWords(), QDateTime::currentDateTime());
    if (!result.ok)
        CMessageBox::Stop(this, LoadPropertyString(kIdsVersionNotRestored).arg(m_record.WinFullPath()));
    Fill();
    m_list->setFocus();
}

void CVersionsPropertyPage::OpenSelected() {
    if (const CKeptVersion* version = Selected(); version && !IShell::Current().Open(version->path))
        CMessageBox::Information(this, LoadPropertyString(kIdsVersionNotOpened).arg(version->path));
}
