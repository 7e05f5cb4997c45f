// SPDX-License-Identifier: GPL-3.0-or-later
// The report at the end of a run says what the log's last line says, and View Log never
// ends in nothing.
#include "synchronizer/SyncCompleteDlg.h"

#include "synchronizer/StringIds.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/TempEnv.h"

#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(SyncCompleteDlgTest, CaptionAndTextSayWhetherTheRunHadErrors) {
    InstallSyncStrings();
    struct Row {
        bool errors;
        QString caption;
        QString text;
    };
    const Row rows[] = {
        {false, u"Synchronization Completed"_s, u"Synchronization Completed"_s},
        {true, u"Error."_s, u"Synchronization completed with errors"_s},
    };
    for (const Row& row : rows) {
        CSyncCompleteDlg dialog(QString(), row.errors);
        EXPECT_EQ(dialog.windowTitle(), row.caption);
        const QList<QGroupBox*> groups = dialog.findChildren<QGroupBox*>();
        ASSERT_FALSE(groups.isEmpty());
        EXPECT_EQ(groups.first()->title(), row.text);
        // The longer text must not be cut off by the group box.
        EXPECT_LE(groups.first()->fontMetrics().horizontalAdvance(row.text) + 16, groups.first()->width());
        if (const QString saveTo = qEnvironmentVariable("DOVETAIL_SCREENSHOT_DIR"); !saveTo.isEmpty())
            dialog.grab().save(saveTo + (row.errors ? u"/sync-complete-errors.png"_s : u"/sync-complete.png"_s));
    }
}

TEST(SyncCompleteDlgTest, ViewLogWithoutAViewerSaysSoAndKeepsTheReport) {
    InstallSyncStrings();
    CTempEnv env;
    const QString log = env.WriteFile(u"run.srp"_s, "log");
    CRecordingShell shell;
    for (const bool viewer : {false, true}) {
        SCOPED_TRACE(viewer);
        shell.m_succeed = viewer;
        CSyncCompleteDlg dialog(log, false);
        dialog.show();
        QString said;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                said = box->text();
                box->accept();
            }
        });
        dialog.ViewLogButton()->click();
        EXPECT_EQ(said, viewer ? QString() : u"The desktop has no program to open\n"_s + log);
        EXPECT_EQ(dialog.isVisible(), !viewer);
        EXPECT_EQ(shell.m_requests.back().path, log);
    }
}
