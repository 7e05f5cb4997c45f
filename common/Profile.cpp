// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Profile.h"

#include "platform/registry/Registry.h"

namespace {
const QString kSettings = QStringLiteral("Settings");
}

CAppProfile::CAppProfile(QString keyPath) : m_keyPath(std::move(keyPath)) {}

QString CAppProfile::SectionPath(const QString& section) const {
    return section.isEmpty() ? m_keyPath : m_keyPath + QLatin1Char('\\') + section;
}

int CAppProfile::GetProfileInt(const QString& section, const QString& entry, int defaultValue) const {
    RegValue value;
    if (CRegistry::Default().QueryValue(RegRoot::CurrentUser, SectionPath(section), entry, value) != RegStatus::Ok)
        return defaultValue;
    if (value.type != kRegDword || value.data.size() != 4)
        return defaultValue;
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= uint32_t(uint8_t(value.data[i])) << (8 * i);
    return int(n);
}

bool CAppProfile::WriteProfileInt(const QString& section, const QString& entry, int value) const {
    return CRegistry::Default().SetNumber(RegRoot::CurrentUser, SectionPath(section), entry, uint32_t(value));
}

QString CAppProfile::GetProfileString(const QString& section, const QString& entry, const QString& defaultValue) const {
    RegValue value;
    if (CRegistry::Default().QueryValue(RegRoot::CurrentUser, SectionPath(section), entry, value) != RegStatus::Ok)
        return defaultValue;
    if (value.type != kRegSz && value.type != kRegExpandSz)
        return defaultValue;
    QByteArray text = value.data;
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    return QString::fromUtf8(text);
}

bool CAppProfile::WriteProfileString(const QString& section, const QString& entry, const QString& value) const {
    return CRegistry::Default().SetString(RegRoot::CurrentUser, SectionPath(section), entry, value);
}

CRuleSet CAppProfile::ReadDefaultRules() const {
    CRuleSet rules;
    rules.CopyRule = GetProfileInt(kSettings, QStringLiteral("CopyRule"), 0);
    rules.Prompt24Hrs = GetProfileInt(kSettings, QStringLiteral("Prompt24Hrs"), 0) != 0;
    rules.KeepCopy = GetProfileInt(kSettings, QStringLiteral("KeepCopy"), 0) != 0;
    rules.PromptBothChanged = GetProfileInt(kSettings, QStringLiteral("PromptBothChanged"), 1) != 0;
    return rules;
}

bool CAppProfile::WriteDefaultRules(const CRuleSet& rules) const {
    // Together: half a rule set stored would give new bindings rules nobody chose.
    return CRegistry::Default().Transaction([&] {
        return WriteProfileInt(kSettings, QStringLiteral("CopyRule"), rules.CopyRule) &&
               WriteProfileInt(kSettings, QStringLiteral("Prompt24Hrs"), rules.Prompt24Hrs ? 1 : 0) &&
               WriteProfileInt(kSettings, QStringLiteral("KeepCopy"), rules.KeepCopy ? 1 : 0) &&
               WriteProfileInt(kSettings, QStringLiteral("PromptBothChanged"), rules.PromptBothChanged ? 1 : 0);
    }) == RegStatus::Ok;
}

CRuleSet ReadDefaultRules() {
    return CAppProfile().ReadDefaultRules();
}

bool WriteDefaultRules(const CRuleSet& rules) {
    return CAppProfile().WriteDefaultRules(rules);
}
