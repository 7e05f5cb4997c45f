// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/chooser/DeviceFolder.h"

#include <QDialog>
#include <QRegularExpression>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The chooser window: browses the handheld's drives and folders. Controls carry object
// names (driveCombo, upButton, folderLabel, entryList, nameEdit, errorLabel, acceptButton,
// cancelButton) so tests can drive them.
class CEpocFileDlg : public QDialog {
    Q_OBJECT
public:
    // mode 1: an existing file must be chosen; mode 0: any valid name in an existing folder.
    CEpocFileDlg(const CDeviceFolder& device, int mode, const QString& title, const QString& acceptText,
                 const QString& initialPath, QWidget* parent = nullptr);

    // Valid after the dialog was accepted.
    const EpocPath& Chosen() const { return m_chosen; }

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFolder(QChar drive, const QStringList& folders);
    void Refill();
    void ShowError(const QString& text);
    void OnDriveChosen(int index);
    void OnUp();
    void OnItemClicked(QListWidgetItem* item);
    void OnItemActivated(QListWidgetItem* item);
    void ForgetListName();
    bool TryChoose(const QString& typed);

    const CDeviceFolder& m_device;
    int m_mode = 0;
    QChar m_drive;
    QStringList m_folders;
    QRegularExpression m_filter;
    EpocPath m_chosen;
    bool m_nameFromList = false;  // the name field holds a file picked in the list, not typed

    QComboBox* m_driveCombo = nullptr;
    QPushButton* m_upButton = nullptr;
    QLabel* m_folderLabel = nullptr;
    QListWidget* m_entryList = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLabel* m_errorLabel = nullptr;
    QPushButton* m_acceptButton = nullptr;
};
