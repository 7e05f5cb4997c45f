// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a copy of epocsim placed in its own folder, so each test decides which suite files
// lie beside it.
class EpocSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_toolDir = m_env.MakeDir(u"tool"_s);
        m_tool = m_toolDir + u"/epocsim"_s;
        ASSERT_TRUE(QFile::copy(BinDir() + u"/epocsim"_s, m_tool)) << qPrintable(BinDir());
        QFile(m_tool).setPermissions(QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    }

    void PutBesideTool(const QString& name, const QByteArray& content) {
        QFile f(m_toolDir + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    RunResult Run(const QStringList& args) {
        QProcess process;
        process.start(m_tool, args);
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    RunResult RunOk(const QStringList& args) {
        const RunResult result = Run(args);
        EXPECT_EQ(result.exitCode, 0) << qPrintable(args.join(u' ')) << ": " << qPrintable(result.err);
        EXPECT_EQ(result.out.count(u'\n'), 1) << "one line of report: " << qPrintable(result.out);
        return result;
    }

    static QString String(RegRoot root, const QString& key, const QString& name) {
        QString text;
        CRegistry::Default().GetString(root, key, name, text);
        return text;
    }
    static std::optional<uint32_t> Number(RegRoot root, const QString& key, const QString& name) {
        uint32_t number = 0;
        if (!CRegistry::Default().GetNumber(root, key, name, number))
            return std::nullopt;
        return number;
    }

    CTempEnv m_env;
    QString m_toolDir;
    QString m_tool;
};

TEST_F(EpocSimTest, SetsUpSuiteUserAndHandheld) {
    PutBesideTool(u"ecfile.ocx"_s, "chooser");
    PutBesideTool(u"dtconnect.avi"_s, "clip one");
    PutBesideTool(u"dtsync.avi"_s, "clip two");
    const QString suite = m_env.Root() + u"/suite"_s;
    const QString pc = m_env.Root() + u"/pc/alice"_s;
    const QString device = m_env.Root() + u"/device"_s;

    RunOk({u"install"_s, u"--dir"_s, suite});
    EXPECT_EQ(String(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Installation Directory"_s), suite + u'/');
    EXPECT_EQ(String(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Animations"_s, u"Connect"_s),
              suite + u"/dtconnect.avi"_s);
    EXPECT_EQ(String(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Animations"_s, u"Sychronize"_s),
              suite + u"/dtsync.avi"_s);
    const QString programs =
        String(RegRoot::CurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"_s,
               u"Programs"_s);
    EXPECT_EQ(programs, m_env.Home() + u"/.local/share/applications"_s);
    EXPECT_TRUE(QFileInfo(programs).isDir());
    const QString controlFile = String(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Control File"_s);
    EXPECT_TRUE(controlFile.startsWith(suite + u'/')) << qPrintable(controlFile);
    EXPECT_TRUE(QFile::exists(controlFile));
    QFile chooser(suite + u"/ecfile.ocx"_s);
    ASSERT_TRUE(chooser.open(QIODevice::ReadOnly));
    EXPECT_EQ(chooser.readAll(), "chooser");
    EXPECT_TRUE(QFile::exists(suite + u"/dtsync.avi"_s));

    RunOk({u"user"_s, u"add"_s, u"Alice"_s, u"--pc-dir"_s, pc, u"--current"_s});
    RunOk({u"user"_s, u"add"_s, u"Bob"_s, u"--pc-dir"_s, m_env.Root() + u"/pc/bob/"_s});
    EXPECT_EQ(String(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\Alice\\PCDirectory"_s, QString()), pc + u'/');
    EXPECT_EQ(String(RegRoot::CurrentUser, u"Software\\Veroz\\CurrentUser"_s, QString()), u"Alice"_s);
    EXPECT_TRUE(QFileInfo(pc).isDir());

    RunOk({u"device"_s, u"create"_s, u"--root"_s, device, u"--id"_s, u"0a2b-00ff"_s, u"--owner"_s, u"Alice"_s});
    const QString sim = SimulatorConfig::Key();
    EXPECT_EQ(String(RegRoot::LocalMachine, sim, u"DeviceRoot"_s), device);
    EXPECT_EQ(Number(RegRoot::LocalMachine, sim, u"MachineIdHigh"_s), 0xA2Bu);
    EXPECT_EQ(Number(RegRoot::LocalMachine, sim, u"MachineIdLow"_s), 0xFFu);
    EXPECT_EQ(Number(RegRoot::LocalMachine, sim, u"Connected"_s), 1u);
    EXPECT_TRUE(
        CRegistry::Default().KeyExists(RegRoot::CurrentUser, u"Software\\Veroz\\Users\\Alice\\Machines\\A2B-FF"_s));
    EXPECT_TRUE(QFileInfo(device + u"/C/Documents"_s).isDir());

    RunOk({u"unplug"_s});
    EXPECT_EQ(Number(RegRoot::LocalMachine, sim, u"Connected"_s), 0u);
    EXPECT_TRUE(RunOk({u"status"_s}).out.contains(u"unplugged"_s));
    RunOk({u"plug"_s});
    EXPECT_EQ(Number(RegRoot::LocalMachine, sim, u"Connected"_s), 1u);

    RunOk({u"fault"_s, u"copyfail"_s, u"3"_s});
    EXPECT_EQ(Number(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), u"CopyFail"_s), 3u);
    const QString status = RunOk({u"status"_s}).out;
    for (const QString& part : {suite, u"Alice"_s, u"A2B-FF"_s, u"plugged in"_s, u"CopyFail=3"_s})
        EXPECT_TRUE(status.contains(part)) << qPrintable(status);
}

TEST_F(EpocSimTest, InstallWithoutClipsLeavesTheAnimationsOut) {
    PutBesideTool(u"ecfile.ocx"_s, "chooser");
    RunOk({u"install"_s, u"--dir"_s, m_env.Root() + u"/suite"_s});
    EXPECT_FALSE(Number(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Animations"_s, u"Connect"_s));
    EXPECT_TRUE(String(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Animations"_s, u"Connect"_s).isEmpty());
}

TEST_F(EpocSimTest, RefusesBadArgumentsWithoutChangingAnything) {
    const QString dir = m_env.Root() + u"/d"_s;
    const QStringList rows[] = {
        {},
        {u"frobnicate"_s},
        {u"install"_s},
        {u"install"_s, u"--dir"_s},
        {u"install"_s, u"--dir"_s, dir, u"extra"_s},
        {u"user"_s, u"add"_s},
        {u"user"_s, u"add"_s, u"Alice"_s},
        {u"user"_s, u"add"_s, u"Al\\ice"_s, u"--pc-dir"_s, dir},
        {u"user"_s, u"remove"_s, u"Alice"_s},
        {u"device"_s, u"create"_s, u"--root"_s, dir, u"--owner"_s, u"Alice"_s},
        {u"device"_s, u"create"_s, u"--root"_s, dir, u"--id"_s, u"12"_s, u"--owner"_s, u"Alice"_s},
        {u"device"_s, u"create"_s, u"--root"_s, dir, u"--id"_s, u"G1-2"_s, u"--owner"_s, u"Alice"_s},
        {u"device"_s, u"create"_s, u"--root"_s, dir, u"--id"_s, u"123456789-1"_s, u"--owner"_s, u"Alice"_s},
        {u"plug"_s, u"now"_s},
        {u"fault"_s, u"Busy"_s},
        {u"fault"_s, u"Sometimes"_s, u"1"_s},
        {u"fault"_s, u"Busy"_s, u"-1"_s},
        {u"fault"_s, u"Busy"_s, u"two"_s},
    };
    for (const QStringList& args : rows) {
        const RunResult result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << qPrintable(args.join(u' '));
        EXPECT_TRUE(result.err.startsWith(u"epocsim: "_s)) << qPrintable(result.err);
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(m_env.RegistryPath()) &&
                 CRegistry::Default().KeyExists(RegRoot::LocalMachine, u"Software"_s));
    EXPECT_FALSE(QFile::exists(dir));
}

TEST_F(EpocSimTest, FailsClearlyWhenSomethingIsMissing) {
    // No chooser beside the tool: nothing is installed.
    RunResult result = Run({u"install"_s, u"--dir"_s, m_env.Root() + u"/suite"_s});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"ecfile.ocx"_s)) << qPrintable(result.err);
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s));

    // No handheld to plug in.
    result = Run({u"plug"_s});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"device create"_s)) << qPrintable(result.err);
    EXPECT_FALSE(CRegistry::Default().KeyExists(RegRoot::LocalMachine, SimulatorConfig::Key()));
}

}  // namespace
