// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/DovetailManagerView.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "manager/BackupFolder.h"
#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/Icons.h"
#include "manager/ManagerHelp.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "platform/shell/Shell.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace {
const QString kColumnSection = QStringLiteral("ListColWidth");
constexpr int kDefaultColumnWidth = 125;
constexpr int kNoFileIconPosition = 2;

QString ColumnValueName(int column) {
    return QStringLiteral("Col %1").arg(column);
}
}  // namespace

CDovetailManagerView::CDovetailManagerView(CDovetailManagerDoc& doc, QWidget* parent) : QTreeView(parent), m_doc(doc) {
    setObjectName(QStringLiteral("BindingList"));
    m_model = new CBindingListModel(m_doc, m_images, this);
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);

    connect(this, &QAbstractItemView::activated, this, &CDovetailManagerView::OnActivated);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit CommandStateChanged(); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { emit CommandStateChanged(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { emit CommandStateChanged(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { emit CommandStateChanged(); });
    connect(m_model, &CBindingListModel::ActiveNotStored, this,
            [this] { CMessageBox::Stop(this, LoadManagerString(kIdsCannotSwitchBinding)); });
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole))
                    emit CommandStateChanged();
            });
}

CDovetailManagerView::~CDovetailManagerView() {
    if (!m_setUp)
        return;
    const CAppProfile profile;
    for (int column = 0; column < kBindingColumnCount; ++column)
        profile.WriteProfileInt(kColumnSection, ColumnValueName(column), columnWidth(column));
}

void CDovetailManagerView::OnInitialUpdate() {
    if (m_setUp)
        return;
    m_images.clear();
    m_images.reserve(12);
    for (int id : {kIdiBindingActive, kIdiBindingPlain, kIdiNoFileIcon})
        m_images.push_back(ManagerIcon(id));

    // Single- or double-click activation follows the desktop's setting, which the
    // item view's style hint already applies; hot tracking shows what one click would open.
    if (style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, this))
        setMouseTracking(true);

    const CAppProfile profile;
    for (int column = 0; column < kBindingColumnCount; ++column)
        setColumnWidth(column, profile.GetProfileInt(kColumnSection, ColumnValueName(column), kDefaultColumnWidth));

    m_setUp = true;
    m_doc.SetView(this);
    emit InitialUpdateDone();
}

void CDovetailManagerView::RemoveAllItems() {
    m_model->Clear();
}

void CDovetailManagerView::AddItem(const CDocSynchEntry& record, int entry) {
    if (m_firstRowOfType) {
        // The record was read from the store a moment ago, in the same transaction: a type
        // it holds is the column's text. Empty may stand for a missing value, which the
        // column shows differently.
        const QString type =
            record.WinFileType.isEmpty() ? m_doc.GetEntryText(entry, int(BindingColumn::PcType)) : record.WinFileType;
        if (!m_firstRowOfType->contains(type))
            m_firstRowOfType->insert(type, m_model->rowCount());
    }
    m_model->AppendRow(entry, record.ImageIndex, record.IsActive);
}

void CDovetailManagerView::BeginLoad() {
    m_firstRowOfType.emplace();
    m_model->BeginBatch();
}

void CDovetailManagerView::EndLoad() {
    m_model->EndBatch();
    m_firstRowOfType.reset();
}

int CDovetailManagerView::GetFileIcon(const QString& fullPath) {
    IShell& shell = IShell::Current();
    const QString typeName = shell.GetTypeName(fullPath);
    if (typeName.isEmpty())
        return kNoFileIconPosition;
    int row = -1;
    if (m_firstRowOfType) {
        row = m_firstRowOfType->value(typeName, -1);
    } else {
        for (int candidate = 0; candidate < m_model->rowCount() && row < 0; ++candidate) {
            if (m_doc.GetEntryText(m_model->EntryAt(candidate), int(BindingColumn::PcType)) == typeName)
                row = candidate;
        }
    }
    if (row >= 0) {
        const int image = m_model->ImageAt(row);
        if (image != kNoFileIconPosition)
            return image < 0 ? kNoFileIconPosition : image;
    }
    const QIcon icon = shell.GetSmallIcon(fullPath);
    if (icon.isNull())
        return kNoFileIconPosition;
    m_images.push_back(icon);
    return int(m_images.size()) - 1;
}

void CDovetailManagerView::ShowMessage(const QString& text) {
    CMessageBox::Information(this, text);
}

void CDovetailManagerView::EndWaitCursor() {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

int CDovetailManagerView::ItemCount() const {
    return m_model->rowCount();
}

int CDovetailManagerView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int CDovetailManagerView::SelectedEntry() const {
    return m_model->EntryAt(SelectedRow());
}

void CDovetailManagerView::SelectRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid())
        return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CDovetailManagerView::ShowAddedBinding() {
    const int last = ItemCount() - 1;
    if (last >= 0) {
        SelectRow(last);
        scrollTo(m_model->index(last, 0));
    }
    viewport()->update();
}

void CDovetailManagerView::UpdateEnableItemText() {
    if (!m_contextMenu)
        return;
    const int row = SelectedRow();
    if (row < 0)
        return;
    for (QAction* action : m_contextMenu->actions()) {
        if (action->data().toInt() == kCmdEnable)
            action->setText(m_model->IsChecked(row) ? QStringLiteral("Disabl&e") : QStringLiteral("&Enable"));
    }
}

void CDovetailManagerView::OnEnableDisable() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    const bool active = m_doc.IsEntryActive(m_model->EntryAt(row));
    // Stored also when the box already showed the new state (the store was changed outside).
    m_model->SetActive(row, !active);
    UpdateEnableItemText();
}

void CDovetailManagerView::OnDelete() {
    if (!CMessageBox::AskYesNo(this, LoadManagerString(kIdsConfirmDelete)))
        return;
    const int row = SelectedRow();
    if (row < 0)
        return;
    if (!m_doc.DeleteEntry(m_model->EntryAt(row))) {
        CMessageBox::Stop(this, LoadManagerString(kIdsCannotDeleteBinding));
        return;
    }
    m_model->RemoveRowAt(row);
}

void CDovetailManagerView::OnExplore() {
    const int entry = SelectedEntry();
    if (entry < 0)
        return;
    CDocSynchEntry record = m_doc.NewRecord();
    m_doc.ReadEntry(entry, record);
    // A relative or odd folder would be opened wherever the manager happens to be working.
    if (const CStoreCheck folder = CheckWinPath(record.WinPath); !folder) {
        CMessageBox::Information(this, LoadManagerString(kIdsPcFileRefused).arg(folder.Reason()));
        return;
    }
    if (!IShell::Current().Explore(record.WinPath))
        ShowNoProgram(record.WinPath);
}

void CDovetailManagerView::ShowNoProgram(const QString& path) {
    CMessageBox::Information(this, LoadManagerString(kIdsNoProgramToOpen).arg(path));
}

void CDovetailManagerView::OnLaunch() {
    const int entry = SelectedEntry();
    if (entry < 0)
        return;
    CDocSynchEntry record = m_doc.NewRecord();
    if (const CStoreCheck file = m_doc.ReadEntry(entry, record); !file) {
        CMessageBox::Information(this, LoadManagerString(kIdsPcFileRefused).arg(file.Reason()));
        return;
    }
    IShell& shell = IShell::Current();
    const QString path = record.WinPath + record.WinFileName;
    if (shell.GetTypeName(path).size() > 1) {
        if (!shell.Open(path))
            ShowNoProgram(path);
    } else
        CMessageBox::Information(this, LoadManagerString(kIdsNoExecutable));
}

bool CDovetailManagerView::PrepareBackupFolder(QString& folder) {
    if (m_closing)
        return false;
    const BackupFolderResult result = ResolveBackupFolder();
    if (!result.ok) {
        m_closing = true;
        CMessageBox::Stop(this, result.message);
        emit CloseApplicationRequested();
        return false;
    }
    // Not made here: Backups stays disabled until a backup has made the folder.
    folder = result.folder;
    return true;
}

void CDovetailManagerView::OnBackups() {
    QString folder;
    if (PrepareBackupFolder(folder) && !IShell::Current().Explore(folder))
        ShowNoProgram(folder);
}

void CDovetailManagerView::OnHelp() {
    OpenManagerHelp(this);
}

void CDovetailManagerView::SetDataTaker(DataCheck canTake, DataTaker take) {
    m_canTake = std::move(canTake);
    m_take = std::move(take);
}

bool CDovetailManagerView::CanTakeData(const QMimeData* data) const {
    return m_canTake && m_take && m_canTake(data);
}

void CDovetailManagerView::OnActivated(const QModelIndex& index) {
    if (!index.isValid())
        return;
    // A click may activate before the selection follows; launch the row that was activated.
    if (SelectedRow() != index.row())
        SelectRow(index.row());
    OnLaunch();
}

void CDovetailManagerView::paintEvent(QPaintEvent* event) {
    // Every visible cell reads the store: one read snapshot for the whole paint.
    RegReadSnapshot([&] { QTreeView::paintEvent(event); });
}

void CDovetailManagerView::keyPressEvent(QKeyEvent* event) {
    // Shift+F10 is the keyboard's way to the context menu, as the Menu key is.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(), QPoint(), event->modifiers());
        contextMenuEvent(&menuEvent);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
    // As in a report list, moving with the keys selects the row landed on, also when it was
    // already current (the first row is current, unselected, from the start). Ctrl moves only
    // the focus.
    switch (event->key()) {
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            break;
        default:
            return;
    }
    if (event->modifiers() & Qt::ControlModifier)
        return;
    const QModelIndex current = currentIndex();
    if (current.isValid() && !selectionModel()->isRowSelected(current.row(), QModelIndex()))
        SelectRow(current.row());
}

void CDovetailManagerView::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_contextMenu)
        return;
    UpdateEnableItemText();
    emit CommandStateChanged();
    // From the keyboard the menu belongs where the user's eyes are, at the current row, not
    // wherever the pointer was left.
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        QRect row = visualRect(currentIndex());
        if (!row.isValid() || !viewport()->rect().intersects(row))
            row = QRect(viewport()->rect().topLeft(), QSize(1, 1));
        at = viewport()->mapToGlobal(QPoint(row.left() + row.height(), row.bottom()));
    }
    m_contextMenu->exec(at);
}

void CDovetailManagerView::dragEnterEvent(QDragEnterEvent* event) {
    if (CanTakeData(event->mimeData())) {
        // Never a move: the source must keep its files.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CDovetailManagerView::dragMoveEvent(QDragMoveEvent* event) {
    if (CanTakeData(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CDovetailManagerView::dropEvent(QDropEvent* event) {
    if (!CanTakeData(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    m_take(event->mimeData());
}
