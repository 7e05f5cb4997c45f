// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

#include <QString>
#include <QStringList>

class CDovetailManagerView;
class QWidget;

// Where the PC file dialogs start: the last PC folder chosen, else the current user's PC
// folder (never the program's working folder); empty when neither is known.
QString InitialPcFolder();

// Bindings started from PC files: by the file dialog, or by shell files dropped or pasted
// on the list. Every step is modal and runs on the user-interface thread.
class CPcAdding {
public:
    explicit CPcAdding(CDovetailManagerView& view) : m_view(view) {}

    void OnAddPcFile();
    // Shell files dropped on the list: asks before 8 or more, then binds each file.
    void OnDropFiles(const QStringList& paths);
    void BindDroppedFiles(const QStringList& paths);
    // True when the binding was stored.
    bool BindPcFile(const QString& path);
    // The EPOC target and the conversion; true when the record is complete.
    static bool ChooseEpocTarget(QWidget* parent, CDocSynchEntry& record);
    // Where the chooser starts for a PC file name: the last EPOC folder (or C:\) and the
    // name without its extension.
    static QString InitialEpocTarget(const QString& lastEpocPath, const QString& winFileName);

private:
    CDovetailManagerView& m_view;
};
