// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>

// What the setup operations ask of the world outside the registry. The program uses the
// real sources; tests put in their own answers.
struct CSetupHooks {
    // Full path of the running setup program.
    std::function<bool(QString&)> programPath;
    // FileVersion text of a library, empty when unreadable.
    std::function<QString(const QString&)> fileVersion;
    // Run-time version of the widget toolkit.
    std::function<QString()> toolkitVersion;
    // Yes/No question; true for Yes. Unset means No, so nothing is overwritten unasked.
    std::function<bool(const QString& title, const QString& text)> askYesNo;
    // Ends the running instances of a program file before it is removed.
    std::function<void(const QString& path)> endProgram;
};

// The one state object shared by every page of both wizards.
class CSetupContext {
public:
    // Reads the language stored by an earlier installation (0 when absent).
    CSetupContext();

    // The text with the given English number in the current language.
    QString LoadLocalString(int englishId) const;
    // Records the text of the given English number (plus suffix) as the error text; false.
    bool Fail(int englishId, const QString& suffix = QString());
    // "ENG/" for English and so on.
    QString LanguageSuffix() const;

    QString m_errorText;
    QPointer<QObject> m_sheet;
    QString m_epocConnectFolder;  // ends with "/"
    QString m_osDescription;
    bool m_logOffRequested = false;
    // Something is left for the next log-on to remove. Never so here, where a running
    // program's file can be deleted at once.
    bool m_removalDeferred = false;
    uint32_t m_language = 0;
    QString m_languageFolder;
    QString m_setupFolder;  // ends with "/"
    CSetupHooks m_hooks;
};

// "Linux - 6.1.0": the system name and the first three numbers of its release.
QString BuildOsDescription();

// True when the command line asks for removal: a word starting with "/" or "-" whose
// next letter is "U" or "u". Every other word is ignored.
bool IsUninstallCommandLine(const QStringList& arguments);
