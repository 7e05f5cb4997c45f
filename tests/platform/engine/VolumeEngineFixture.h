// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EngineObjects.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeEngine.h"
#include "platform/registry/Registry.h"
#include "tests/platform/engine/EventRecorder.h"
#include "tests/support/LoopVolume.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

// Removable volumes on loop-mounted images, adopted with dtdevice and reached through the
// engine the configuration picks.

namespace VolumeTesting {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

inline FileSpec Spec(uint16_t location, const QString& path) {
    FileSpec spec;
    EXPECT_TRUE(MakeFileSpec(location, path.toUtf8().constData(), spec));
    return spec;
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& content, std::optional<struct timespec> modified = {}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    if (modified) {
        const struct timespec times[2] = {*modified, *modified};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
}

// Names left in a folder that are not the documents themselves (temporary files).
inline QStringList Leftovers(const QString& folder, const QStringList& expected) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : expected)
        names.removeAll(name);
    return names;
}

// Removable volumes adopted with dtdevice, reached through the engine the configuration picks.
class VolumeEngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_pc = m_env.MakeDir(u"pc"_s);
        for (const char* user : {"alice", "bob"})
            CRegistry::Default().SetString(RegRoot::CurrentUser,
                                           u"Software\\Veroz\\Users\\"_s + QLatin1String(user) + u"\\PCDirectory"_s,
                                           QString(), m_pc + u'/');
    }

    // Runs dtdevice; its output, and whether it succeeded.
    bool DtDevice(const QStringList& args, QString* output = nullptr) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(BinDir() + u"/dtdevice"_s, args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (output)
            *output = QString::fromUtf8(p.readAll());
        return ok;
    }

    // Adopts folder (created) for owner; the volume's id from the store.
    QString Adopt(const QString& folder, const QString& owner) {
        QDir().mkpath(folder);
        QString output;
        EXPECT_TRUE(DtDevice({u"adopt"_s, folder, u"--owner"_s, owner}, &output)) << output.toStdString();
        std::vector<AdoptedVolume> volumes;
        ReadAdoptedVolumes(volumes);
        for (const AdoptedVolume& v : volumes) {
            if (output.contains(v.id))
                return v.id;
        }
        return {};
    }

    std::unique_ptr<IEpocEngine> Start() {
        auto engine = CreateEpocEngine();
        EXPECT_TRUE(dynamic_cast<CVolumeEngine*>(engine.get())) << "the configuration must choose the volume engine";
        if (!engine)
            return nullptr;
        engine->SetEventSink(&m_events);
        Expect("Initialized", 0);
        engine->Connect(15000);
        return engine;
    }

    // The next event, which must be name with result.
    void Expect(const std::string& name, int32_t result, std::chrono::milliseconds timeout = 5s) {
        const std::optional<RecordedEvent> event = m_events.Next(timeout);
        ASSERT_TRUE(event) << "no " << name << " event";
        EXPECT_EQ(event->name, name);
        EXPECT_EQ(event->result, result) << name;
    }

    QString MachineOf(IEpocEngine& engine) {
        std::unique_ptr<IEpocMachine> machine;
        engine.GetMachine(2, machine);
        Expect("MachineReady", 0);
        MachineInfo info;
        if (!machine || machine->GetMachineInfo(info) != 0)
            return {};
        return MachineIdText(info.WordAt(0x24), info.WordAt(0x20));
    }

    int32_t Copy(IEpocEngine& engine, const FileSpec& from, const FileSpec& to) {
        engine.CopyFile(from, to, 1);
        const std::optional<RecordedEvent> event = m_events.Next(30s);
        if (!event || event->name != "CopyDone")
            return 999;
        return event->result;
    }

    // Opens a device file; its information, or the failure.
    int32_t Open(IEpocEngine& engine, const QString& path, RemoteFileInfo& info) {
        std::unique_ptr<IEpocRemoteFile> file;
        engine.OpenRemoteFile(Spec(kLocationDevice, path), file);
        const std::optional<RecordedEvent> event = m_events.Next();
        if (!event || event->name != "Opened")
            return 999;
        if (event->result == 0)
            file->GetFileInfo(info);
        return event->result;
    }

    CTempEnv m_env;
    QString m_pc;
    CEventRecorder m_events;
};

#define MOUNT_OR_SKIP(volume, where)                                                   \
    do {                                                                               \
        ASSERT_TRUE((volume).Problem().isEmpty()) << (volume).Problem().toStdString(); \
        if (!(volume).Mount(where))                                                    \
            GTEST_SKIP() << "cannot mount here: " << (volume).Problem().toStdString(); \
    } while (false)

}  // namespace VolumeTesting
