// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "manager/MessageBox.h"
#include "manager/connection/ConnectionMonitor.h"
#include "platform/chooser/DeviceFolder.h"
#include "platform/engine/EpocEngine.h"
#include "platform/engine/VolumeConfig.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/LoopVolume.h"
#include "tests/support/TempEnv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString kUser = u"alice"_s;

bool Tool(const QString& program, const QStringList& args, QString* output = nullptr) {
    return RunBuiltTool(program, args, output);
}

QByteArray Read(const QString& path) {
    return ReadWholeFile(path);
}

void Write(const QString& path, const QByteArray& content, struct timespec modified) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(content);
    f.close();
    const struct timespec times[2] = {modified, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

bool Running(const QProcess& process) {
    return process.state() == QProcess::Running;
}

bool DisplayAnswers(const QString& display) {
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, display);
    probe.setProcessEnvironment(environment);
    probe.start(u"xdotool"_s, {u"getdisplaygeometry"_s});
    return probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

// A FAT stick adopted by alice, with bindings to its documents, synchronized by the real
// bindcopy on a virtual display. The script that runs it accepts whatever the run shows: the
// completion report with Return, the copy-error box with Esc ("Ignore File").
class VolumeEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
            GTEST_SKIP() << "Xvfb and xdotool are needed to run bindcopy";
        // One virtual display for every run of the test: starting one per run races with the
        // previous one's ending. The number is drawn well away from the usual ones, the server
        // must not reset when a client leaves, and the display counts as up once one can use it.
        QString display;
        for (int attempt = 0; attempt < 8 && display.isEmpty(); ++attempt) {
            const QString candidate = u':' + QString::number(200 + QRandomGenerator::global()->bounded(700));
            m_xvfb.start(u"Xvfb"_s,
                         {candidate, u"-noreset"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s});
            const bool up = m_xvfb.waitForStarted(5000) &&
                            QTest::qWaitFor([&] { return !Running(m_xvfb) || DisplayAnswers(candidate); }, 10000);
            if (up && Running(m_xvfb))
                display = candidate;
            else
                StopDisplay();
        }
        ASSERT_FALSE(display.isEmpty()) << "no virtual display could be started";
        m_env.SetEnv("DISPLAY", display);
        m_pc = m_env.MakeDir(u"pc"_s) + u'/';
        QString out;
        ASSERT_TRUE(Tool(u"epocsim"_s, {u"install"_s, u"--dir"_s, m_env.MakeDir(u"suite"_s)}, &out))
            << out.toStdString();
        ASSERT_TRUE(Tool(u"epocsim"_s, {u"user"_s, u"add"_s, kUser, u"--pc-dir"_s, m_pc, u"--current"_s}, &out))
            << out.toStdString();

        m_stick = std::make_unique<CLoopVolume>(m_env.Root(), CLoopVolume::Kind::Fat, u"ROAD"_s);
        ASSERT_TRUE(m_stick->Problem().isEmpty()) << m_stick->Problem().toStdString();
        if (!m_stick->Mount(m_env.Root() + u"/media/stick"_s))
            GTEST_SKIP() << "cannot mount a FAT volume here: " << m_stick->Problem().toStdString();
        QDir().mkpath(m_stick->MountPoint() + u"/Dovetail"_s);
        ASSERT_TRUE(
            Tool(u"dtdevice"_s, {u"adopt"_s, m_stick->MountPoint() + u"/Dovetail"_s, u"--owner"_s, kUser}, &out))
            << out.toStdString();

        // bindcopy writes its log beside itself: a copy of its own keeps this test's log apart.
        const QString bin = m_env.MakeDir(u"bin"_s);
        m_bindcopy = bin + u"/bindcopy"_s;
        ASSERT_TRUE(QFile::copy(BinDir() + u"/bindcopy"_s, m_bindcopy));
        m_log = bin + u"/Dovetail Synchronization{alice}.srp"_s;
        m_windows = m_env.Root() + u"/windows.txt"_s;
        m_runs = m_env.Root() + u"/runs.txt"_s;
        m_runner = m_env.WriteFile(u"bin/run-bindcopy"_s, RunnerScript().toUtf8());
        QFile::setPermissions(m_runner, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        Bind(0, u"report.txt"_s, u"Report"_s);
        Bind(1, u"agenda.txt"_s, u"Agenda"_s);
    }

    void TearDown() override {
        m_stick.reset();
        StopDisplay();
    }
    void StopDisplay() {
        if (m_xvfb.state() == QProcess::NotRunning)
            return;
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(5000))
            m_xvfb.kill();
        m_xvfb.waitForFinished(5000);
    }

    QString RunnerScript() const {
        return uR"(#!/bin/bash
unset QT_QPA_PLATFORM
exec >>'%4' 2>&1
echo "run on display $DISPLAY"
bash -c '
"$1" & pid=$!
for _ in $(seq 1 600); do
  kill -0 $pid 2>/dev/null || break
  xdotool search --onlyvisible --name "." getwindowname %@ >>"$2" 2>/dev/null
  # A box answered here is written down first: it may have shown since the line above.
  for w in $(xdotool search --onlyvisible --name "^(Synchronization Completed|Error\.)$" 2>/dev/null); do
    xdotool getwindowname $w >>"$2" 2>/dev/null
    xdotool windowfocus --sync $w 2>/dev/null && xdotool key --clearmodifiers Return 2>/dev/null
  done
  for w in $(xdotool search --onlyvisible --name "^Dovetail Synchronizer$" 2>/dev/null); do
    xdotool getwindowname $w >>"$2" 2>/dev/null
    xdotool windowfocus --sync $w 2>/dev/null && xdotool key --clearmodifiers Escape 2>/dev/null
  done
  sleep 0.2
done
wait $pid' run '%1' '%2'
echo run >> '%3'
)"_s.arg(m_bindcopy, m_windows, m_runs, RunnerOutput());
    }

    void Bind(int n, const QString& win, const QString& epoc) {
        CDocSynchEntry b;
        b.WinPath = m_pc;
        b.WinFileName = win;
        b.EpocPath = u"C:\\Documents\\"_s;
        b.EpocFileName = epoc;
        b.WinFileType = u"Text Document"_s;
        b.EpocFileType = u"Text Document"_s;
        b.CopyRule = kCopyNewest;
        b.PromptBothChanged = false;
        b.Prompt24Hrs = false;
        WriteDocSynchEntry(kUser, n, b);
    }

    // Runs bindcopy once to its end; the log's lines after its three heading lines and the line
    // naming the volume (with its empty line).
    QStringList Synchronize() {
        QFile::remove(m_log);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(m_runner, {});
        EXPECT_TRUE(p.waitForFinished(120000)) << "bindcopy did not finish; windows: " << Read(m_windows).toStdString();
        const QStringList lines = LogLines();
        EXPECT_FALSE(lines.isEmpty()) << "no log; the run said: " << Said();
        return lines;
    }
    QStringList LogLines() const {
        QStringList lines = QString::fromLocal8Bit(Read(m_log)).split(u"\r\n"_s);
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        lines = lines.mid(3);
        if (lines.value(0).startsWith(u"MC 218 : volume "_s))
            lines = lines.mid(2);
        return lines;
    }
    uint32_t Number(int entry, const QString& value) const {
        uint32_t n = 0;
        ReadEntryNumber(kUser, QLatin1String(kDocSynchArea), QString::number(entry), value, n);
        return n;
    }
    QString RunnerOutput() const { return m_env.Root() + u"/runner.txt"_s; }
    std::string Said() const { return Read(RunnerOutput()).toStdString(); }
    QString Docs() const { return m_stick->MountPoint() + u"/Dovetail/C/Documents/"_s; }

    CTempEnv m_env;
    QProcess m_xvfb;
    std::unique_ptr<CLoopVolume> m_stick;  // goes before the environment's folder
    QString m_pc;
    QString m_bindcopy;
    QString m_log;
    QString m_windows;
    QString m_runs;
    QString m_runner;
};

TEST_F(VolumeEndToEndTest, SynchronizesBothWaysAndReadsFatTimesRight) {
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    // An odd second with a fraction: the stick keeps the even second below it.
    Write(m_pc + u"report.txt"_s, "report from the office", {time_t((now - 101) | 1), 700000000});
    Write(Docs() + u"Agenda"_s, "agenda from the road", {time_t(now - 50), 0});

    QStringList lines = Synchronize();
    EXPECT_EQ(lines.value(0), u"*** 2  files to synchronize."_s) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"File copied to MC 218 : report.txt -> Report"_s)) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"File copied to PC  : Agenda -> agenda.txt"_s)) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines.value(lines.size() - 1), u"Synchronization complete."_s);
    EXPECT_EQ(Read(Docs() + u"Report"_s), QByteArray("report from the office"));
    EXPECT_EQ(Read(m_pc + u"agenda.txt"_s), QByteArray("agenda from the road"));

    // The stick's coarser times do not make either side look changed.
    lines = Synchronize();
    EXPECT_EQ(lines.value(0), u"*** 0  files to synchronize."_s) << lines.join(u'\n').toStdString();

    // Edits 3 seconds after the last run are seen on either side, even rounded down on FAT.
    const uint32_t reportSynchronized = Number(0, u"LastSyncTimeStamp"_s);
    const uint32_t agendaSynchronized = Number(1, u"LastSyncTimeStamp"_s);
    ASSERT_GT(reportSynchronized, uint32_t(now));
    ASSERT_GT(agendaSynchronized, uint32_t(now));
    Write(Docs() + u"Report"_s, "report edited on the road", {time_t(reportSynchronized + 3), 0});
    Write(m_pc + u"agenda.txt"_s, "agenda edited at the office", {time_t(agendaSynchronized + 3), 0});
    ASSERT_GE(QFileInfo(Docs() + u"Report"_s).lastModified().toSecsSinceEpoch(), reportSynchronized + 2);
    lines = Synchronize();
    EXPECT_EQ(lines.value(0), u"*** 2  files to synchronize."_s) << lines.join(u'\n').toStdString();
    EXPECT_EQ(Read(m_pc + u"report.txt"_s), QByteArray("report edited on the road"));
    EXPECT_EQ(Read(Docs() + u"Agenda"_s), QByteArray("agenda edited at the office"));
    EXPECT_EQ(QDir(Docs()).entryList(QDir::Files | QDir::Hidden), (QStringList{u"Agenda"_s, u"Report"_s}));

    // The log names the volume; one whose label is not the one adopted (a cloned stick carries
    // the identity of the first) is warned of, and the run reports errors.
    EXPECT_TRUE(QString::fromLocal8Bit(Read(m_log)).contains(u"\" mounted on "_s + m_stick->MountPoint() + u"\r\n"_s));
    std::vector<AdoptedVolume> volumes;
    ASSERT_TRUE(ReadAdoptedVolumes(volumes));
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_GT(volumes[0].size, 0u) << "adopting records the size";
    ASSERT_TRUE(CRegistry::Default().SetString(RegRoot::LocalMachine,
                                               VolumeConfig::VolumesKey() + u'\\' + volumes[0].id,
                                               VolumeConfig::Label(), u"ANOTHER"_s));
    lines = Synchronize();
    EXPECT_TRUE(QString::fromLocal8Bit(Read(m_log))
                    .contains(u"This volume's label differs from the one adopted (ANOTHER, now "_s))
        << Read(m_log).toStdString();
    EXPECT_EQ(lines.value(lines.size() - 1), u"Synchronization completed with errors."_s);
}

TEST_F(VolumeEndToEndTest, UnplugMidCopyEndsTheRunWithItsOwnMessages) {
    m_env.SetEnv("DOVETAIL_TEST_COPY_PAUSE_MS", u"60"_s);
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    Write(m_pc + u"report.txt"_s, QByteArray(24 << 20, 'r'), {time_t(now - 100), 0});
    Write(Docs() + u"Report"_s, "the stick's old report", {time_t(now - 5000), 0});

    QProcess run;
    run.start(m_runner, {});
    // The stick keeps named temporary files: one shows when the copy is under way.
    const bool copying = QTest::qWaitFor(
        [&] { return !QDir(Docs()).entryList({u".Report*.tmp"_s}, QDir::Files | QDir::Hidden).isEmpty(); }, 60000);
    ASSERT_TRUE(copying) << "the copy never started; log: " << LogLines().join(u'\n').toStdString() << Said();
    ASSERT_TRUE(m_stick->Unmount());
    ASSERT_TRUE(run.waitForFinished(120000));

    const QStringList lines = LogLines();
    const QString text = lines.join(u'\n');
    EXPECT_TRUE(lines.contains(u"Connection terminated!"_s)) << text.toStdString();
    // What happened, and only that: the failure, no "Copied" line for the copy that was not made.
    EXPECT_TRUE(lines.contains(u"Unable to copy file to MC 218 : report.txt -> Report"_s)) << text.toStdString();
    EXPECT_FALSE(text.contains(u"Copied "_s)) << text.toStdString();
    EXPECT_FALSE(lines.contains(u"File copied to MC 218 : report.txt -> Report"_s)) << text.toStdString();
    EXPECT_TRUE(Read(m_windows).contains("Dovetail Synchronizer")) << "no copy-error box";
    EXPECT_TRUE(Read(m_windows).contains("Error.")) << "no completion report";
    EXPECT_EQ(Number(0, u"WasUpdated"_s), 0u);

    // Plugged in again elsewhere: the old report, whole, and nothing else.
    ASSERT_TRUE(m_stick->Mount(m_env.Root() + u"/media/elsewhere"_s)) << m_stick->Problem().toStdString();
    EXPECT_EQ(Read(Docs() + u"Report"_s), QByteArray("the stick's old report"));
    EXPECT_EQ(QDir(Docs()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Report"_s});
    EXPECT_EQ(QFileInfo(m_pc + u"report.txt"_s).size(), 24 << 20);
}

// A stick from other hands, with a named pipe and a link to a PC document where the bound
// documents belong: the run ends on its own in bounded time, says which copies failed, touches
// nothing off the stick, and the next run (its instance lock free again) works.
TEST_F(VolumeEndToEndTest, AHostileStickEndsTheRunWithItsOwnMessages) {
    // The FAT stick cannot hold pipes or links: an ext4 one takes its place.
    QString out;
    std::vector<AdoptedVolume> volumes;
    ASSERT_TRUE(ReadAdoptedVolumes(volumes));
    for (const AdoptedVolume& v : volumes)
        ASSERT_TRUE(Tool(u"dtdevice"_s, {u"forget"_s, v.id}, &out)) << out.toStdString();
    ASSERT_TRUE(m_stick->Unmount());
    m_stick = std::make_unique<CLoopVolume>(m_env.Root(), CLoopVolume::Kind::Ext4, u"PRANK"_s, 16);
    ASSERT_TRUE(m_stick->Mount(m_env.Root() + u"/media/stick"_s)) << m_stick->Problem().toStdString();
    ASSERT_TRUE(Tool(u"dtdevice"_s, {u"adopt"_s, m_stick->MountPoint() + u"/Dovetail"_s, u"--owner"_s, kUser}, &out))
        << out.toStdString();
    CSentinel letter(m_env.Root() + u"/outside/letter.txt"_s);
    CFifoUnjammer unjammer;
    ASSERT_TRUE(HostileEntries::Fifo(Docs() + u"Report"_s));
    unjammer.Watch(Docs() + u"Report"_s);
    ASSERT_TRUE(HostileEntries::Link(letter.Path(), Docs() + u"Agenda"_s));
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    Write(m_pc + u"report.txt"_s, "report from the office", {time_t(now - 100), 0});
    Write(m_pc + u"agenda.txt"_s, "agenda from the office", {time_t(now - 100), 0});

    const auto started = std::chrono::steady_clock::now();
    QStringList lines = Synchronize();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    const QString text = lines.join(u'\n');
    EXPECT_TRUE(lines.contains(u"Unable to copy file to MC 218 : report.txt -> Report"_s)) << text.toStdString();
    EXPECT_TRUE(lines.contains(u"Unable to copy file to MC 218 : agenda.txt -> Agenda"_s)) << text.toStdString();
    EXPECT_EQ(lines.value(lines.size() - 1), u"Synchronization completed with errors."_s) << text.toStdString();
    EXPECT_TRUE(Read(m_windows).contains("Error.")) << "no completion report";
    EXPECT_EQ(Number(0, u"WasUpdated"_s), 0u);
    EXPECT_EQ(Number(1, u"WasUpdated"_s), 0u);
    EXPECT_FALSE(unjammer.Unjam()) << "the run waited on the pipe";
    EXPECT_TRUE(letter.Untouched());
    EXPECT_TRUE(QFileInfo(Docs() + u"Agenda"_s).isSymLink());
    EXPECT_EQ(Read(m_pc + u"report.txt"_s), QByteArray("report from the office"));

    // The junk gone, the next run synchronizes both.
    ASSERT_TRUE(QFile::remove(Docs() + u"Report"_s));
    ASSERT_TRUE(QFile::remove(Docs() + u"Agenda"_s));
    lines = Synchronize();
    EXPECT_TRUE(lines.contains(u"File copied to MC 218 : report.txt -> Report"_s)) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"File copied to MC 218 : agenda.txt -> Agenda"_s)) << lines.join(u'\n').toStdString();
    EXPECT_EQ(Read(Docs() + u"Report"_s), QByteArray("report from the office"));
}

TEST_F(VolumeEndToEndTest, PluggingInStartsARunThroughTheScheduler) {
    ASSERT_TRUE(RegWriteNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\Users\\alice\\AutoSynchApps\\Dovetail"_s,
                               u"Frequency"_s, 1));
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, u"Software\\Veroz\\Users\\alice\\AutoSynchApps\\Dovetail"_s,
                               u"ExecutablePath"_s, m_runner));
    Write(m_pc + u"report.txt"_s, "report", {time_t(QDateTime::currentSecsSinceEpoch() - 100), 0});
    ASSERT_TRUE(m_stick->Unmount());

    QProcess timer;
    timer.setProcessChannelMode(QProcess::MergedChannels);
    timer.start(BinDir() + u"/DTkTimer"_s, {u"-v"_s});
    QString said;
    const auto waitSaid = [&](const QString& text, int count) {
        return QTest::qWaitFor(
            [&] {
                said += QString::fromLocal8Bit(timer.readAll());
                return said.count(text) >= count;
            },
            30000);
    };
    ASSERT_TRUE(waitSaid(u"DTkTimer: started"_s, 1)) << said.toStdString();
    EXPECT_FALSE(QFile::exists(m_runs));

    ASSERT_TRUE(m_stick->Mount(m_env.Root() + u"/media/stick"_s));
    ASSERT_TRUE(waitSaid(u"handheld connected"_s, 1)) << said.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Read(m_runs).count('\n') >= 1; }, 120000)) << said.toStdString();
    EXPECT_EQ(Read(Docs() + u"Report"_s), QByteArray("report")) << Said();
    EXPECT_EQ(LogLines().value(0), u"*** 1  files to synchronize."_s);

    // Unplugged and plugged in on another mount point: another run.
    Write(m_pc + u"report.txt"_s, "report, second edition", {time_t(Number(0, u"LastSyncTimeStamp"_s) + 10), 0});
    ASSERT_TRUE(m_stick->Unmount());
    ASSERT_TRUE(waitSaid(u"handheld disconnected"_s, 1)) << said.toStdString();
    ASSERT_TRUE(m_stick->Mount(m_env.Root() + u"/media/other"_s));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Read(m_runs).count('\n') >= 2; }, 120000)) << said.toStdString();
    EXPECT_EQ(Read(Docs() + u"Report"_s), QByteArray("report, second edition")) << said.toStdString() << Said();
    timer.terminate();
    timer.waitForFinished(10000);
}

TEST_F(VolumeEndToEndTest, ManagerFollowsTheVolume) {
    // The EPOC file chooser browses the connected volume.
    CDeviceFolder browsed;
    ASSERT_TRUE(browsed.OpenFromRegistry());
    EXPECT_EQ(browsed.Root(), m_stick->MountPoint() + u"/Dovetail"_s);
    EXPECT_EQ(browsed.Drives(), QList<QChar>{u'C'});

    CMessageBox::SetAutoAnswer(QMessageBox::Ok);
    CConnectionMonitor monitor(nullptr);
    ASSERT_TRUE(monitor.Start(CreateEpocEngine()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.IsConnected() && monitor.OwnerText() == kUser; }, 10000));

    ASSERT_TRUE(m_stick->Unmount());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !monitor.IsConnected(); }, 10000));
    EXPECT_TRUE(monitor.OwnerText().isEmpty());
    EXPECT_FALSE(browsed.OpenFromRegistry());

    ASSERT_TRUE(m_stick->Mount(m_env.Root() + u"/media/again"_s));
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.IsConnected() && monitor.OwnerText() == kUser; }, 10000));
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty()) << CMessageBox::ShownTexts().join(u'\n').toStdString();
    CMessageBox::SetAutoAnswer(QMessageBox::NoButton);
}

}  // namespace
