// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/PcAdding.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "manager/ConnectionStrings.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerView.h"
#include "manager/MessageBox.h"
#include "manager/PcPathLimits.h"
#include "manager/Strings.h"
#include "manager/WaitCursor.h"
#include "manager/adding/ConversionChoiceDlg.h"
#include "manager/adding/EpocChooser.h"
#include "manager/adding/WinBindingWarningDlg.h"
#include "platform/shell/Shell.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>

namespace {
const QString kSettings = QStringLiteral("Settings");
const QString kLastWindowsPath = QStringLiteral("Last Windows Path");
const QString kLastEpocPath = QStringLiteral("Last Epoc Path");
constexpr int kManyBindings = 8;
}  // namespace

QString InitialPcFolder() {
    const QString last = CAppProfile().GetProfileString(kSettings, kLastWindowsPath);
    if (CheckPcFolder(QStringLiteral("\"Last Windows Path\""), last))
        return last;
    QString user;
    QString folder;
    if (GetCurrentUser(user) && GetUserPCDirectory(user, folder))
        return folder;
    return {};
}

void CPcAdding::OnAddPcFile() {
    const CAppProfile profile;
    // The dialog returns any number of files: no fixed selection buffer to overflow.
    QFileDialog dialog(&m_view, LoadConnectionString(kIdsSelectNewFile), InitialPcFolder());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The filter shows by its name alone, as the string table gives it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setObjectName(QStringLiteral("CNewWinFileDlg"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(LoadConnectionString(kIdsAllFiles) + QStringLiteral(" (*)"));
    dialog.setLabelText(QFileDialog::Accept, LoadConnectionString(kIdsOk));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return;
    for (const QString& file : files)
        BindPcFile(file);
    QString folder = files.size() == 1 ? QFileInfo(files.first()).absolutePath() : dialog.directory().absolutePath();
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    profile.WriteProfileString(kSettings, kLastWindowsPath, folder);
}

void CPcAdding::OnDropFiles(const QStringList& paths) {
    const int count = static_cast<int>(paths.size());
    if (count >= kManyBindings &&
        !CMessageBox::AskYesNo(
            &m_view, LoadConnectionString(kIdsManyBindings).replace(QStringLiteral("%d"), QString::number(count))))
        return;
    if (count == 0)
        return;
    QWidget* window = m_view.window();
    window->raise();
    window->activateWindow();
    BindDroppedFiles(paths);
}

void CPcAdding::BindDroppedFiles(const QStringList& paths) {
    bool folderReported = false;
    for (const QString& path : paths) {
        if (IShell::Current().GetTypeName(path) == ShellFolderTypeName()) {
            if (!folderReported)
                CMessageBox::Stop(&m_view, LoadConnectionString(kIdsNoWholeFolder));
            folderReported = true;
            continue;
        }
        BindPcFile(path);
    }
}

bool CPcAdding::BindPcFile(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    // A path naming a folder has no file to bind.
    if (slash < 0 || slash + 1 == path.size())
        return false;
    if (!IsBindablePcPath(path.left(slash + 1), path.mid(slash + 1))) {
        CMessageBox::Stop(&m_view, LoadManagerString(kIdsPcPathTooLong).arg(path));
        return false;
    }
    if (CWinBindingWarningDlg::IsWanted()) {
        CWinBindingWarningDlg warning(&m_view);
        if (warning.exec() == 0)
            return false;
    }
    CDovetailManagerDoc& doc = m_view.Document();
    CDocSynchEntry record = doc.NewRecord();
    record.WinFileName = path.mid(slash + 1);
    record.WinPath = path.left(slash + 1);
    const QFileInfo info(path);
    if (info.exists())
        record.FileSize = ClampedFileSize(info.size());
    record.WinFileType = IShell::Current().GetTypeName(path);
    record.ImageIndex = m_view.GetFileIcon(path);
    if (!ChooseEpocTarget(&m_view, record))
        return false;
    if (!doc.AddEntry(record))
        return false;
    m_view.ShowAddedBinding();
    return true;
}

QString CPcAdding::InitialEpocTarget(const QString& lastEpocPath, const QString& winFileName) {
    QString initial = (lastEpocPath.isEmpty() ? QStringLiteral("C:\\") : lastEpocPath) + winFileName;
    // Only the name's extension goes: a dot in a folder ("C:\My.Docs\") is part of the folder.
    const qsizetype dot = initial.lastIndexOf(QLatin1Char('.'));
    if (dot > initial.lastIndexOf(QLatin1Char('\\')))
        initial.truncate(dot);
    return initial;
}

bool CPcAdding::ChooseEpocTarget(QWidget* parent, CDocSynchEntry& record) {
    const CAppProfile profile;
    FileDllPtr chooser;
    {
        const CWaitCursor wait;
        QString error;
        chooser = CreateEpocChooser(error);
        if (!chooser) {
            CMessageBox::Stop(parent, LoadConnectionString(kIdsChooserMissing).arg(error));
            return false;
        }
    }
    chooser->Init(0, LoadConnectionString(kIdsSelectEpocTarget) + record.WinFileName, LoadConnectionString(kIdsOk),
                  InitialEpocTarget(profile.GetProfileString(kSettings, kLastEpocPath), record.WinFileName), 1);
    if (chooser->DoModal() <= 0)
        return false;
    char buffer[256] = {};
    chooser->GetFileName(buffer);
    const QString chosen = QString::fromUtf8(buffer, qsizetype(qstrnlen(buffer, sizeof buffer)));
    const qsizetype slash = chosen.lastIndexOf(QLatin1Char('\\'));
    record.EpocPath = chosen.left(slash + 1);
    record.EpocFileName = chosen.mid(slash + 1);
    profile.WriteProfileString(kSettings, kLastEpocPath, record.EpocPath);

    CConversionList list;
    {
        const CWaitCursor wait;
        list = BuildConversionList(record, ManagerConverters());
    }
    if (list.pairs.empty()) {
        record.EpocFileType = record.WinFileType;
        return true;
    }
    CConversionChoiceDlg dialog(record, std::move(list), parent);
    return dialog.exec() == QDialog::Accepted;
}
