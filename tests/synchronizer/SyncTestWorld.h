// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "platform/converter/ConverterInterface.h"
#include "synchronizer/SyncRun.h"
#include "tests/support/ScriptedEngine.h"
#include "tests/support/ScriptedSyncUi.h"
#include "tests/support/TempEnv.h"

#include <QStringList>

#include <memory>
#include <vector>

inline constexpr int64_t kNow = 1700000000;
inline constexpr char kOwner[] = "owner1";
inline constexpr char kCurrentUser[] = "user1";

// One user with a PC folder, a handheld owned by kOwner, a scripted engine and UI, and a
// fixed clock. Bindings are written with AddBinding.
class CSyncTestWorld {
public:
    CSyncTestWorld();
    ~CSyncTestWorld();

    CDocSynchEntry MakeBinding(const QString& name, int32_t copyRule = kCopyNewest) const;
    void AddBinding(const QString& key, const CDocSynchEntry& binding) const;
    // Files on each side; times in calendar seconds.
    QString WritePcFile(const QString& name, const QByteArray& content, int64_t modified) const;
    void WriteDeviceFile(const QString& name, const QByteArray& content, int64_t modified);
    QByteArray ReadPcFile(const QString& name) const;
    QString DeviceDir() const { return QStringLiteral("C:\\Documents\\"); }

    CSyncRunSettings Settings() const;
    // Initialises a run and delivers every event until the engine is quiet or the window
    // closed. Returns the run, still alive (destroy it to tear down).
    std::unique_ptr<CSyncRun> Run(const CSyncRunSettings& settings);
    std::unique_ptr<CSyncRun> Run() { return Run(Settings()); }
    void Continue(CSyncRun& run);

    QStringList LogLines() const;
    static QStringList LogLinesAt(const QString& path);
    // The lines after the header and its empty line.
    QStringList RunLines() const { return LogLines().mid(3); }
    uint32_t EntryNumber(const QString& key, const QString& value) const;

    CTempEnv env;
    CScriptedEngine engine;
    CScriptedSyncUi ui;
    CPWInfo sink;
    QString pcDir;
    QString programDir;
    ConverterFactory converters;
};
