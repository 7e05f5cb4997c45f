// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/AutoSyncPropertyPage.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/MessageBox.h"
#include "manager/PropertyStrings.h"
#include "manager/SchedulerRegistration.h"
#include "manager/Strings.h"
#include "manager/properties/FilePropertyPage.h"
#include "platform/shell/Shell.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
constexpr uint32_t kHelpContext = 0x20000 + 140;
const QString kArea = QStringLiteral("AutoSynchApps");
constexpr int kRadioIds[3] = {CAutoSyncPropertyPage::kIdOnConnect, CAutoSyncPropertyPage::kIdDaily,
                              CAutoSyncPropertyPage::kIdWeekly};

QString EntryName() {
    return LoadManagerString(kIdsAppTitle);
}
}  // namespace

CAutoSyncPropertyPage::CAutoSyncPropertyPage(QWidget* parent)
    : CPropertyPage(QStringLiteral("Auto Synchronization"), kHelpContext, parent) {
    m_perform = new QCheckBox(QStringLiteral("Perform Automatic Synchronization"));
    m_perform->setObjectName(QString::number(kIdPerform));
    connect(m_perform, &QCheckBox::clicked, this, &CAutoSyncPropertyPage::OnPerformClicked);

    const QString texts[3] = {QStringLiteral("Each time the MC 218 is connected"), QStringLiteral("Every day"),
                              QStringLiteral("Every week")};
    auto* group = new QGroupBox(QStringLiteral("Syncronization frequency"));
    auto* groupLayout = new QVBoxLayout(group);
    auto* buttons = new QButtonGroup(this);
    for (uint32_t i = 0; i < 3; ++i) {
        m_radios[i] = new QRadioButton(texts[i]);
        m_radios[i]->setObjectName(QString::number(kRadioIds[i]));
        buttons->addButton(m_radios[i]);
        groupLayout->addWidget(m_radios[i]);
        connect(m_radios[i], &QRadioButton::clicked, this, [this, i] { m_frequency = i + 1; });
    }

    m_lastSynchText = new QLineEdit;
    m_lastSynchText->setObjectName(QString::number(kIdLastSynch));
    m_lastSynchText->setReadOnly(true);
    ShowAsReadOnly(m_lastSynchText);
    auto* last = new QHBoxLayout;
    last->addWidget(new QLabel(QStringLiteral("Last syncronization:")));
    last->addWidget(m_lastSynchText, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_perform);
    layout->addWidget(group);
    layout->addLayout(last);
    layout->addStretch();
}

void CAutoSyncPropertyPage::OnInitDialog() {
    if (!GetCurrentUser(m_user))
        m_user.clear();
    const QString entry = EntryName();
    uint32_t number = 0;
    m_frequency = ReadEntryNumber(m_user, kArea, entry, QStringLiteral("Frequency"), number) ? number : 0;
    m_lastSynchRead = ReadEntryNumber(m_user, kArea, entry, QStringLiteral("LastSynch"), m_lastSynch);

    if (m_frequency != 0) {
        m_perform->setChecked(true);
        EnableRadios(true);
        for (uint32_t i = 0; i < 3; ++i)
            m_radios[i]->setChecked(m_frequency == i + 1);
    } else {
        m_perform->setChecked(false);
        EnableRadios(false);
        m_radios[0]->setChecked(true);
    }
    if (m_lastSynchRead)
        m_lastSynchText->setText(FormatLocalDateTime(m_lastSynch));
}

void CAutoSyncPropertyPage::EnableRadios(bool enable) {
    for (QRadioButton* radio : m_radios)
        radio->setEnabled(enable);
}

void CAutoSyncPropertyPage::OnPerformClicked(bool checked) {
    EnableRadios(checked);
    if (!checked) {
        m_frequency = 0;
        return;
    }
    for (uint32_t i = 0; i < 3; ++i) {
        if (m_radios[i]->isChecked())
            m_frequency = i + 1;
    }
}

bool CAutoSyncPropertyPage::OnOK() {
    const QString entry = EntryName();
    if (!WriteEntryNumber(m_user, kArea, entry, QStringLiteral("Frequency"), m_frequency))
        return false;
    if (m_frequency == 0)
        return true;
    const SchedulerRegistration scheduler =
        RegisterScheduler([](const QString& path) { return IShell::Current().Open(path); });
    const QString synchronizer = CAppProfile().GetProfileString(QString(), QStringLiteral("SyncronizerPath"));
    // Without a registered synchronizer, a path the scheduler can use is not replaced by nothing.
    if (!synchronizer.isEmpty() &&
        !WriteEntryString(m_user, kArea, entry, QStringLiteral("ExecutablePath"), synchronizer))
        return false;
    QString program;
    ReadEntryString(m_user, kArea, entry, QStringLiteral("ExecutablePath"), program);

    // The choice is kept either way; what would keep it from working is said, not swallowed.
    QStringList problems;
    bool notSetUp = false;
    if (scheduler.path.isEmpty()) {
        problems << LoadPropertyString(kIdsNoScheduler);
        notSetUp = true;
    } else if (!scheduler.started) {
        problems << LoadPropertyString(kIdsSchedulerNotStarted).arg(scheduler.path);
    } else if (!scheduler.atLogOn) {
        problems << LoadPropertyString(kIdsSchedulerNotAtLogOn).arg(scheduler.path);
    }
    if (program.isEmpty()) {
        problems << LoadPropertyString(kIdsNoSynchronizerToStart);
        notSetUp = true;
    }
    if (problems.isEmpty())
        return true;
    const QString text = problems.join(QStringLiteral("\n\n"));
    CMessageBox::Show(this, notSetUp ? WithSetUpHint(text) : text, QMessageBox::Warning);
    return true;
}
