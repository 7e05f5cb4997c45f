// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "platform/engine/EpocEngine.h"
#include "platform/registry/Registry.h"
#include "synchronizer/SyncDlg.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// An engine that accepts everything and never answers, so the window stays in its first
// state while it is photographed.
class CSilentEngine : public IEpocEngine {
public:
    int32_t SetEventSink(IEpocEngineEvents*) override { return 0; }
    int32_t Connect(int32_t) override { return 0; }
    int32_t OpenRemoteFile(const FileSpec&, std::unique_ptr<IEpocRemoteFile>&) override { return 0; }
    int32_t CopyFile(const FileSpec&, const FileSpec&, int32_t) override { return 0; }
    int32_t MakeCopiesDurable() override { return 0; }
    int32_t CloseRemoteFile(const FileSpec&, uint32_t) override { return 0; }
    int32_t AttachRemote(int32_t) override { return 0; }
    int32_t GetMachine(int32_t, std::unique_ptr<IEpocMachine>&) override { return 0; }
    int32_t BeginSession() override { return 0; }
    int32_t ReleaseRemoteFile(const FileSpec&) override { return 0; }
    int32_t ForceCloseRemoteFile(const FileSpec&) override { return 0; }
};

// The run needs a current user with a PC folder before it shows its window; a private
// registry gives it one without touching the user's own.
QString PrepareWorld() {
    static QTemporaryDir world;
    const QString registry = world.path() + u"/registry.db"_s;
    ::setenv("DOVETAIL_REGISTRY", QFile::encodeName(registry).constData(), 1);
    CRegistry reg(registry);
    reg.SetString(RegRoot::CurrentUser, u"Software\\Veroz\\CurrentUser"_s, QString(), u"Alice"_s);
    reg.SetString(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\Alice\\PCDirectory"_s, QString(),
                  world.path() + u"/pc/"_s);
    QDir().mkpath(world.path() + u"/pc"_s);
    return world.path() + u'/';
}

const CScreenshot syncWindow(
    "sync-window",
    [] {
        CSyncRunSettings settings;
        settings.title = u"Dovetail Synchronization"_s;
        settings.programFolder = PrepareWorld();
        settings.productVersion = u"1.0 (039)"_s;
        settings.createEngine = [] { return std::make_unique<CSilentEngine>(); };
        auto dlg = std::make_unique<CSyncDlg>(std::move(settings));
        dlg->PlayAnimation(QCoreApplication::applicationDirPath() + u"/dtconnect.avi"_s);
        dlg->SetProgressText(u"Connecting..."_s);
        return dlg;
    },
    400);

}  // namespace
