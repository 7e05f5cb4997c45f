// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class CCommandTable;
class CConnectionFlow;
class CDovetailManagerView;
class CEpocAdding;
class CMainFrame;
class QMimeData;

// Adding bindings to the list: the two Add commands, Paste, and what is dropped on the list
// (shell files, and items dragged from the handheld, looked up through the connection).
class CAddingFlow : public QObject {
    Q_OBJECT
public:
    // connection may be null: handheld items then find no engine. Sets the list's drop target.
    CAddingFlow(CDovetailManagerView& view, const CConnectionFlow* connection);
    // A remote file still awaited goes before its engine.
    ~CAddingFlow() override;

    CEpocAdding& EpocAdding() { return *m_epocAdding; }
    // Shell file lists and items dragged from the handheld, recognised by their formats.
    static bool CanTakeData(const QMimeData* data);
    void TakeData(const QMimeData* data);
    // Add PC File, Add EPOC File (always enabled) and Paste (while the clipboard holds what
    // the list takes).
    void AddCommands(CCommandTable& commands);

private:
    CDovetailManagerView& m_view;
    const CConnectionFlow* m_connection;
    std::unique_ptr<CEpocAdding> m_epocAdding;
};

// The adding flow of frame's list, kept by the frame, its commands in the frame's table.
CAddingFlow& InstallAddingFlow(CMainFrame& frame, const CConnectionFlow* connection);
