// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/synchronizer/SyncTestWorld.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "platform/registry/Registry.h"
#include "synchronizer/StringIds.h"

#include <QFile>

#include <sys/time.h>

namespace {

void SetModified(const QString& path, int64_t seconds) {
    struct timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ::utimes(QFile::encodeName(path).constData(), times);
}

QString UsersKey(const QString& rest) {
    return QStringLiteral("Software\\Veroz\\Users\\") + rest;
}

}  // namespace

CSyncTestWorld::CSyncTestWorld() {
    InstallSyncStrings();
    CClock::SetTestClock([] { return QDateTime::fromSecsSinceEpoch(kNow, Qt::UTC); });
    pcDir = env.MakeDir(QStringLiteral("pc")) + QLatin1Char('/');
    programDir = env.MakeDir(QStringLiteral("bin")) + QLatin1Char('/');
    CRegistry& reg = CRegistry::Default();
    reg.SetString(RegRoot::LocalMachine, QStringLiteral("Software\\Veroz\\PsiWin32"),
                  QStringLiteral("Installation Directory"), env.MakeDir(QStringLiteral("psiwin")) + QLatin1Char('/'));
    reg.SetString(RegRoot::CurrentUser, QStringLiteral("Software\\Veroz\\CurrentUser"), QString(),
                  QLatin1String(kCurrentUser));
    reg.SetString(RegRoot::CurrentUser, UsersKey(QStringLiteral("user1\\PCDirectory")), QString(), pcDir);
    reg.CreateKey(RegRoot::CurrentUser, UsersKey(QStringLiteral("owner1\\Machines\\ABCD-1234")));
}

CSyncTestWorld::~CSyncTestWorld() {
    CClock::ResetTestClock();
}

CDocSynchEntry CSyncTestWorld::MakeBinding(const QString& name, int32_t copyRule) const {
    CDocSynchEntry b;
    b.WinPath = pcDir;
    b.WinFileName = name;
    b.EpocPath = DeviceDir();
    b.EpocFileName = name;
    b.WinFileType = QStringLiteral("Text");
    b.EpocFileType = QStringLiteral("Text");
    b.LastSyncTimeStamp = static_cast<uint32_t>(kNow - 200000);
    b.WasUpdated = true;
    b.CopyRule = copyRule;
    b.PromptBothChanged = false;
    return b;
}

void CSyncTestWorld::AddBinding(const QString& key, const CDocSynchEntry& binding) const {
    bool numeric = false;
    const int entry = key.toInt(&numeric);
    if (numeric) {
        WriteDocSynchEntry(QLatin1String(kOwner), entry, binding);
        return;
    }
    // A key that is not a plain number: write it as entry 32767, then move the values.
    WriteDocSynchEntry(QLatin1String(kOwner), kMaxEntryNumber, binding);
    CRegistry& reg = CRegistry::Default();
    const QString from = UsersKey(QStringLiteral("owner1\\DocSynchEntries\\32767"));
    const QString to = UsersKey(QStringLiteral("owner1\\DocSynchEntries\\") + key);
    reg.CreateKey(RegRoot::CurrentUser, to);
    int count = 0;
    reg.CountValues(RegRoot::CurrentUser, from, count);
    for (int i = 0; i < count; ++i) {
        RegValue v;
        reg.EnumValue(RegRoot::CurrentUser, from, i, v);
        reg.SetValue(RegRoot::CurrentUser, to, v.name, v.type, v.data);
    }
    reg.DeleteTree(RegRoot::CurrentUser, from);
}

QString CSyncTestWorld::WritePcFile(const QString& name, const QByteArray& content, int64_t modified) const {
    const QString path = pcDir + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
    f.close();
    SetModified(path, modified);
    return path;
}

void CSyncTestWorld::WriteDeviceFile(const QString& name, const QByteArray& content, int64_t modified) {
    auto& file = engine.files[DeviceDir() + name];
    file.content = content;
    file.modifiedUtc = modified;
}

QByteArray CSyncTestWorld::ReadPcFile(const QString& name) const {
    QFile f(pcDir + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

CSyncRunSettings CSyncTestWorld::Settings() const {
    CSyncRunSettings s;
    s.title = QStringLiteral("Dovetail Synchronization");
    s.programFolder = programDir;
    s.productVersion = QStringLiteral("1.0 (039)");
    CScriptedEngine* target = const_cast<CScriptedEngine*>(&engine);
    s.createEngine = [target] { return MakeEngineForwarder(*target); };
    s.createConverter = converters;
    return s;
}

std::unique_ptr<CSyncRun> CSyncTestWorld::Run(const CSyncRunSettings& settings) {
    auto run = std::make_unique<CSyncRun>(ui, settings);
    run->Initialise(&sink);
    Continue(*run);
    return run;
}

void CSyncTestWorld::Continue(CSyncRun& run) {
    engine.Pump([&run](EngineEvent e, int32_t r) { run.HandleEvent(e, r); }, [this] { return ui.closed; });
}

QStringList CSyncTestWorld::LogLines() const {
    return LogLinesAt(programDir + QStringLiteral("Dovetail Synchronization{user1}.srp"));
}

QStringList CSyncTestWorld::LogLinesAt(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLocal8Bit(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

uint32_t CSyncTestWorld::EntryNumber(const QString& key, const QString& value) const {
    uint32_t n = 0xFFFFFFFF;
    ReadEntryNumber(QLatin1String(kOwner), QLatin1String(kDocSynchArea), key, value, n);
    return n;
}
