// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manager/DovetailManagerDoc.h"

#include <QHash>
#include <QIcon>
#include <QTreeView>

#include <functional>
#include <optional>
#include <vector>

class CBindingListModel;
class QMenu;
class QMimeData;

// The binding list: one row per binding of the document's user, every cell read from the
// store when painted. The operations on the selected binding live here; the command table
// (ListCommands.h and the flows) says when each runs.
class CDovetailManagerView : public QTreeView, public IBindingList {
    Q_OBJECT
public:
    CDovetailManagerView(CDovetailManagerDoc& doc, QWidget* parent = nullptr);
    // Saves the column widths.
    ~CDovetailManagerView() override;

    // The first update: list set-up (columns, icons, click style), then the rows.
    void OnInitialUpdate();
    bool IsSetUp() const { return m_setUp; }

    // IBindingList
    void RemoveAllItems() override;
    void AddItem(const CDocSynchEntry& record, int entry) override;
    int GetFileIcon(const QString& fullPath) override;
    void ShowMessage(const QString& text) override;
    void EndWaitCursor() override;
    void BeginLoad() override;
    void EndLoad() override;

    CDovetailManagerDoc& Document() { return m_doc; }
    CBindingListModel* Model() { return m_model; }
    const std::vector<QIcon>& ImageList() const { return m_images; }
    int ItemCount() const;
    // Selected row, or -1.
    int SelectedRow() const;
    int SelectedEntry() const;
    void SelectRow(int row);
    // A binding was just added (the last row): it becomes the selection, so that the commands
    // that follow (Synchronize) act on it, and the list repaints.
    void ShowAddedBinding();

    // The context menu (menu 134); its Enable item follows the selected row's check box.
    void SetContextMenu(QMenu* menu) { m_contextMenu = menu; }
    void UpdateEnableItemText();

    // The desktop could not open path: says so.
    void ShowNoProgram(const QString& path);

    void OnEnableDisable();
    void OnDelete();
    void OnExplore();
    void OnLaunch();
    void OnBackups();
    void OnHelp();
    // Backup folder steps 1 and 2 with their messages and the closing; creates the folder.
    bool PrepareBackupFolder(QString& folder);

    // What the list takes when dropped on it (the adding flow sets it); without it the list
    // takes nothing.
    using DataCheck = std::function<bool(const QMimeData*)>;
    using DataTaker = std::function<void(const QMimeData*)>;
    void SetDataTaker(DataCheck canTake, DataTaker take);
    bool CanTakeData(const QMimeData* data) const;

signals:
    // Selection, rows or check boxes changed: the frame re-evaluates its commands.
    void CommandStateChanged();
    // The manager must close (no user, no PC folder).
    void CloseApplicationRequested();
    // The first update is done: the list is set up and loaded.
    void InitialUpdateDone();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnActivated(const QModelIndex& index);

    CDovetailManagerDoc& m_doc;
    std::vector<QIcon> m_images;
    CBindingListModel* m_model = nullptr;
    QMenu* m_contextMenu = nullptr;
    DataCheck m_canTake;
    DataTaker m_take;
    // While the list is filled: the first row of each PC type, as just read from the store,
    // so that the icon lookup does not re-read every earlier row for every new one.
    std::optional<QHash<QString, int>> m_firstRowOfType;
    bool m_setUp = false;
    bool m_closing = false;
};
