// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/WizardPage1.h"

#include "setup/Installer.h"
#include "setup/SetupContext.h"
#include "setup/Strings.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

using namespace Qt::StringLiterals;

WizardPage1::WizardPage1(CSetupContext& context, QWidget* parent)
    : CSetupPage(context, u"Dovetail Setup - Step 1"_s, parent) {
    const QRect groupRect = Dlu(118, 59, 157, 104);
    m_group = new QGroupBox(this);
    m_group->setObjectName(u"languageGroup"_s);
    m_group->setGeometry(groupRect);
    // The fifth button has no language behind it.
    const QString labels[] = {u"&English"_s, u"Fran\u00e7ais"_s, u"Deutsch"_s, u"Espa\u00f1ol"_s, u"Nederlands"_s};
    const int tops[] = {75, 93, 111, 129, 146};
    for (int i = 0; i < int(m_radios.size()); ++i) {
        auto* radio = new QRadioButton(labels[i], m_group);
        radio->setObjectName(u"language%1"_s.arg(i));
        const QRect r = Dlu(136, tops[i], 130, 12);
        radio->setGeometry(r.translated(-groupRect.topLeft()));
        if (i < kLanguageCount)
            connect(radio, &QRadioButton::clicked, this, [this, i] { ChooseLanguage(i); });
        m_radios[i] = radio;
    }
}

QList<QWizard::WizardButton> WizardPage1::Buttons() const {
    return {QWizard::Stretch, QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton};
}

void WizardPage1::Activate() {
    if (m_ctx.m_language < m_radios.size())
        m_radios[m_ctx.m_language]->setChecked(true);
    LoadTexts();
    for (int i = 1; i < int(m_radios.size()); ++i)
        m_radios[i]->setEnabled(false);
}

void WizardPage1::LoadTexts() {
    m_heading->setText(m_ctx.LoadLocalString(IDS_PAGE1_HEADING));
    m_detail->setText(m_ctx.LoadLocalString(IDS_PAGE1_TEXT));
    m_group->setTitle(m_ctx.LoadLocalString(IDS_PAGE1_GROUP));
}

void WizardPage1::ChooseLanguage(int language) {
    m_ctx.m_language = uint32_t(language);
    LoadTexts();
}

bool WizardPage1::validatePage() {
    m_checksPassed = CInstaller(m_ctx).CheckPrerequisites();
    return true;
}

int WizardPage1::nextId() const {
    return m_checksPassed ? kSecondPage : kErrorPage;
}
