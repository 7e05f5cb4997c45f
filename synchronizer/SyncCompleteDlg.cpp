// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncCompleteDlg.h"

#include "common/StringTable.h"
#include "platform/shell/Shell.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/SyncIcons.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

using namespace Qt::StringLiterals;

CSyncCompleteDlg::CSyncCompleteDlg(const QString& logPath, bool errorsOccurred, QWidget* parent)
    : QDialog(parent), m_logPath(logPath) {
    setObjectName(u"SyncCompleteDlg"_s);
    setWindowTitle(CStringTable::Load(errorsOccurred ? IDS_ERROR_CAPTION : IDS_COMPLETED_CAPTION));
    CDialogBuilder builder(this);
    builder.SetClientSize(193, 92);
    // With errors the text says so, as the caption does.
    builder.AddGroupBox(
        errorsOccurred ? CStringTable::Load(IDS_COMPLETED_WITH_ERRORS_REPORT) : u"Synchronization Completed"_s, 7, 3,
        179, 40);
    builder.AddIcon(DovetailSyncIcon(), 15, 15);
    QPushButton* ok = builder.AddButton(1, u"OK"_s, 70, 20, 50, 15);
    builder.AddGroupBox(u"Synchronization Log"_s, 7, 49, 179, 36);
    builder.AddIcon(style()->standardIcon(QStyle::SP_FileIcon), 15, 61);
    m_viewLog = builder.AddButton(1115, u"&View Log"_s, 69, 64, 50, 15);
    ok->setDefault(true);
    ok->setFocus();
    m_viewLog->setEnabled(QFileInfo(logPath).isFile());
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_viewLog, &QPushButton::clicked, this, &CSyncCompleteDlg::ViewLog);
}

void CSyncCompleteDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1)
        return;  // the report has no help
    QDialog::keyPressEvent(event);
}

void CSyncCompleteDlg::ViewLog() {
    if (!IShell::Current().OpenInTextViewer(m_logPath)) {
        // Nothing would open: say so, and leave the report open for another try or OK.
        QMessageBox box(QMessageBox::NoIcon, windowTitle(), CStringTable::Load(IDS_NO_PROGRAM_TO_OPEN).arg(m_logPath),
                        QMessageBox::Ok, this);
        box.setObjectName(u"NoViewerBox"_s);
        box.exec();
        return;
    }
    accept();
}
