// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/scheduler/SchedulerWorld.h"

#include "common/ProfileRegistry.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace SchedulerWorld {

namespace {

QString EntryKey(const QString& user, const QString& entry) {
    return QLatin1String(kUsersKey) + u'\\' + user + u"\\AutoSynchApps\\"_s + entry;
}

}  // namespace

void CreateHandheld(const QString& owner) {
    CRegistry& registry = CRegistry::Default();
    ASSERT_TRUE(
        registry.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), kLow));
    ASSERT_TRUE(
        registry.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdHigh(), kHigh));
    SetPlugged(false);
    if (!owner.isEmpty())
        AddMachineToUser(owner);
}

void AddMachineToUser(const QString& user) {
    const QString key = QLatin1String(kUsersKey) + u'\\' + user + u"\\Machines\\"_s + FormatMachineId(kHigh, kLow);
    ASSERT_EQ(CRegistry::Default().CreateKey(RegRoot::CurrentUser, key), RegStatus::Ok);
}

void SetPlugged(bool plugged) {
    ASSERT_TRUE(CRegistry::Default().SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(),
                                               SimulatorConfig::Connected(), plugged ? 1 : 0));
}

void SetFrequency(const QString& user, const QString& entry, uint32_t frequency) {
    ASSERT_TRUE(RegWriteNumber(HKEY_CURRENT_USER, EntryKey(user, entry), u"Frequency"_s, frequency));
}

void SetExecutablePath(const QString& user, const QString& entry, const QString& path) {
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, EntryKey(user, entry), u"ExecutablePath"_s, path));
}

void SetLastSynch(const QString& user, const QString& entry, uint32_t seconds) {
    ASSERT_TRUE(RegWriteNumber(HKEY_CURRENT_USER, EntryKey(user, entry), u"LastSynch"_s, seconds));
}

QString WriteRecorder(const CTempEnv& env, const QString& linesFile, double sleepSeconds) {
    QString script = u"#!/bin/sh\necho run >> '%1'\n"_s.arg(linesFile);
    if (sleepSeconds > 0)
        script += u"sleep %1\n"_s.arg(sleepSeconds);
    const QString path = env.WriteFile(u"bin/recorder.sh"_s, script.toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

int CountLines(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return int(f.readAll().count('\n'));
}

}  // namespace SchedulerWorld
