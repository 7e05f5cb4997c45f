// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

#include <QString>

#include <cstdint>

// The manager's own settings, shaped like an application profile: a key per application,
// sections as sub-keys, numbers as 32-bit registry numbers and texts as registry strings.
inline constexpr char kAppProfileKey[] = "Software\\Veroz\\Dovetail";

class CAppProfile {
public:
    explicit CAppProfile(QString keyPath = QString::fromLatin1(kAppProfileKey));

    // An empty section addresses the profile key itself. Reads give the default when the
    // value is missing or not a number; writes report whether the value was stored.
    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
    bool WriteProfileInt(const QString& section, const QString& entry, int value) const;
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue = QString()) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value) const;

    // The default rule set from "Settings"; missing values give 0, 0, 0 and 1 (both-changed
    // prompt on). A stored CopyRule outside 0..2 is kept as it is.
    CRuleSet ReadDefaultRules() const;
    // Writes CopyRule, Prompt24Hrs, KeepCopy, PromptBothChanged in that order, flags as 0 or 1,
    // all four or none; false when none was stored.
    bool WriteDefaultRules(const CRuleSet& rules) const;

    const QString& KeyPath() const { return m_keyPath; }

private:
    QString SectionPath(const QString& section) const;

    QString m_keyPath;
};

// The same over the manager's profile key.
CRuleSet ReadDefaultRules();
bool WriteDefaultRules(const CRuleSet& rules);
