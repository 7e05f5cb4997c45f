// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QProcess>
#include <QString>

class QLabel;
class QPushButton;
class QTreeWidget;

// "Preview Synchronization": what a run would do now with every enabled binding, one row each.
// The synchronizer itself works it out (bindcopy /P), with the run's own decision, so the
// window shows what the run will then do. Synchronize starts that run and closes the window.
class CPreviewSyncDlg : public QDialog {
    Q_OBJECT
public:
    // synchronizer: the synchronizer's path ("SyncronizerPath"). The plan is asked for at once;
    // with no path, it waits for ShowPlan.
    explicit CPreviewSyncDlg(const QString& synchronizer, QWidget* parent = nullptr);
    ~CPreviewSyncDlg() override;

    // Fills the list from bindcopy /P's output; lines that are no plan lines are passed over.
    void ShowPlan(const QString& output);

signals:
    void SynchronizeRequested();

private:
    void OnFinished(int exitCode, QProcess::ExitStatus status);

    QProcess m_process;
    QLabel* m_state = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_synchronize = nullptr;
};

// Opens the window for the manager's command: a message instead while no handheld is connected.
// Synchronize in it starts a run of every enabled binding.
void ShowPreviewSynchronization(QWidget* parent, bool handheldConnected);
