// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/ConversionChoiceDlg.h"

#include "manager/ManagerHelp.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr uint32_t kHelpContext = 0x20000 + 141;

QLineEdit* ReadOnlyEdit(const QString& text, int id) {
    auto* edit = new QLineEdit(text);
    edit->setReadOnly(true);
    edit->setObjectName(QString::number(id));
    return edit;
}

QComboBox* TypeBox(int id) {
    auto* box = new QComboBox;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setObjectName(QString::number(id));
    box->setMinimumWidth(220);
    return box;
}

// Adds text in sorted position, as a sorted combo box keeps its entries.
void AddSorted(QComboBox* box, const QString& text) {
    int at = 0;
    while (at < box->count() && QString::compare(box->itemText(at), text, Qt::CaseInsensitive) <= 0)
        ++at;
    box->insertItem(at, text);
}
}  // namespace

CConversionChoiceDlg::CConversionChoiceDlg(CDocSynchEntry& record, CConversionList list, QWidget* parent)
    : QDialog(parent), m_record(record), m_list(std::move(list)) {
    setWindowTitle(QStringLiteral("Select type of conversion..."));
    m_pcType = TypeBox(kIdPcType);
    m_epocType = TypeBox(kIdEpocType);

    auto* fromPc = new QGroupBox(QStringLiteral("&From PC"));
    auto* fromLayout = new QVBoxLayout(fromPc);
    fromLayout->addWidget(ReadOnlyEdit(record.WinPath + record.WinFileName, kIdPcName));
    fromLayout->addWidget(m_pcType);
    auto* toEpoc = new QGroupBox(QStringLiteral("&To EPOC"));
    auto* toLayout = new QVBoxLayout(toEpoc);
    toLayout->addWidget(ReadOnlyEdit(record.EpocPath + record.EpocFileName, kIdEpocName));
    toLayout->addWidget(m_epocType);

    auto* convert = new QPushButton(QStringLiteral("&Convert"));
    convert->setDefault(true);
    convert->setObjectName(QStringLiteral("1"));
    auto* copyOnly = new QPushButton(QStringLiteral("Copy &Only"));
    copyOnly->setObjectName(QString::number(kIdCopyOnly));
    copyOnly->setAutoDefault(false);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAutoDefault(false);
    connect(convert, &QPushButton::clicked, this, &CConversionChoiceDlg::OnConvert);
    connect(copyOnly, &QPushButton::clicked, this, &CConversionChoiceDlg::OnCopyOnly);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(convert);
    buttons->addWidget(copyOnly);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* groups = new QVBoxLayout;
    groups->addWidget(fromPc);
    groups->addWidget(toEpoc);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(groups, 1);
    layout->addLayout(buttons);

    QStringList seen;
    for (const ConversionPair& pair : m_list.pairs) {
        if (seen.contains(pair.pcName))
            continue;
        seen << pair.pcName;
        AddSorted(m_pcType, pair.pcName);
    }
    const QString preferred = m_list.pairs.empty() ? QString() : m_list.pairs[std::size_t(m_list.defaultIndex)].pcName;
    m_pcType->setCurrentIndex(std::max(0, m_pcType->findText(preferred, Qt::MatchExactly)));
    FillEpocTypes(m_pcType->currentText());
    connect(m_pcType, &QComboBox::currentIndexChanged, this,
            [this](int index) { FillEpocTypes(m_pcType->itemText(index)); });
}

void CConversionChoiceDlg::FillEpocTypes(const QString& pcName) {
    m_epocType->clear();
    for (const ConversionPair& pair : m_list.pairs) {
        if (pair.pcName == pcName)
            AddSorted(m_epocType, pair.epocName);
    }
    m_epocType->setCurrentIndex(m_epocType->count() > 0 ? 0 : -1);
}

void CConversionChoiceDlg::OnConvert() {
    m_record.WinFileType = m_pcType->currentText();
    m_record.EpocFileType = m_epocType->currentText();
    accept();
}

void CConversionChoiceDlg::OnCopyOnly() {
    m_record.EpocFileType = m_record.WinFileType;
    accept();
}

void CConversionChoiceDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        OpenManagerHelp(this, kHelpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}
