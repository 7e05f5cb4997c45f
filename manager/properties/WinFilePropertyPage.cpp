// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/WinFilePropertyPage.h"

#include "manager/ConnectionStrings.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/MessageBox.h"
#include "manager/PcPathLimits.h"
#include "manager/Strings.h"
#include "manager/adding/EpocAdding.h"
#include "manager/adding/PcAdding.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr uint32_t kHelpContext = 0x20000 + 130;
}  // namespace

CWinFilePropertyPage::CWinFilePropertyPage(const CDocSynchEntry& record, IConverterInterface* converters,
                                           QWidget* parent)
    : CFilePropertyPage(QStringLiteral("Windows File"), kHelpContext, QStringLiteral("PC File Name and Folder"),
                        parent),
      m_record(record),
      m_converters(converters) {
    m_size = new QLabel;
    m_size->setObjectName(QString::number(kIdSize));
    Form()->addRow(QStringLiteral("File Size:"), m_size);
    connect(ModifyButton(), &QPushButton::clicked, this, &CWinFilePropertyPage::OnModifyPcFile);
    // Only a choice of the user changes the type; the page's own preselection does not.
    connect(TypeBox(), &QComboBox::activated, this,
            [this](int index) { m_record.WinFileType = TypeBox()->itemText(index); });
}

void CWinFilePropertyPage::OnInitDialog() {
    Refresh();
}

void CWinFilePropertyPage::Refresh() {
    CFilePropertyPage::Refresh(m_record.WinFileName, m_record.WinPath, [this] { FillPcTypeList(); });
    m_size->setText(FileSizeText(ShownFileSize(m_record.WinFullPath(), m_record.FileSize)));
}

void CWinFilePropertyPage::FillPcTypeList() {
    ShowTypeList(BuildPcTypeList(m_record, m_converters));
}

QString CWinFilePropertyPage::NameWithOldExtension(const QString& chosenName, const QString& oldName) {
    const qsizetype dot = oldName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return chosenName;
    return CEpocAdding::WithTargetExtension(chosenName, oldName.mid(dot));
}

void CWinFilePropertyPage::OnModifyPcFile() {
    // A folder the store checks refuse would be listed relative to wherever the manager runs.
    const QString start = CheckWinPath(m_record.WinPath) ? m_record.WinPath : InitialPcFolder();
    QFileDialog dialog(this, LoadConnectionString(kIdsSelectPcTarget) + m_record.EpocFileName, start);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setObjectName(QStringLiteral("ModifyPcFileDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(m_record.EpocFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = path.left(slash + 1);
    const QString name = NameWithOldExtension(path.mid(slash + 1), m_record.WinFileName);
    if (!IsBindablePcPath(folder, name)) {
        CMessageBox::Stop(this, LoadManagerString(kIdsPcPathTooLong).arg(folder + name));
        return;
    }
    m_record.WinPath = folder;
    m_record.WinFileName = name;
    const QFileInfo info(m_record.WinFullPath());
    if (info.exists())
        m_record.FileSize = ClampedFileSize(info.size());
    Refresh();
}
