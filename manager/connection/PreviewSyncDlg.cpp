// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/connection/PreviewSyncDlg.h"

#include "common/DateTimeText.h"
#include "common/PlanLine.h"
#include "common/Profile.h"
#include "manager/ConnectionStrings.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "manager/connection/SynchronizerLaunch.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 9;

QString SizeText(const CPlanSide& side) {
    return side.known ? QString::number(side.size) : QString();
}

QString TimeText(const CPlanSide& side) {
    return side.known ? FormatLocalDateTime(side.time) : QString();
}

bool Copies(const CPlanEntry& entry) {
    return entry.action == PlanAction::ToHandheld || entry.action == PlanAction::ToPc ||
           entry.action == PlanAction::BothChanged;
}

}  // namespace

CPreviewSyncDlg::CPreviewSyncDlg(const QString& synchronizer, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PreviewSyncDlg"));
    setWindowTitle(LoadConnectionString(kIdsPreviewTitle));
    auto* layout = new QVBoxLayout(this);
    m_state = new QLabel(LoadConnectionString(kIdsPreviewWorking), this);
    m_state->setObjectName(QStringLiteral("PlanState"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("PlanList"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(kColumns);
    QStringList headers;
    for (int column = 0; column < kColumns; ++column)
        headers << LoadConnectionString(kIdsPreviewColumnFirst + column);
    m_list->setHeaderLabels(headers);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(this);
    m_synchronize = buttons->addButton(LoadConnectionString(kIdsPreviewSynchronize), QDialogButtonBox::AcceptRole);
    m_synchronize->setObjectName(QStringLiteral("Synchronize"));
    m_synchronize->setEnabled(false);
    QPushButton* close = buttons->addButton(LoadConnectionString(kIdsPreviewClose), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("Close"));
    layout->addWidget(buttons);
    connect(m_synchronize, &QPushButton::clicked, this, [this] {
        emit SynchronizeRequested();
        accept();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    resize(900, 360);

    connect(&m_process, &QProcess::finished, this, &CPreviewSyncDlg::OnFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            m_state->setText(LoadConnectionString(kIdsPreviewFailed).arg(LoadConnectionString(kIdsSyncNotFound)));
    });
    if (!synchronizer.isEmpty())
        m_process.start(synchronizer, {QStringLiteral("/P")});
}

CPreviewSyncDlg::~CPreviewSyncDlg() {
    // A plan still being worked out is of no use to anyone: it writes nothing, so ending it
    // loses nothing.
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

void CPreviewSyncDlg::OnFinished(int exitCode, QProcess::ExitStatus status) {
    const QString errors = QString::fromUtf8(m_process.readAllStandardError()).trimmed();
    if (status != QProcess::NormalExit || exitCode != 0) {
        m_state->setText(LoadConnectionString(kIdsPreviewFailed).arg(errors));
        return;
    }
    ShowPlan(QString::fromUtf8(m_process.readAllStandardOutput()));
}

void CPreviewSyncDlg::ShowPlan(const QString& output) {
    int bindings = 0;
    int copies = 0;
    for (const QString& line : output.split(u'\n', Qt::SkipEmptyParts)) {
        CPlanEntry entry;
        if (!ParsePlanLine(line, entry))
            continue;
        ++bindings;
        copies += Copies(entry) ? 1 : 0;
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, entry.key);
        // Why beside what: the paths are long and the times wide, so the reason is seen at once.
        item->setText(1, LoadConnectionString(kIdsPreviewActionFirst + static_cast<int>(entry.action)));
        item->setText(2, LoadConnectionString(kIdsPreviewReasonFirst + static_cast<int>(entry.reason)));
        item->setText(3, entry.pcPath);
        item->setText(4, SizeText(entry.pc));
        item->setText(5, TimeText(entry.pc));
        item->setText(6, entry.epocPath);
        item->setText(7, SizeText(entry.epoc));
        item->setText(8, TimeText(entry.epoc));
        for (int column : {4, 7})
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int column = 0; column < kColumns; ++column)
        m_list->resizeColumnToContents(column);
    m_state->setText(LoadConnectionString(kIdsPreviewSummary).arg(copies).arg(bindings));
    m_synchronize->setEnabled(true);
    m_synchronize->setDefault(true);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_list->setFocus();
}

void ShowPreviewSynchronization(QWidget* parent, bool handheldConnected) {
    if (!handheldConnected) {
        CMessageBox::Information(parent, LoadConnectionString(kIdsPreviewNoHandheld));
        return;
    }
    const QString path = CAppProfile().GetProfileString(QString(), QStringLiteral("SyncronizerPath"));
    if (path.size() < 3) {
        CMessageBox::Information(parent, WithSetUpHint(LoadConnectionString(kIdsSyncNotRegistered)));
        return;
    }
    CPreviewSyncDlg dialog(path, parent);
    QObject::connect(&dialog, &CPreviewSyncDlg::SynchronizeRequested, parent, [parent] { LaunchSynchronizer(parent); });
    dialog.exec();
}
