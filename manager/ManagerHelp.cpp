// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ManagerHelp.h"

#include "common/ProgramPath.h"
#include "platform/help/WinHelp.h"

namespace {
HelpOpener& Opener() {
    static HelpOpener opener;
    return opener;
}

bool DefaultOpener(QWidget* parent, const QString& file, uint32_t context) {
    return WinHelp(parent, file, context ? HelpCommand::Context : HelpCommand::Contents, context);
}
}  // namespace

QString ManagerHelpFile() {
    QString folder;
    GetProgramFolder(folder);
    return folder + QStringLiteral("bindmgr.hlp");
}

bool OpenManagerHelp(QWidget* parent, uint32_t context) {
    const QString file = ManagerHelpFile();
    return Opener() ? Opener()(parent, file, context) : DefaultOpener(parent, file, context);
}

void SetHelpOpener(HelpOpener opener) {
    Opener() = std::move(opener);
}
