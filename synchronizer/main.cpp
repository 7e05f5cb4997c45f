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
#include "synchronizer/SyncPlanner.h"
#include "synchronizer/SyncRunThread.h"
#include "synchronizer/SyncStart.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <optional>

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

CSyncRunSettings BaseSettings(const CSyncCommandLineInfo& commandLine, std::shared_ptr<CBindingsAhead> ahead) {
    CSyncRunSettings settings;
    settings.ahead = std::move(ahead);
    settings.title = CStringTable::Load(IDS_APP_TITLE);
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
    return settings;
}

void PrintLine(FILE* to, const QString& line) {
    std::fputs((line + u'\n').toUtf8().constData(), to);
}

// bindcopy /P: no window and no instance of its own, so a script may ask while a run is on
// screen. Writes nothing anywhere; exit status 0 with the plan printed, 1 without one.
int PrintPlan(int argc, char** argv, const CSyncCommandLineInfo& commandLine, std::shared_ptr<CBindingsAhead> ahead) {
    QCoreApplication app(argc, argv);
    if (const QString refusal = SyncStartRefusal(); !refusal.isEmpty()) {
        PrintLine(stderr, refusal);
        return 1;
    }
    const CSyncPlanner::Result result = CSyncPlanner::MakePlan(BaseSettings(commandLine, std::move(ahead)));
    for (const QString& message : result.messages)
        PrintLine(stderr, message);
    if (!result.made) {
        if (result.messages.isEmpty())
            PrintLine(stderr, CStringTable::Load(IDS_NO_PLAN));
        return 1;
    }
    for (const CPlanEntry& entry : result.plan)
        PrintLine(stdout, FormatPlanLine(entry));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // One heap for every thread: the bindings read ahead, the run and the engine's worker would
    // each keep an arena of their own for the rest of the run.
    ::mallopt(M_ARENA_MAX, 1);
    InstallSyncStrings();
    RegLimitCacheMemory(kStoreCacheBytes);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CSyncCommandLineInfo commandLine = CSyncCommandLineInfo::Parse(args);
    // A plan reads the bindings while the toolkit and the engine start, which take longer than
    // the read; a plan of one binding reads it alone.
    if (commandLine.plan)
        return PrintPlan(argc, argv, commandLine, commandLine.singleBinding ? nullptr : ReadBindingsAhead());
    const QString title = CStringTable::Load(IDS_APP_TITLE);

    // The run begins before the toolkit, whose start takes longer than a run over unchanged
    // files: once this is the only instance and the suite is there, nothing else decides
    // whether it may.
    CInstanceLock lock;
    std::optional<QString> refusal;
    std::shared_ptr<CSyncRunThread> run;
    if (CSingleInstanceApp::LockBeforeStart(lock) != CInstanceLock::Result::HeldElsewhere &&
        (refusal = SyncStartRefusal())->isEmpty()) {
        run = std::make_shared<CSyncRunThread>(BaseSettings(commandLine, nullptr));
        run->Begin();
    }
    CSingleInstanceApp app(argc, argv);
    if (!app.RegisterInstance(kIconId, title, true, &lock)) {
        if (run)
            run->Finish(std::chrono::seconds(10));
        return 0;
    }
    if (!run) {
        if (!refusal)
            refusal = SyncStartRefusal();
        if (!refusal->isEmpty()) {
            QMessageBox::critical(nullptr, title, *refusal);
            return 0;
        }
        run = std::make_shared<CSyncRunThread>(BaseSettings(commandLine, nullptr));
        run->Begin();
    }

    QString owner;
    {
        CSyncDlg dialog(run, title);
        dialog.setObjectName(app.InstanceName());
        dialog.Run();
        owner = dialog.Finish();
    }
    // Written whatever the run's outcome; before the owner is known the user part is empty.
    WriteEntryNumber(owner, u"AutoSynchApps"_s, u"Dovetail"_s, u"LastSynch"_s, CClock::CurrentSecondsUtc());
    RememberProgramPath();
    return 0;
}
