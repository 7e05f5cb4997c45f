// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "common/ProgramPath.h"
#include "manager/AboutDlg.h"
#include "manager/CommandIds.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/Strings.h"
#include "manager/adding/AddingFlow.h"
#include "manager/connection/ConnectionFlow.h"
#include "manager/properties/PropertyCommands.h"
#include "platform/shell/Shell.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// A private registry with the suite installed, the user Alice and a few bindings, so the
// shots never read or write the real settings.
void UseSampleWorld() {
    static QTemporaryDir dir;
    static bool built = false;
    ::setenv("DOVETAIL_REGISTRY", (dir.path() + u"/registry.db"_s).toLocal8Bit().constData(), 1);
    // This tool draws every program's windows; their tables share numbers, so the manager's
    // go in again before its windows are drawn.
    InstallManagerStrings();
    if (built)
        return;
    built = true;
    const QString pc = dir.path() + u"/Documents/"_s;
    QDir().mkpath(pc);
    RegWriteString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), u"Installation Directory"_s, dir.path());
    RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), QString(), u"Alice"_s);
    struct Sample {
        const char* pcName;
        int size;
        const char* epocName;
        const char* epocType;
        bool active;
        bool synchronized;
    };
    const Sample samples[] = {
        {"Quarterly report.txt", 18432, "Quarterly report", "Word", true, true},
        {"Addresses.csv", 5120, "Addresses", "Data", true, false},
        {"Budget 1999.txt", 9876, "Budget 1999", "Sheet", false, true},
        {"Notes.txt", 733, "Notes", "Word", true, false},
    };
    int entry = 0;
    for (const Sample& s : samples) {
        QFile file(pc + QString::fromUtf8(s.pcName));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(s.size, 'x'));
        file.close();
        CDocSynchEntry record;
        record.WinFileName = QString::fromUtf8(s.pcName);
        record.WinPath = pc;
        record.WinFileType = IShell::Current().GetTypeName(pc + record.WinFileName);
        record.EpocFileName = QString::fromUtf8(s.epocName);
        record.EpocPath = u"C:\\Documents\\"_s;
        record.EpocFileType = QString::fromUtf8(s.epocType);
        record.IsActive = s.active;
        record.WasUpdated = s.synchronized;
        record.LastSyncTimeStamp = 922706475 + uint32_t(entry) * 3600;
        WriteDocSynchEntry(u"Alice"_s, entry++, record);
    }
}

// The main window; it owns its document.
std::unique_ptr<CMainFrame> MakeFrame(bool connected) {
    UseSampleWorld();
    auto* doc = new CDovetailManagerDoc;
    doc->OnNewDocument();
    auto frame = std::make_unique<CMainFrame>(*doc, u"Dovetail"_s);
    doc->setParent(frame.get());
    frame->resize(980, 300);
    // The program's commands, without an engine behind the list; Options only shows enabled.
    InstallAddingFlow(*frame, nullptr);
    AddSynchronizeCommands(frame->Commands(), *frame->View());
    AddItemPropertiesCommand(frame->Commands(), *frame->View());
    frame->Commands().Add(kCmdOptions, [] {});
    frame->View()->OnInitialUpdate();
    frame->View()->SelectRow(0);
    frame->SetConnected(connected);
    if (connected)
        frame->SetStatusText(u"Alice"_s);
    return frame;
}

const CScreenshot notConnected("manager-main", [] { return MakeFrame(false); });
const CScreenshot connected("manager-main-connected", [] { return MakeFrame(true); });

// Every popup of the menu bar and the list's context menu, side by side.
const CScreenshot menus("manager-menus", [] {
    auto frame = MakeFrame(false);
    auto host = std::make_unique<QWidget>();
    host->setWindowTitle(u"Menus 128 and 134"_s);
    auto* layout = new QHBoxLayout(host.get());
    layout->setAlignment(Qt::AlignTop);
    std::unique_ptr<QMenu> context(frame->CreateContextMenu(nullptr));
    frame->View()->SetContextMenu(context.get());
    frame->View()->UpdateEnableItemText();
    QList<QMenu*> popups;
    for (QAction* action : frame->FrameMenuBar()->actions())
        popups << action->menu();
    popups << context.get();
    frame->UpdateCommandUi();
    for (QMenu* menu : popups) {
        menu->ensurePolished();
        menu->adjustSize();
        auto* column = new QWidget;
        auto* columnLayout = new QVBoxLayout(column);
        columnLayout->setContentsMargins(0, 0, 0, 0);
        auto* title = new QLabel(menu == context.get() ? u"(context) dummy"_s : menu->title().remove(u'&'));
        columnLayout->addWidget(title);
        auto* picture = new QLabel;
        picture->setPixmap(menu->grab());
        columnLayout->addWidget(picture);
        columnLayout->addStretch();
        layout->addWidget(column, 0, Qt::AlignTop);
    }
    return host;
});

const CScreenshot about("manager-about", [] {
    UseSampleWorld();
    auto dialog = std::make_unique<CAboutDlg>();
    // The manager's own version block, not the screenshot program's.
    QString folder;
    GetProgramFolder(folder);
    dialog->LoadVersion(folder + u"bindmgr"_s);
    return dialog;
});

}  // namespace
