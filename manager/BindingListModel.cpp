// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/BindingListModel.h"

#include "manager/DovetailManagerDoc.h"
#include "manager/Strings.h"

QString CutToBuffer(const QString& text, int bufferSize) {
    if (bufferSize <= 1)
        return {};
    const int room = bufferSize - 1;
    if (text.size() * 3 <= room)  // fits whatever it encodes to
        return text;
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= room)
        return text;
    qsizetype end = room;
    // Step back over continuation bytes so the last character stays whole.
    while (end > 0 && (uchar(utf8[end]) & 0xC0) == 0x80)
        --end;
    return QString::fromUtf8(utf8.left(end));
}

CBindingListModel::CBindingListModel(CDovetailManagerDoc& doc, const std::vector<QIcon>& images, QObject* parent)
    : QAbstractTableModel(parent), m_doc(doc), m_images(images) {}

int CBindingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CBindingListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kBindingColumnCount;
}

QVariant CBindingListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !IsValidRow(index.row()))
        return {};
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return CutToBuffer(m_doc.GetEntryText(row.entry, index.column()), kCellTextBuffer);
        case Qt::DecorationRole:
            if (index.column() == 0 && row.image >= 0 && row.image < int(m_images.size()))
                return m_images[size_t(row.image)];
            return {};
        case Qt::CheckStateRole:
            if (index.column() == 0)
                return row.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == int(BindingColumn::Size))
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CBindingListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kBindingColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return LoadManagerString(kIdsColumnFirst + section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == int(BindingColumn::Size) ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags CBindingListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

bool CBindingListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || !IsValidRow(index.row()))
        return false;
    SetChecked(index.row(), Qt::CheckState(value.toInt()) == Qt::Checked);
    return true;
}

void CBindingListModel::AppendRow(int entry, int image, bool checked) {
    const int row = int(m_rows.size());
    if (m_batch) {
        m_rows.push_back({entry, image, checked});
        return;
    }
    beginInsertRows({}, row, row);
    m_rows.push_back({entry, image, checked});
    endInsertRows();
}

void CBindingListModel::BeginBatch() {
    if (m_batch)
        return;
    beginResetModel();
    m_batch = true;
}

void CBindingListModel::EndBatch() {
    if (!m_batch)
        return;
    m_batch = false;
    endResetModel();
}

void CBindingListModel::RemoveRowAt(int row) {
    if (!IsValidRow(row))
        return;
    if (m_batch) {
        m_rows.erase(m_rows.begin() + row);
        return;
    }
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CBindingListModel::Clear() {
    if (m_batch) {
        m_rows.clear();
        return;
    }
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

bool CBindingListModel::SetChecked(int row, bool checked) {
    if (!IsValidRow(row) || m_rows[size_t(row)].checked == checked)
        return true;
    return SetActive(row, checked);
}

bool CBindingListModel::SetActive(int row, bool active) {
    if (!IsValidRow(row))
        return true;
    Row& item = m_rows[size_t(row)];
    const bool stored = m_doc.SetEntryActive(item.entry, active);
    // A write that did not land must not leave a box that says otherwise: the binding would
    // still be synchronized while the list shows it switched off.
    item.checked = stored ? active : m_doc.IsEntryActive(item.entry);
    if (!m_batch) {
        const QModelIndex cell = index(row, 0);
        emit dataChanged(cell, cell, {Qt::CheckStateRole});
    }
    if (!stored)
        emit ActiveNotStored(row);
    return stored;
}

int CBindingListModel::EntryAt(int row) const {
    return IsValidRow(row) ? m_rows[size_t(row)].entry : -1;
}

int CBindingListModel::ImageAt(int row) const {
    return IsValidRow(row) ? m_rows[size_t(row)].image : -1;
}

bool CBindingListModel::IsChecked(int row) const {
    return IsValidRow(row) && m_rows[size_t(row)].checked;
}

bool CBindingListModel::AnyChecked() const {
    for (const Row& row : m_rows) {
        if (row.checked)
            return true;
    }
    return false;
}

void CBindingListModel::RefreshAll() {
    if (!m_rows.empty() && !m_batch)
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, kBindingColumnCount - 1), {Qt::DisplayRole});
}
