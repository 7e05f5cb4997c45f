// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

class CDovetailManagerDoc;

// Room a list cell's text gets, terminating NUL included.
inline constexpr int kCellTextBuffer = 260;
// text cut so that its UTF-8 form fits bufferSize bytes with the NUL; never splits a character.
QString CutToBuffer(const QString& text, int bufferSize);

// The binding list's rows. A row keeps only its entry number, icon position and check
// state; every cell text is asked from the document each time the list paints it.
class CBindingListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CBindingListModel(CDovetailManagerDoc& doc, const std::vector<QIcon>& images, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The check box: a change of state stores IsActive.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // A new row at the end; its first check state is not a change and stores nothing.
    void AppendRow(int entry, int image, bool checked);
    // Between these, rows change without telling the views, which see the result as one
    // reset: a load of thousands of rows would otherwise re-evaluate the window's commands
    // once per row. The model's own accessors answer for the rows as they stand.
    void BeginBatch();
    void EndBatch();
    void RemoveRowAt(int row);
    void Clear();
    // Sets the check box; flipping it stores IsActive like a click does. False when the store
    // did not take it: the box then shows the stored state and ActiveNotStored is emitted.
    bool SetChecked(int row, bool checked);
    // Stores IsActive for the row whatever its box shows (the store may have been changed
    // outside), then shows the stored state; the same failure report.
    bool SetActive(int row, bool active);

    int EntryAt(int row) const;
    int ImageAt(int row) const;
    bool IsChecked(int row) const;
    bool AnyChecked() const;
    // Tells the view to repaint every cell (the texts are re-read then).
    void RefreshAll();

signals:
    // A row's IsActive could not be written; its box was put back to the stored state.
    void ActiveNotStored(int row);

private:
    struct Row {
        int entry;
        int image;
        bool checked;
    };
    bool IsValidRow(int row) const { return row >= 0 && row < int(m_rows.size()); }

    CDovetailManagerDoc& m_doc;
    const std::vector<QIcon>& m_images;
    std::vector<Row> m_rows;
    bool m_batch = false;
};
