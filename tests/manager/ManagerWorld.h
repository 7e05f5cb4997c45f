// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "manager/Strings.h"
#include "tests/support/TempEnv.h"

#include <QDir>

// A private registry with the connectivity suite installed, a current user with a PC
// folder, and helpers to store bindings the way the manager does.
class CManagerWorld {
public:
    explicit CManagerWorld(const QString& user = QStringLiteral("Alice")) : m_user(user) {
        InstallManagerStrings();
        RegWriteString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), QStringLiteral("Installation Directory"),
                       m_env.MakeDir(QStringLiteral("psiwin")));
        RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), QString(), user);
        m_pcFolder = m_env.MakeDir(QStringLiteral("pc")) + QLatin1Char('/');
        RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Users\\%1\\PCDirectory").arg(user),
                       QString(), m_pcFolder);
    }

    CTempEnv& Env() { return m_env; }
    const QString& User() const { return m_user; }
    const QString& PcFolder() const { return m_pcFolder; }

    // A binding of a PC file in the PC folder (created with size bytes unless size < 0).
    CDocSynchEntry Binding(const QString& name, int size = 10, const QString& epocName = QString()) {
        CDocSynchEntry record;
        record.WinFileName = name;
        record.WinPath = m_pcFolder;
        record.WinFileType = QStringLiteral("TXT File");
        record.EpocFileName = epocName.isEmpty() ? name : epocName;
        record.EpocPath = QStringLiteral("C:\\Documents\\");
        record.EpocFileType = QStringLiteral("Word");
        record.IsActive = true;
        if (size >= 0)
            m_env.WriteFile(QStringLiteral("pc/") + name, QByteArray(size, 'x'));
        return record;
    }
    void Store(int entry, const CDocSynchEntry& record) { WriteDocSynchEntry(m_user, entry, record); }
    QString EntryKey(int entry) const {
        return QStringLiteral("Software\\Veroz\\Users\\%1\\DocSynchEntries\\%2").arg(m_user).arg(entry);
    }
    uint32_t Number(int entry, const QString& value, uint32_t fallback = 0xFFFFFFFF) const {
        uint32_t number = fallback;
        RegReadNumber(HKEY_CURRENT_USER, EntryKey(entry), value, number);
        return number;
    }

private:
    CTempEnv m_env;
    QString m_user;
    QString m_pcFolder;
};
