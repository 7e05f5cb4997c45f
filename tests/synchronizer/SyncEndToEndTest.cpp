// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "platform/converter/ConverterInterface.h"
#include "platform/engine/EpocEngine.h"
#include "platform/registry/Registry.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/SyncCompleteDlg.h"
#include "synchronizer/SyncDlg.h"
#include "tests/support/TempEnv.h"

#include <QApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

using namespace Qt::StringLiterals;

namespace {

// Starts the script's own X server on a display number it asks the server to pick, so runs
// side by side never race for one, and ends it with the script. -noreset: without it the
// server resets whenever its last client (each xdotool call) leaves, and a program that
// connects during the reset fails to start.
const QString kPrivateDisplay =
    uR"(
display_file=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$display_file" >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 1 200); do [ -s "$display_file" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n 1 "$display_file")
)"_s;

const QString kUser = u"alice"_s;
const QString kComplete = u"Synchronization complete."_s;

bool Tool(const QString& program, const QStringList& args, QString* output = nullptr) {
    QProcess p;
    p.start(BinDir() + u'/' + program, args);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return ok;
}

void SetModified(const QString& path, int64_t seconds) {
    struct timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ::utimes(QFile::encodeName(path).constData(), times);
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A user with a PC folder, the suite installed and a plugged-in handheld she owns, set up
// with the simulator tool; bindings written straight into her store.
class SyncEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallSyncStrings();
        pc = env.MakeDir(u"pc"_s) + u'/';
        device = env.MakeDir(u"handheld"_s);
        docs = device + u"/C/Documents/"_s;
        QString out;
        ASSERT_TRUE(Tool(u"epocsim"_s, {u"install"_s, u"--dir"_s, env.MakeDir(u"suite"_s)}, &out)) << out.toStdString();
        ASSERT_TRUE(Tool(u"epocsim"_s, {u"user"_s, u"add"_s, kUser, u"--pc-dir"_s, pc, u"--current"_s}, &out))
            << out.toStdString();
        ASSERT_TRUE(
            Tool(u"epocsim"_s,
                 {u"device"_s, u"create"_s, u"--root"_s, device, u"--id"_s, u"1A2B-3C4D"_s, u"--owner"_s, kUser}, &out))
            << out.toStdString();
        QDir().mkpath(docs);
        now = QDateTime::currentSecsSinceEpoch();

        // 0: new on the PC; 1: newer on the handheld, with a backup; 2: converted on the way
        // to the handheld; 3: unchanged since its last run.
        Bind(0, u"report.txt"_s, u"Report"_s, u"Text Document"_s, kCopyNewest, false);
        Write(pc + u"report.txt"_s, "report", now - 100);
        Bind(1, u"agenda.txt"_s, u"Agenda"_s, u"Text Document"_s, kCopyDeviceToPc, true);
        Write(pc + u"agenda.txt"_s, "old agenda", now - 5000);
        Write(docs + u"Agenda"_s, "new agenda", now - 100);
        Bind(2, u"letter.txt"_s, u"Letter"_s, u"EPOC Text"_s, kCopyNewest, false);
        Write(pc + u"letter.txt"_s, "Dear Sam,\nthe boat is ready.\n", now - 100);
        CDocSynchEntry same = Bind(3, u"same.txt"_s, u"Same"_s, u"Text Document"_s, kCopyNewest, false);
        Write(pc + u"same.txt"_s, "same", now - 90000);
        Write(docs + u"Same"_s, "same", now - 90000);
        same.WasUpdated = true;
        same.LastSyncTimeStamp = static_cast<uint32_t>(now - 80000);
        WriteDocSynchEntry(kUser, 3, same);
    }

    CDocSynchEntry Bind(int n, const QString& win, const QString& epoc, const QString& epocType, int32_t rule,
                        bool keep) {
        CDocSynchEntry b;
        b.WinPath = pc;
        b.WinFileName = win;
        b.EpocPath = u"C:\\Documents\\"_s;
        b.EpocFileName = epoc;
        b.WinFileType = u"Text Document"_s;
        b.EpocFileType = epocType;
        b.CopyRule = rule;
        b.KeepCopy = keep;
        b.PromptBothChanged = false;
        WriteDocSynchEntry(kUser, n, b);
        return b;
    }
    static void Write(const QString& path, const QByteArray& content, int64_t modified) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        SetModified(path, modified);
    }
    uint32_t Number(int entry, const QString& value) const {
        uint32_t n = 0;
        ReadEntryNumber(kUser, QLatin1String(kDocSynchArea), QString::number(entry), value, n);
        return n;
    }
    QStringList LogLines(const QString& path) const {
        QStringList lines = QString::fromLocal8Bit(Read(path)).split(u"\r\n"_s);
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    QStringList ExpectedFirstRunLines() const {
        return {u"*** 3  files to synchronize."_s,
                QString(),
                u"Copied "_s + pc + u"report.txt -> C:\\Documents\\Report"_s,
                u"File copied to MC 218 : report.txt -> Report"_s,
                QString(),
                u"Backing up file "_s + pc + u"agenda.txt -> "_s + pc + u"alice/Dovetail/agenda.txt ... Done."_s,
                u"Copied C:\\Documents\\Agenda -> "_s + pc + u"agenda.txt"_s,
                u"File copied to PC  : Agenda -> agenda.txt"_s,
                QString(),
                u"Converted "_s + pc + u"letter.txt -> C:\\Documents\\Letter"_s,
                u"File copied to MC 218 : letter.txt -> Letter"_s,
                QString(),
                kComplete};
    }

    CTempEnv env;
    QString pc;
    QString device;
    QString docs;
    int64_t now = 0;
};

// Runs the window with the real engine and converters; the report is accepted as soon as
// it shows. Returns the report's caption.
QString RunWindow(const QString& programFolder) {
    CSyncRunSettings s;
    s.title = u"Dovetail Synchronization"_s;
    s.programFolder = programFolder;
    s.createEngine = [] { return CreateEpocEngine(); };
    s.createConverter = [](const QString& id) { return CreateAutomationObject(id); };
    QString caption;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&caption] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* report = qobject_cast<CSyncCompleteDlg*>(w); report && report->isVisible()) {
                caption = report->windowTitle();
                report->accept();
            }
        }
    });
    answer.start(20);
    CSyncDlg dlg(std::move(s));
    dlg.Run();
    return caption;
}

TEST_F(SyncEndToEndTest, WindowRunsEveryKindOfTransferThenFindsNothingToDo) {
    const QString folder = env.MakeDir(u"bin"_s) + u'/';
    const int64_t start = QDateTime::currentSecsSinceEpoch();
    EXPECT_EQ(RunWindow(folder), u"Synchronization Completed"_s);
    const int64_t end = QDateTime::currentSecsSinceEpoch();

    const QString log = folder + u"Dovetail Synchronization{alice}.srp"_s;
    EXPECT_EQ(LogLines(log).mid(3), ExpectedFirstRunLines());
    EXPECT_EQ(Read(docs + u"Report"_s), QByteArray("report"));
    EXPECT_EQ(Read(pc + u"agenda.txt"_s), QByteArray("new agenda"));
    EXPECT_EQ(Read(pc + u"alice/Dovetail/agenda.txt"_s), QByteArray("old agenda"));
    EXPECT_NE(Read(docs + u"Letter"_s), Read(pc + u"letter.txt"_s));  // stored in the handheld's format
    for (int entry : {0, 1, 2}) {
        EXPECT_EQ(Number(entry, u"WasUpdated"_s), 1u);
        EXPECT_GE(Number(entry, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(start + 3));
        EXPECT_LE(Number(entry, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(end + 3));
    }
    QString logged;
    ReadUserString(kUser, u"Dovetail"_s, u"LogDocSynchCopy"_s, logged);
    EXPECT_EQ(logged, log);

    // The handheld's letter is edited after an older run: it comes back converted.
    Write(pc + u"letter.txt"_s, "scratch", now - 200000);
    SetModified(docs + u"Letter"_s, now - 10);
    WriteEntryNumber(kUser, QLatin1String(kDocSynchArea), u"2"_s, u"LastSyncTimeStamp"_s,
                     static_cast<uint32_t>(now - 100000));
    // Decided by the times alone, as a binding marked before states were recorded: with its
    // state, "scratch" would count as the edit it is and go to the handheld.
    WriteEntryString(kUser, QLatin1String(kDocSynchArea), u"2"_s, u"SyncMachine"_s, QString());
    EXPECT_EQ(RunWindow(folder), u"Synchronization Completed"_s);
    EXPECT_EQ(LogLines(log).mid(3),
              (QStringList{u"*** 1  files to synchronize."_s, QString(),
                           u"Converted C:\\Documents\\Letter -> "_s + pc + u"letter.txt"_s,
                           u"File copied to PC  : Letter -> letter.txt"_s, QString(), kComplete}));
    EXPECT_EQ(Read(pc + u"letter.txt"_s), QByteArray("Dear Sam,\nthe boat is ready.\n"));

    EXPECT_EQ(RunWindow(folder), u"Synchronization Completed"_s);
    EXPECT_EQ(LogLines(log).mid(3), (QStringList{u"*** 0  files to synchronize."_s, QString(), kComplete}));
}

TEST_F(SyncEndToEndTest, BindcopyOnAVirtualDisplay) {
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        GTEST_SKIP() << "Xvfb and xdotool are needed";
    // A copy of its own: the log lands beside the program, and runs side by side must not
    // share one.
    const QString bindcopy = env.MakeDir(u"prog"_s) + u"/bindcopy"_s;
    ASSERT_TRUE(QFile::copy(BinDir() + u"/bindcopy"_s, bindcopy));
    ASSERT_TRUE(QFile::setPermissions(bindcopy, QFile::permissions(BinDir() + u"/bindcopy"_s)));
    // Accept the report as soon as it is visible; the program then exits.
    const QString script =
        uR"(
"$1" /W"1" & pid=$!
for _ in $(seq 1 600); do
  kill -0 $pid 2>/dev/null || break
  xdotool search --onlyvisible --name '.' getwindowname %@ >>"$2" 2>/dev/null
  for w in $(xdotool search --onlyvisible --name '^(Synchronization Completed|Error\.|Both files changed since last synchronization)$' 2>/dev/null); do
    xdotool windowfocus --sync $w 2>/dev/null && xdotool key --clearmodifiers Return 2>/dev/null
  done
  sleep 0.2
done
wait $pid)"_s;
    const int64_t start = QDateTime::currentSecsSinceEpoch();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);  // this test process draws offscreen; bindcopy must not
    p.setProcessEnvironment(environment);
    p.start(u"bash"_s, {u"-c"_s, kPrivateDisplay + script, u"run"_s, bindcopy, env.Root() + u"/windows.txt"_s});
    ASSERT_TRUE(p.waitForFinished(60000))
        << "bindcopy did not finish; windows seen: " << Read(env.Root() + u"/windows.txt"_s).toStdString()
        << p.readAll().toStdString();
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    const int64_t end = QDateTime::currentSecsSinceEpoch();

    // /W"1": only the agenda binding runs.
    const QString log = QFileInfo(bindcopy).path() + u"/Dovetail Synchronization{alice}.srp"_s;
    const QStringList expected = ExpectedFirstRunLines();
    EXPECT_EQ(LogLines(log).mid(3), (QStringList{u"*** 1  files to synchronize."_s, QString()} + expected.mid(5, 4) +
                                     QStringList{kComplete}));
    EXPECT_EQ(LogLines(log).value(0), u"Dovetail Synchronization 1.0 (039)"_s);
    EXPECT_EQ(Read(pc + u"agenda.txt"_s), QByteArray("new agenda"));
    EXPECT_EQ(Number(0, u"WasUpdated"_s), 0u);
    uint32_t lastSynch = 0;
    ReadEntryNumber(kUser, u"AutoSynchApps"_s, u"Dovetail"_s, u"LastSynch"_s, lastSynch);
    EXPECT_GE(lastSynch, static_cast<uint32_t>(start));
    EXPECT_LE(lastSynch, static_cast<uint32_t>(end));
    EXPECT_GE(Number(1, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(start + 3));
    EXPECT_LE(Number(1, u"LastSyncTimeStamp"_s), lastSynch + 3);
    QString path;
    RegReadString(HKEY_CURRENT_USER, u"Software\\Veroz\\Dovetail"_s, u"SyncronizerPath"_s, path);
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(), QFileInfo(bindcopy).canonicalFilePath());
}

// Every file under root with its content, size and times: what a plan must leave as it was.
QStringList Snapshot(const QString& root) {
    QStringList all;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        // SQLite's shared-memory index: every reader of the store touches it, and it holds no value.
        if (info.fileName().endsWith(u"-shm"_s))
            continue;
        struct stat st {};
        ::lstat(QFile::encodeName(info.filePath()).constData(), &st);
        all << u"%1 %2 %3.%4 %5"_s.arg(info.filePath())
                   .arg(st.st_size)
                   .arg(st.st_mtim.tv_sec)
                   .arg(st.st_mtim.tv_nsec)
                   .arg(info.isFile() ? QString::fromLatin1(Read(info.filePath()).toHex()) : QString());
    }
    all.sort();
    return all;
}

// /P prints what a run would do, with no window, and leaves every byte, time and store value.
TEST_F(SyncEndToEndTest, PlanPrintsEachBindingAndWritesNothing) {
    const QString bindcopy = env.MakeDir(u"prog"_s) + u"/bindcopy"_s;
    ASSERT_TRUE(QFile::copy(BinDir() + u"/bindcopy"_s, bindcopy));
    ASSERT_TRUE(QFile::setPermissions(bindcopy, QFile::permissions(BinDir() + u"/bindcopy"_s)));
    const QStringList before = Snapshot(env.Root());

    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.remove(u"DISPLAY"_s);
    p.setProcessEnvironment(environment);
    p.start(bindcopy, {u"/P"_s});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString docsPath = u"C:\\Documents\\"_s;
    const QString t = u"\t"_s;
    const auto side = [](const QString& path) {
        const QFileInfo info(path);
        return QString::number(info.size()) + u'\t' +
               QDateTime::fromSecsSinceEpoch(info.lastModified().toSecsSinceEpoch(), Qt::UTC).toString(Qt::ISODate);
    };
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
              (QStringList{u"0\tto-handheld\t"_s + pc + u"report.txt\t"_s + docsPath + u"Report\thandheld-missing\t"_s +
                               side(pc + u"report.txt"_s) + u"\t\t"_s,
                           u"1\tto-pc\t"_s + pc + u"agenda.txt\t"_s + docsPath + u"Agenda\thandheld-newer\t"_s +
                               side(pc + u"agenda.txt"_s) + t + side(docs + u"Agenda"_s),
                           u"2\tto-handheld\t"_s + pc + u"letter.txt\t"_s + docsPath + u"Letter\thandheld-missing\t"_s +
                               side(pc + u"letter.txt"_s) + u"\t\t"_s,
                           u"3\tin-step\t"_s + pc + u"same.txt\t"_s + docsPath + u"Same\tunchanged\t"_s +
                               side(pc + u"same.txt"_s) + t + side(docs + u"Same"_s)}));
    const QStringList after = Snapshot(env.Root());
    QStringList changed;
    for (const QString& line : after + before) {
        if (!before.contains(line) || !after.contains(line))
            changed << line.left(200);
    }
    EXPECT_TRUE(changed.isEmpty()) << changed.join(u'\n').toStdString();
}

// The report's caption is the dialog's own: "Error." whenever something went wrong.
TEST_F(SyncEndToEndTest, CompletionDialogCaptionsItselfByTheOutcome) {
    const QString log = env.WriteFile(u"bin/report.srp"_s, "x");
    for (const bool errors : {false, true}) {
        CSyncCompleteDlg dialog(log, errors);
        EXPECT_EQ(dialog.windowTitle(), errors ? u"Error."_s : u"Synchronization Completed"_s);
        EXPECT_TRUE(dialog.findChild<QWidget*>(u"1115"_s)->isEnabled());
    }
    CSyncCompleteDlg missing(env.Root() + u"/bin/none.srp"_s, true);
    EXPECT_FALSE(missing.findChild<QWidget*>(u"1115"_s)->isEnabled());
}

// Stop pressed while the scan goes on (the handheld keeps reporting a file busy): no report,
// yet the program still stamps "LastSynch" as it exits.
TEST_F(SyncEndToEndTest, StopDuringTheScanStillWritesLastSynch) {
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        GTEST_SKIP() << "Xvfb and xdotool are needed";
    // A copy of its own: the log lands beside the program, and runs side by side must not
    // share one.
    const QString bindcopy = env.MakeDir(u"prog"_s) + u"/bindcopy"_s;
    ASSERT_TRUE(QFile::copy(BinDir() + u"/bindcopy"_s, bindcopy));
    ASSERT_TRUE(QFile::setPermissions(bindcopy, QFile::permissions(BinDir() + u"/bindcopy"_s)));
    CRegistry::Default().SetNumber(HKEY_LOCAL_MACHINE, u"Software\\Veroz\\PsiWin32\\Simulator\\Faults"_s, u"Busy"_s,
                                   100000000u);
    // Esc is the Stop button's key; it is pressed once the window has shown for a while,
    // long after the scan began.
    const QString script =
        uR"(
"$1" & pid=$!
shown=0
for _ in $(seq 1 600); do
  kill -0 $pid 2>/dev/null || break
  xdotool search --onlyvisible --name '.' getwindowname %@ >>"$2" 2>/dev/null
  for w in $(xdotool search --onlyvisible --name '^Dovetail Synchronization$' 2>/dev/null); do
    shown=$((shown + 1))
    [ $shown -gt 10 ] || continue
    xdotool windowfocus --sync $w 2>/dev/null && xdotool key --clearmodifiers Escape 2>/dev/null
  done
  sleep 0.2
done
wait $pid)"_s;
    const int64_t start = QDateTime::currentSecsSinceEpoch();
    const QString log = QFileInfo(bindcopy).path() + u"/Dovetail Synchronization{alice}.srp"_s;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    p.setProcessEnvironment(environment);
    p.start(u"bash"_s, {u"-c"_s, kPrivateDisplay + script, u"run"_s, bindcopy, env.Root() + u"/windows.txt"_s});
    ASSERT_TRUE(p.waitForFinished(120000)) << Read(env.Root() + u"/windows.txt"_s).toStdString();
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();

    const QString windows = QString::fromUtf8(Read(env.Root() + u"/windows.txt"_s));
    EXPECT_TRUE(windows.contains(u"Dovetail Synchronization"_s)) << windows.toStdString();
    EXPECT_FALSE(windows.contains(u"Synchronization Completed"_s)) << windows.toStdString();
    const QStringList lines = LogLines(log);
    // The header, then the Stop's own last line: the scan never ended.
    EXPECT_EQ(lines.size(), 4) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines.value(3), u"Synchronization stopped."_s);
    EXPECT_EQ(Read(pc + u"agenda.txt"_s), QByteArray("old agenda"));
    // Stamped under the handheld's owner, so the run had got as far as her bindings.
    uint32_t lastSynch = 0;
    EXPECT_TRUE(ReadEntryNumber(kUser, u"AutoSynchApps"_s, u"Dovetail"_s, u"LastSynch"_s, lastSynch));
    EXPECT_GE(lastSynch, static_cast<uint32_t>(start));
}

int32_t ConvertProgress(int32_t, int32_t* flag) {
    *flag = 1;
    return 0;
}

// A store prepared by someone else, imported with the registry editor: a binding whose PC
// path is relative, with a conversion, once replaced the suite's control file (a conversion
// works in its folder) with a handheld file declaring a command converter, which the next
// conversion then ran; one climbing out of the PC folder; one with a line break in its name;
// one stamped far in the future. The real program refuses each binding by name, touches
// nothing outside, silences nothing, and the next run is the same.
TEST_F(SyncEndToEndTest, HostileStoreImportedByDtregIsRefusedBindingByBinding) {
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        GTEST_SKIP() << "Xvfb and xdotool are needed";
    QString control;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), u"Control File"_s, control));
    const QByteArray suiteControl = Read(control);
    const QString marker = env.Root() + u"/owned"_s;
    // What the relative binding would have converted into the control file's place.
    const QString planted = env.WriteFile(u"planted.txt"_s,
                                          "[Planted]\nSourceName=Text Document\nTargetName=EPOC "
                                          "Text\nCommand=/usr/bin/touch " +
                                              marker.toUtf8() + " %DST%\n");
    {
        auto converters = CreateAutomationObject(u"VEROZ.CONVERTERINTERFACE"_s);
        ASSERT_TRUE(converters);
        converters->UseControlFile(control);
        converters->Item(0)->Convert(planted, docs + u"Planted"_s, &ConvertProgress);
    }
    SetModified(docs + u"Planted"_s, now - 10);
    const QString sentinel = env.WriteFile(u"sentinel.txt"_s, "sentinel");
    Write(docs + u"Sentinel"_s, "from the handheld", now - 10);
    Write(pc + u"future.txt"_s, "old", now - 5000);
    Write(docs + u"Future"_s, "new", now - 10);

    const QString entries = u"[HKEY_CURRENT_USER\\Software\\Veroz\\Users\\alice\\DocSynchEntries\\"_s;
    const auto binding = [&](int n, const QString& winPath, const QString& winName, const QString& epocName,
                             const QString& epocType, const QString& rest) {
        QString escapedPath = winPath;
        escapedPath.replace(u"\\"_s, u"\\\\"_s);
        return entries + QString::number(n) + u"]\n"_s + winName + u"\n\"EpocFileName\"=\""_s + epocName +
               u"\"\n\"WinPath\"=\""_s + escapedPath +
               u"\"\n\"EpocPath\"=\"C:\\\\Documents\\\\\"\n\"WinFileType\"=\"Text Document\"\n\"EpocFileType\"=\""_s +
               epocType +
               u"\"\n\"LinkStatus\"=dword:00000000\n\"WasUpdated\"=dword:00000001\n\"FileSize\"=dword:00000000\n"
               u"\"IsActive\"=dword:00000001\n\"CopyRule\"=dword:00000000\n\"Prompt24Hrs\"=dword:00000001\n"
               u"\"PromptBothChanged\"=dword:00000001\n\"KeepCopy\"=dword:00000001\n"_s +
               rest + u"\n"_s;
    };
    const QString stamp = u"\"LastSyncTimeStamp\"=dword:%1"_s.arg(now - 100000, 8, 16, QLatin1Char('0'));
    const QString reg =
        u"REGEDIT4\n\n"_s +
        binding(10, QString(), u"\"WinFileName\"=\"Convert.ini\""_s, u"Planted"_s, u"EPOC Text"_s, stamp) +
        binding(11, pc, u"\"WinFileName\"=\"../sentinel.txt\""_s, u"Sentinel"_s, u"Text Document"_s, stamp) +
        binding(12, pc, u"\"WinFileName\"=\"future.txt\""_s, u"Future"_s, u"Text Document"_s,
                u"\"LastSyncTimeStamp\"=dword:f0000000"_s) +
        binding(13, pc, u"\"WinFileName\"=hex(1):61,0a,62,2e,74,78,74,00"_s, u"Other"_s, u"Text Document"_s, stamp);
    const QString regFile = env.WriteFile(u"hostile.reg"_s, reg.toUtf8());
    QString out;
    ASSERT_TRUE(Tool(u"dtreg"_s, {u"import"_s, regFile}, &out)) << out.toStdString();

    const QString bindcopy = env.MakeDir(u"prog"_s) + u"/bindcopy"_s;
    ASSERT_TRUE(QFile::copy(BinDir() + u"/bindcopy"_s, bindcopy));
    ASSERT_TRUE(QFile::setPermissions(bindcopy, QFile::permissions(BinDir() + u"/bindcopy"_s)));
    const QString script =
        uR"(
"$1" & pid=$!
for _ in $(seq 1 600); do
  kill -0 $pid 2>/dev/null || break
  for w in $(xdotool search --onlyvisible --name '^(Synchronization Completed|Error\.|Both files changed since last synchronization)$' 2>/dev/null); do
    xdotool windowfocus --sync $w 2>/dev/null && xdotool key --clearmodifiers Return 2>/dev/null
  done
  sleep 0.2
done
wait $pid)"_s;
    const QString log = QFileInfo(bindcopy).path() + u"/Dovetail Synchronization{alice}.srp"_s;
    const QString refused = u"Binding %1 cannot be read and is left out : %2"_s;
    const QStringList refusals = {
        refused.arg(u"10"_s, u"\"WinPath\" is empty"_s),
        refused.arg(u"11"_s, u"\"WinFileName\" is not a single name: \"../sentinel.txt\""_s),
        refused.arg(u"13"_s, u"\"WinFileName\" holds a control character: \"a\\x0Ab.txt\""_s)};
    for (int runNumber = 1; runNumber <= 2; ++runNumber) {
        SCOPED_TRACE(runNumber);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"QT_QPA_PLATFORM"_s);
        p.setProcessEnvironment(environment);
        p.start(u"bash"_s, {u"-c"_s, kPrivateDisplay + script, u"run"_s, bindcopy});
        ASSERT_TRUE(p.waitForFinished(60000)) << p.readAll().toStdString();

        const QStringList lines = LogLines(log).mid(3);
        for (const QString& line : refusals)
            EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << lines.join(u'\n').toStdString();
        EXPECT_EQ(lines.filter(u"Binding 12 was last synchronized in the future"_s).size(), runNumber == 1 ? 1 : 0);
        EXPECT_EQ(lines.value(lines.size() - 1), u"Synchronization completed with errors."_s);
        const QByteArray bytes = Read(log);
        EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
        EXPECT_EQ(Read(control), suiteControl) << "the suite's control file was replaced";
        EXPECT_FALSE(QFileInfo::exists(marker)) << "a planted converter ran";
        EXPECT_EQ(Read(sentinel), QByteArray("sentinel"));
        EXPECT_FALSE(QFileInfo::exists(pc + u"alice/sentinel.txt"_s));  // its backup, one level up
    }
    // The far stamp silenced nothing: the newer handheld file came over and the binding is
    // stamped as any other.
    EXPECT_EQ(Read(pc + u"future.txt"_s), QByteArray("new"));
    EXPECT_LE(Number(12, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch() + 3));
    EXPECT_EQ(Read(pc + u"letter.txt"_s), QByteArray("Dear Sam,\nthe boat is ready.\n"));
}

}  // namespace
