// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QTreeView>

class QFileSystemModel;
class QMimeData;

// A small window on the simulated handheld's drives. Files dragged out of it carry the
// five formats of the suite's explorer items, the last one holding the item stream.
class CDeviceBrowser : public QTreeView {
    Q_OBJECT
public:
    // deviceRoot holds one folder per drive letter.
    explicit CDeviceBrowser(const QString& deviceRoot, QWidget* parent = nullptr);

    // The drag data for host paths below deviceRoot, all in one folder; null when a path
    // lies elsewhere or cannot travel in the stream.
    static QMimeData* MakeDragData(const QString& deviceRoot, const QStringList& hostPaths);
    // "C:\Documents\Report" for deviceRoot/C/Documents/Report; empty outside the root.
    static QString EpocPathOf(const QString& deviceRoot, const QString& hostPath);

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    QString m_root;
    QFileSystemModel* m_model = nullptr;
};

// "epocsim browse": shows the browser until it is closed.
int RunDeviceBrowser(int argc, char** argv);
