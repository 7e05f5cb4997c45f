// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "common/ProgramPath.h"
#include "common/SingleInstanceApp.h"
#include "common/StringTable.h"
#include "common/VersionInfo.h"
#include "platform/converter/ConverterInterface.h"
#include "platform/engine/EpocEngine.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/SyncCommandLineInfo.h"
#include "synchronizer/SyncDlg.h"
#include "synchronizer/SyncStart.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace {

constexpr int kIconId = 128;
// The run reads the bindings once and then writes a mark per copy: a small page cache does.
constexpr int64_t kStoreCacheBytes = 256 * 1024;

// The manager starts the synchronizer through this value; keep it pointing somewhere.
void RememberProgramPath() {
    const QString key = u"Software\\Veroz\\Dovetail"_s;
    QString path;
    if (RegReadString(HKEY_CURRENT_USER, key, u"SyncronizerPath"_s, path))
        return;
    if (GetProgramPath(path))
        RegWriteString(HKEY_CURRENT_USER, key, u"SyncronizerPath"_s, path);
}

}  // namespace

int main(int argc, char** argv) {
    InstallSyncStrings();
    RegLimitCacheMemory(kStoreCacheBytes);
    CSingleInstanceApp app(argc, argv);
    const QString title = CStringTable::Load(IDS_APP_TITLE);
    if (!app.RegisterInstance(kIconId, title, true))
        return 0;
    if (const QString refusal = SyncStartRefusal(); !refusal.isEmpty()) {
        QMessageBox::critical(nullptr, title, refusal);
        return 0;
    }

    const CSyncCommandLineInfo commandLine = CSyncCommandLineInfo::Parse(app.arguments().mid(1));
    CSyncRunSettings settings;
    settings.title = title;
    GetProgramFolder(settings.programFolder);
    QString programPath;
    CVersionInfo version;
    if (GetProgramPath(programPath) && version.Open(programPath))
        settings.productVersion = version.GetString(u"ProductVersion"_s);
    version.Release();
    settings.singleBinding = commandLine.singleBinding;
    settings.keyName = commandLine.keyName;
    settings.createEngine = [] { return CreateEpocEngine(); };
    settings.createConverter = [](const QString& progId) { return CreateAutomationObject(progId); };

    QString owner;
    {
        CSyncDlg dialog(std::move(settings));
        dialog.setObjectName(app.InstanceName());
        dialog.Run();
        owner = dialog.Owner();
    }
    // Written whatever the run's outcome; before the owner is known the user part is empty.
    WriteEntryNumber(owner, u"AutoSynchApps"_s, u"Dovetail"_s, u"LastSynch"_s, CClock::CurrentSecondsUtc());
    RememberProgramPath();
    return 0;
}
