// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ManagerHelp.h"

#include "common/ProgramPath.h"
#include "platform/shell/Shell.h"

#ifdef DT_HAVE_HELP
#include "platform/help/WinHelp.h"
#endif

#include <QFileInfo>

namespace {
HelpOpener& Opener() {
    static HelpOpener opener;
    return opener;
}

bool DefaultOpener(QWidget* parent, const QString& file, uint32_t context) {
#ifdef DT_HAVE_HELP
    return WinHelp(parent, file, context ? HelpCommand::Context : HelpCommand::Contents, context);
#else
    Q_UNUSED(parent);
    Q_UNUSED(context);
    return QFileInfo::exists(file) && IShell::Current().Open(file);
#endif
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
