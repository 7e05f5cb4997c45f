// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/setup/SetupWorld.h"

#include "common/ProfileRegistry.h"
#include "setup/SetupNames.h"
#include "setup/Strings.h"

#include <QFile>

using namespace Qt::StringLiterals;

QStringList MediumProgramNames() {
    return {SetupNames::Synchronizer(), SetupNames::Manager(), SetupNames::HelpFile(), SetupNames::Scheduler(),
            SetupNames::Animation()};
}

CSetupWorld::CSetupWorld() {
    InstallSetupStrings();
    // No icon theme of the machine's own (an installed package's icon) reaches the menu entry.
    m_env.SetEnv("XDG_DATA_DIRS", m_env.MakeDir(u"system-share"_s));
    m_suite = m_env.MakeDir(u"suite"_s) + u'/';
    m_medium = m_env.MakeDir(u"medium"_s) + u'/';
    m_programs = m_env.MakeDir(u"home/.local/share/applications"_s);
    m_env.WriteFile(u"medium/"_s + SetupNames::SetupProgram(), "setup program");
    for (const QString& name : MediumProgramNames())
        m_env.WriteFile(u"medium/ENG/"_s + name, "medium " + name.toUtf8());
    RegWriteString(HKEY_LOCAL_MACHINE, QString::fromUtf8(kPsiWinKey), u"Installation Directory"_s, m_suite);
    RegWriteString(HKEY_CURRENT_USER, QString::fromUtf8(SetupNames::kShellFoldersKey), u"Programs"_s, m_programs);
}

void CSetupWorld::Wire(CSetupContext& context) {
    const QString program = m_medium + SetupNames::SetupProgram();
    context.m_hooks.programPath = [program](QString& path) {
        path = program;
        return true;
    };
    context.m_hooks.fileVersion = [this](const QString& path) {
        return path == m_suite + SetupNames::ChooserLibrary() ? m_chooserVersion : QString();
    };
    context.m_hooks.toolkitVersion = [this] { return m_toolkitVersion; };
    context.m_hooks.askYesNo = [this](const QString& title, const QString& text) {
        m_questions << title + u'|' + text;
        return m_answerYes;
    };
}

void CSetupWorld::AddUser(const QString& name) {
    CRegistry::Default().CreateKey(HKEY_CURRENT_USER, QString::fromUtf8(kUsersKey) + u'\\' + name);
}

QString CSetupWorld::AddUserData(const QString& user) {
    AddUser(user);
    WriteEntryString(user, u"DocSynchEntries"_s, u"0"_s, u"PCFile"_s, m_env.Root() + u"/doc.txt"_s);
    WriteEntryNumber(user, u"DocSynchEntries"_s, u"0"_s, u"WasUpdated"_s, 1);
    const QString log = m_env.WriteFile(u"logs/Dovetail Synchronization{"_s + user + u"}.srp"_s, "log");
    WriteUserString(user, u"Dovetail"_s, u"LogDocSynchCopy"_s, log);
    return log;
}

QString CSetupWorld::MenuEntry() const {
    return m_programs + u"/Ericsson EPOC Connect/Dovetail.desktop"_s;
}

QString CSetupWorld::ReadFile(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString ReadString(HKEY root, const QString& key, const QString& name) {
    QString text;
    return RegReadString(root, key, name, text) ? text : QStringLiteral("<absent>");
}

uint32_t ReadNumber(HKEY root, const QString& key, const QString& name) {
    uint32_t number = 0xFFFFFFFF;
    RegReadNumber(root, key, name, number);
    return number;
}

bool KeyExists(HKEY root, const QString& key) {
    return CRegistry::Default().KeyExists(root, key);
}
