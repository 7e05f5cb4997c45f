// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupContext.h"

#include "common/ProfileRegistry.h"
#include "common/ProgramPath.h"
#include "common/StringTable.h"
#include "setup/RunningProgram.h"
#include "setup/SetupNames.h"
#include "setup/Strings.h"
#include "setup/VersionRules.h"

#include <QStringList>

#include <sys/utsname.h>

CSetupContext::CSetupContext() {
    uint32_t language = 0;
    RegReadNumber(HKEY_CURRENT_USER, QString::fromUtf8(SetupNames::kProfileKey), QStringLiteral("language"), language);
    // A stored number no language stands behind would leave every text and the language
    // folder empty; such a value is treated as English.
    m_language = language < uint32_t(kLanguageCount) ? language : 0;

    m_hooks.programPath = [](QString& path) { return GetProgramPath(path); };
    m_hooks.fileVersion = [](const QString& path) { return GetFileVersionString(path); };
    m_hooks.toolkitVersion = [] { return QString::fromLatin1(qVersion()); };
    m_hooks.endProgram = [](const QString& path) { EndRunningProgram(path); };
}

QString CSetupContext::LoadLocalString(int englishId) const {
    return CStringTable::Load(englishId + kLanguageBlock * int(m_language));
}

bool CSetupContext::Fail(int englishId, const QString& suffix) {
    m_errorText = LoadLocalString(englishId) + suffix;
    return false;
}

QString CSetupContext::LanguageSuffix() const {
    static const char* const kSuffix[kLanguageCount] = {"ENG/", "FRA/", "DEU/", "ESP/"};
    return m_language < uint32_t(kLanguageCount) ? QString::fromLatin1(kSuffix[m_language]) : QString();
}

QString BuildOsDescription() {
    struct utsname name {};
    if (::uname(&name) != 0)
        return QStringLiteral("Unknown - 0.0.0");
    VersionNumbers numbers{};
    const int count = ParseVersion(QString::fromUtf8(name.release), numbers);
    for (int i = count; i < 3; ++i)
        numbers[i] = 0;
    return QStringLiteral("%1 - %2.%3.%4")
        .arg(QString::fromUtf8(name.sysname))
        .arg(numbers[0])
        .arg(numbers[1])
        .arg(numbers[2]);
}

bool IsUninstallCommandLine(const QStringList& arguments) {
    for (const QString& word : arguments) {
        if (word.size() >= 2 && (word[0] == u'/' || word[0] == u'-') && (word[1] == u'U' || word[1] == u'u'))
            return true;
    }
    return false;
}
