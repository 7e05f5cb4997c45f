// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/EpocFilePropertyPage.h"

#include "manager/ConnectionStrings.h"
#include "manager/MessageBox.h"
#include "manager/PropertyStrings.h"
#include "manager/WaitCursor.h"
#include "manager/adding/EpocAdding.h"
#include "manager/adding/EpocChooser.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>

namespace {
constexpr uint32_t kHelpContext = 0x20000 + 132;
}  // namespace

CEpocFilePropertyPage::CEpocFilePropertyPage(const CDocSynchEntry& record, IConverterInterface* converters,
                                             QWidget* parent)
    : CFilePropertyPage(QStringLiteral("EPOC File"), kHelpContext, QStringLiteral("EPOC File Name and Folder"), parent),
      m_record(record),
      m_converters(converters) {
    connect(ModifyButton(), &QPushButton::clicked, this, &CEpocFilePropertyPage::OnModifyEpocFile);
    connect(TypeBox(), &QComboBox::activated, this,
            [this](int index) { m_record.EpocFileType = TypeBox()->itemText(index); });
}

void CEpocFilePropertyPage::OnInitDialog() {
    Refresh();
}

void CEpocFilePropertyPage::Refresh() {
    CFilePropertyPage::Refresh(m_record.EpocFileName, m_record.EpocPath, [this] { FillEpocTypeList(); });
}

void CEpocFilePropertyPage::FillEpocTypeList() {
    ShowTypeList(BuildEpocTypeList(m_record, m_converters));
}

void CEpocFilePropertyPage::OnModifyEpocFile() {
    FileDllPtr chooser;
    QString error;
    {
        const CWaitCursor wait;
        chooser = CreateEpocChooser(error);
    }
    if (!chooser) {
        CMessageBox::Stop(this, LoadPropertyString(kIdsPropertiesChooserMissing).arg(error));
        return;
    }
    const QString initial =
        m_record.EpocPath.isEmpty() ? QStringLiteral("C:\\") : m_record.EpocPath + m_record.EpocFileName;
    chooser->Init(0, LoadConnectionString(kIdsSelectEpocTarget) + m_record.WinFileName, LoadConnectionString(kIdsOk),
                  initial, 1);
    if (chooser->DoModal() <= 0)
        return;
    char buffer[256] = {};
    chooser->GetFileName(buffer);
    const QString chosen = QString::fromUtf8(buffer, qsizetype(qstrnlen(buffer, sizeof buffer)));
    // An accepted chooser that names nothing leaves the binding as it was.
    if (chosen.isEmpty())
        return;
    const qsizetype slash = chosen.lastIndexOf(QLatin1Char('\\'));
    m_record.EpocPath = chosen.left(slash + 1);
    m_record.EpocFileName = chosen.mid(slash + 1);
    uint32_t uid1 = 0, uid2 = 0, uid3 = 0;
    chooser->GetFileType(uid1, uid2, uid3);
    const QString type = CEpocAdding::EpocClassText(uid1, uid2, uid3);
    if (!type.isEmpty())
        m_record.EpocFileType = type;
    Refresh();
}
