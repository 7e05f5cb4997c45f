// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/dtwelcome/SuiteSetUp.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProcess;
class QPushButton;
class QTimer;

// The suite's set-up window. Where the suite is not set up for the login user it registers
// the user, the documents folder and the handheld, runs DTSetup's install wizard and then
// opens the manager. Once set up (the "handheld" form) it adopts another volume, switches to
// the simulated handheld or forgets an adopted volume. The list of volumes follows the
// mount table while the window is open.
class CWelcomeWindow : public QDialog {
    Q_OBJECT
public:
    struct Programs {
        QString suiteFiles;    // what installing the suite copies
        QString dataFolder;    // the user's own folder for the suite and the simulator
        QString setupProgram;  // DTSetup on the medium
    };

    CWelcomeWindow(Programs programs, bool handheldForm, QWidget* parent = nullptr);
    ~CWelcomeWindow() override;

    // Starts the installed manager detached; false (with a message box) when it cannot.
    static bool OpenManager(QWidget* parent, const SuiteState& state);

protected:
    // Not while the install wizard runs: it would be left without the window that waits for it.
    void reject() override;

private:
    void BuildForm();
    void RefreshVolumes();
    void RefreshAdopted();
    void UpdateButtons();
    void OnBrowse();
    void OnSetUp();
    void OnForget();
    void RunInstallWizard();
    void OnInstallWizardEnded();
    void SetBusy(bool busy, const QString& status);
    void Report(bool ok, const QString& text);
    SetUpRequest Request() const;

    Programs m_programs;
    CSuiteSetUp m_setUp;
    bool m_handheldForm;
    SuiteState m_state;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QComboBox* m_handheld = nullptr;
    QLabel* m_handheldHint = nullptr;
    QLabel* m_adoptedLabel = nullptr;
    QListWidget* m_adopted = nullptr;
    QPushButton* m_forget = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_setUpButton = nullptr;
    QPushButton* m_close = nullptr;
    QTimer* m_mountWatch = nullptr;
    QProcess* m_wizard = nullptr;
    QStringList m_lastMounts;
};
