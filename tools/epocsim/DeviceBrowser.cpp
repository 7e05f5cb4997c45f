// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/epocsim/DeviceBrowser.h"

#include "manager/EpocDropStream.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMimeData>

#include <cstdio>

CDeviceBrowser::CDeviceBrowser(const QString& deviceRoot, QWidget* parent)
    : QTreeView(parent), m_root(QDir(deviceRoot).absolutePath()) {
    m_model = new QFileSystemModel(this);
    m_model->setReadOnly(true);
    m_model->setRootPath(m_root);
    setModel(m_model);
    setRootIndex(m_model->index(m_root));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    header()->resizeSection(0, 260);
    setWindowTitle(QStringLiteral("MC 218 - %1").arg(QDir::toNativeSeparators(m_root)));
    resize(560, 380);
}

QString CDeviceBrowser::EpocPathOf(const QString& deviceRoot, const QString& hostPath) {
    const QString root = QDir(deviceRoot).absolutePath();
    const QString path = QDir(hostPath).absolutePath();
    if (!path.startsWith(root + QLatin1Char('/')))
        return {};
    const QStringList parts = path.mid(root.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts[0].size() != 1 || !parts[0][0].isLetter())
        return {};
    QString epoc = parts[0].toUpper() + QStringLiteral(":\\");
    epoc += parts.mid(1).join(QLatin1Char('\\'));
    return epoc;
}

QMimeData* CDeviceBrowser::MakeDragData(const QString& deviceRoot, const QStringList& hostPaths) {
    if (hostPaths.isEmpty())
        return nullptr;
    QString base;
    QStringList items;
    for (const QString& hostPath : hostPaths) {
        const QString epoc = EpocPathOf(deviceRoot, hostPath);
        const qsizetype slash = epoc.lastIndexOf(QLatin1Char('\\'));
        if (epoc.isEmpty() || slash == epoc.size() - 1)
            return nullptr;  // a drive itself is no item
        const QString folder = epoc.left(slash + 1);
        if (base.isEmpty())
            base = folder;
        else if (folder != base)
            return nullptr;
        items << epoc.mid(slash + 1);
    }
    const QByteArray stream = BuildEpocDropStream(base, items);
    if (stream.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    const QStringList names = EpocDropFormat::Names();
    for (const QString& name : names) {
        // The leading formats only announce the items; the manager reads the stream.
        data->setData(name,
                      name == EpocDropFormat::StreamName() ? stream : (base + items.join(QLatin1Char('\n'))).toUtf8());
    }
    return data;
}

void CDeviceBrowser::startDrag(Qt::DropActions supportedActions) {
    Q_UNUSED(supportedActions);
    QStringList paths;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        paths << m_model->filePath(index);
    QMimeData* data = MakeDragData(m_root, paths);
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The handheld keeps its files: only ever a copy.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

int RunDeviceBrowser(int argc, char** argv) {
    QApplication app(argc, argv);
    QString root;
    if (!CRegistry::Default().GetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(),
                                        root) ||
        !QFileInfo(root).isDir()) {
        std::fprintf(stderr, "epocsim: no simulated handheld is set up (run epocsim install first)\n");
        return 1;
    }
    CDeviceBrowser browser(root);
    browser.show();
    return app.exec();
}
