// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/SyncRulesPropertyPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
constexpr uint32_t kHelpContext = 0x20000 + 133;
}  // namespace

CSyncRulesPropertyPage::CSyncRulesPropertyPage(const CDocSynchEntry& record, QWidget* parent)
    : CPropertyPage(QStringLiteral("Synchronization Rules"), kHelpContext, parent), m_record(record) {
    m_direction = new QButtonGroup(this);
    m_deviceToPc = Radio(kIdDeviceToPc, QStringLiteral("From MC 218 to PC"), kCopyDeviceToPc);
    m_pcToDevice = Radio(kIdPcToDevice, QStringLiteral("From PC to MC 218"), kCopyPcToDevice);
    m_newest = Radio(kIdNewest, QStringLiteral("From newest to oldest"), kCopyNewest);
    m_prompt24Hrs = Check(kIdPrompt24Hrs, QStringLiteral("When binding was synchronized within 24 hours"),
                          &CDocSynchEntry::Prompt24Hrs);
    m_promptBothChanged =
        Check(kIdPromptBothChanged, QStringLiteral("When both files have changed since last synchronization"),
              &CDocSynchEntry::PromptBothChanged);
    m_keepCopy = Check(kIdKeepCopy, QStringLiteral("Keep a backup of PC file"), &CDocSynchEntry::KeepCopy);

    auto* direction = new QGroupBox(QStringLiteral("Synchronization Direction"));
    auto* directionLayout = new QVBoxLayout(direction);
    directionLayout->addWidget(m_deviceToPc);
    directionLayout->addWidget(m_pcToDevice);
    directionLayout->addWidget(m_newest);
    auto* prompt = new QGroupBox(QStringLiteral("Prompt before Synchronization"));
    auto* promptLayout = new QVBoxLayout(prompt);
    promptLayout->addWidget(m_prompt24Hrs);
    promptLayout->addWidget(m_promptBothChanged);
    auto* backup = new QGroupBox(QStringLiteral("Backup"));
    auto* backupLayout = new QVBoxLayout(backup);
    backupLayout->addWidget(m_keepCopy);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(direction);
    layout->addWidget(prompt);
    layout->addWidget(backup);
    layout->addStretch();
}

QRadioButton* CSyncRulesPropertyPage::Radio(int id, const QString& text, int32_t rule) {
    auto* radio = new QRadioButton(text);
    radio->setObjectName(QString::number(id));
    m_direction->addButton(radio, id);
    connect(radio, &QRadioButton::clicked, this, [this, rule] { m_record.CopyRule = rule; });
    return radio;
}

QCheckBox* CSyncRulesPropertyPage::Check(int id, const QString& text, bool CDocSynchEntry::*field) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QString::number(id));
    connect(box, &QCheckBox::clicked, this, [this, field](bool checked) { m_record.*field = checked; });
    return box;
}

void CSyncRulesPropertyPage::OnInitDialog() {
    // A stored rule outside 0..2 shows no direction checked.
    m_direction->setExclusive(false);
    m_newest->setChecked(m_record.CopyRule == kCopyNewest);
    m_pcToDevice->setChecked(m_record.CopyRule == kCopyPcToDevice);
    m_deviceToPc->setChecked(m_record.CopyRule == kCopyDeviceToPc);
    m_direction->setExclusive(true);
    m_prompt24Hrs->setChecked(m_record.Prompt24Hrs);
    m_promptBothChanged->setChecked(m_record.PromptBothChanged);
    m_keepCopy->setChecked(m_record.KeepCopy);
}
