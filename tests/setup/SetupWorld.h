// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ProfileRegistry.h"
#include "setup/SetupContext.h"
#include "setup/SetupProgress.h"
#include "tests/support/TempEnv.h"

#include <QString>
#include <QStringList>

// A machine with the connectivity suite installed in a temporary folder, a setup medium
// beside it, an applications folder and a private registry. Contexts made here read the
// medium's DTSetup as the running program and answer the suite's version checks.
class CSetupWorld {
public:
    CSetupWorld();

    // A context wired to this world; askYesNo answers with answerYes and records questions.
    void Wire(CSetupContext& context);
    void AddUser(const QString& name);
    // A binding entry, a log file named after the user, and the manager's log value.
    QString AddUserData(const QString& user);

    QString SuiteFolder() const { return m_suite; }    // ends with "/"
    QString MediumFolder() const { return m_medium; }  // ends with "/"
    QString ProgramsFolder() const { return m_programs; }
    QString MenuEntry() const;
    QString ReadFile(const QString& path) const;

    CTempEnv m_env;
    QString m_chooserVersion = QStringLiteral("1.0.0.20");
    QString m_toolkitVersion = QStringLiteral("6.4.2");
    bool m_answerYes = true;
    QStringList m_questions;

private:
    QString m_suite;
    QString m_medium;
    QString m_programs;
};

class CRecordingProgress : public ISetupProgress {
public:
    void SetStepCount(int count) override {
        m_count = count;
        ++m_countCalls;
    }
    void Step() override { ++m_steps; }
    int m_count = 0;
    int m_countCalls = 0;
    int m_steps = 0;
};

// The keys the install writes for the shell folder and the uninstall entry.
inline const QString kClsid = QStringLiteral("CLSID\\{F7F79B30-BA87-11d2-AA80-00C04F7199CF}");
inline const QString kNameSpace = QStringLiteral(
    "Software\\Veroz\\PsiWin32\\CurrentVersion\\Explorer\\MyVeroz\\NameSpace\\{F7F79B30-BA87-11d2-AA80-00C04F7199CF}");
inline const QString kUninstall = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Dovetail");

// What the store holds, for checks: a text ("<absent>" when it is not there), a number
// (0xFFFFFFFF when absent), whether a key exists.
QString ReadString(HKEY root, const QString& key, const QString& name);
uint32_t ReadNumber(HKEY root, const QString& key, const QString& name);
bool KeyExists(HKEY root, const QString& key);

// The medium files in the order the install copies them, from ENG unless noted.
QStringList MediumProgramNames();
