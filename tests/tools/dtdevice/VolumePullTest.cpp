// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "platform/base/UniqueFd.h"
#include "platform/registry/StoreFile.h"
#include "tests/support/LoopVolume.h"
#include "tests/support/TempEnv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <ostream>
#include <sys/stat.h>
#include <vector>

// A stick pulled while bindcopy runs: copies of an ext4 image taken while it is mounted hold
// what the loop device has been given so far, which is what a stick pulled at that moment
// would keep. The journal commits only every 30 s, as a desktop mounts a stick, so whatever
// the run itself does not make durable is missing from the copies.

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kUser = u"alice"_s;
const QStringList kLastLines = {u"Synchronization complete."_s, u"Synchronization completed with errors."_s,
                                u"Synchronization stopped."_s};

bool Tool(const QString& program, const QStringList& args, QString* output = nullptr) {
    return RunBuiltTool(program, args, output);
}

QByteArray Read(const QString& path) {
    return ReadWholeFile(path);
}

bool Exists(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

void Write(const QString& path, const QByteArray& content, time_t modified) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(content), content.size());
    f.close();
    const struct timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Lines that name the document, its edition and their place, so that a copy holding parts of
// two editions (or of two documents) never equals either.
QByteArray Content(const QString& name, const char* edition, int size) {
    QByteArray content;
    content.reserve(size + 64);
    for (int line = 0; content.size() < size; ++line)
        content += name.toUtf8() + ' ' + edition + " line " + QByteArray::number(line) + '\n';
    content.truncate(size);
    return content;
}

// One bound document: on the stick as name, on the PC as name.txt.
struct Document {
    QString name;
    bool onStick = false;  // an old edition is there before the run, and is replaced
    QByteArray old;
    QByteArray fresh;
};

// layout: one letter per binding, R for a document the run replaces on the stick, N for a
// new one. Sizes vary so that the copies take different numbers of steps.
std::vector<Document> Documents(const QString& layout, int lastSize = 0) {
    std::vector<Document> documents;
    for (int i = 0; i < layout.size(); ++i) {
        Document d;
        d.name = u"Doc%1"_s.arg(i, 2, 10, QChar(u'0'));
        d.onStick = layout[i] == u'R';
        const int size = (i == layout.size() - 1 && lastSize > 0) ? lastSize : 1000 + (i * 37813) % 200000;
        if (d.onStick)
            d.old = Content(d.name, "old", size / 2 + 100);
        d.fresh = Content(d.name, "new", size);
        documents.push_back(d);
    }
    return documents;
}

// What a copy of the image holds in place of a document.
enum class Found { New, Old, Missing, Other };

const char* Describe(Found f) {
    switch (f) {
        case Found::New:
            return "the new edition";
        case Found::Old:
            return "the old edition";
        case Found::Missing:
            return "nothing";
        case Found::Other:
            break;
    }
    return "neither edition";
}

void PrintTo(Found f, std::ostream* out) {
    *out << Describe(f);
}

// A byte copy of the image as the loop device has been given it so far; holes stay holes, so
// the copies of a mostly empty image stay small.
bool CopyImage(const QString& from, const QString& to) {
    const CUniqueFd in(::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC));
    const CUniqueFd out(::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!in.IsValid() || !out.IsValid())
        return false;
    std::vector<char> block(1 << 20);
    off_t size = 0;
    for (;;) {
        const ssize_t got = ::pread(in.Get(), block.data(), block.size(), size);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        const bool zero = std::all_of(block.begin(), block.begin() + got, [](char c) { return c == 0; });
        if (!zero && ::pwrite(out.Get(), block.data(), size_t(got), size) != got)
            return false;
        size += got;
    }
    return ::ftruncate(out.Get(), size) == 0;
}

// True once every thread of the process has stopped. A thread inside a system call (a flush)
// stops only when the call returns; the image is not copied before.
bool AllThreadsStopped(qint64 pid) {
    const QString tasks = u"/proc/%1/task"_s.arg(pid);
    const QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty())
        return false;
    for (const QString& thread : threads) {
        const QByteArray stat = Read(tasks + u'/' + thread + u"/stat"_s);
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || close + 2 >= stat.size())
            continue;  // gone meanwhile
        const char state = stat[close + 2];
        if (state != 'T' && state != 't')
            return false;
    }
    return true;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = 5ms) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        QThread::msleep(step.count());
    }
    return true;
}

class VolumePullTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_env.SetEnv("QT_QPA_PLATFORM", u"offscreen"_s);
        m_pc = m_env.MakeDir(u"pc"_s) + u'/';
        QString out;
        ASSERT_TRUE(Tool(u"epocsim"_s, {u"install"_s, u"--dir"_s, m_env.MakeDir(u"suite"_s)}, &out))
            << out.toStdString();
        ASSERT_TRUE(Tool(u"epocsim"_s, {u"user"_s, u"add"_s, kUser, u"--pc-dir"_s, m_pc, u"--current"_s}, &out))
            << out.toStdString();

        m_stick = std::make_unique<CLoopVolume>(m_env.Root(), CLoopVolume::Kind::Ext4, u"PULL"_s, 32);
        ASSERT_TRUE(m_stick->Problem().isEmpty()) << m_stick->Problem().toStdString();
        m_stick->SetMountOptions(u"commit=30"_s);
        if (!m_stick->Mount(m_env.Root() + u"/media/stick"_s))
            GTEST_SKIP() << "cannot mount an ext4 volume here: " << m_stick->Problem().toStdString();
        QProcess findmnt;
        findmnt.start(u"findmnt"_s, {u"-no"_s, u"OPTIONS"_s, m_stick->MountPoint()});
        ASSERT_TRUE(findmnt.waitForFinished(10000));
        ASSERT_TRUE(findmnt.readAll().contains("commit=30")) << "the journal would commit more often than a stick's";
        QDir().mkpath(m_stick->MountPoint() + u"/Dovetail"_s);
        ASSERT_TRUE(
            Tool(u"dtdevice"_s, {u"adopt"_s, m_stick->MountPoint() + u"/Dovetail"_s, u"--owner"_s, kUser}, &out))
            << out.toStdString();

        // bindcopy writes its log beside itself: a copy of its own keeps this test's log apart.
        const QString bin = m_env.MakeDir(u"bin"_s);
        m_bindcopy = bin + u"/bindcopy"_s;
        ASSERT_TRUE(QFile::copy(BinDir() + u"/bindcopy"_s, m_bindcopy));
        m_log = bin + u"/Dovetail Synchronization{alice}.srp"_s;
        m_copies = m_env.MakeDir(u"copies"_s);
    }

    void TearDown() override {
        if (m_run.state() != QProcess::NotRunning) {
            m_run.kill();
            m_run.waitForFinished(10000);
        }
        m_stick.reset();
        SetStoreBusyWait(10000);
    }

    // The world before the run: the PC editions newer than the stick's, one binding each, and
    // the stick's old editions on its disk, as they would be on a stick plugged in.
    void Place(const std::vector<Document>& documents) {
        const time_t now = time_t(QDateTime::currentSecsSinceEpoch());
        for (std::size_t i = 0; i < documents.size(); ++i) {
            const Document& d = documents[i];
            Write(m_pc + d.name.toLower() + u".txt"_s, d.fresh, now - 100);
            if (d.onStick)
                Write(Docs(m_stick->MountPoint()) + d.name, d.old, now - 5000);
            CDocSynchEntry b;
            b.WinPath = m_pc;
            b.WinFileName = d.name.toLower() + u".txt"_s;
            b.EpocPath = u"C:\\Documents\\"_s;
            b.EpocFileName = d.name;
            b.WinFileType = u"Text Document"_s;
            b.EpocFileType = u"Text Document"_s;
            b.CopyRule = kCopyNewest;
            b.PromptBothChanged = false;
            b.Prompt24Hrs = false;
            ASSERT_TRUE(WriteDocSynchEntry(kUser, int(i), b));
        }
        const CUniqueFd volume(::open(QFile::encodeName(m_stick->MountPoint()).constData(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(volume.IsValid() && ::syncfs(volume.Get()) == 0);
        m_runStart = uint32_t(QDateTime::currentSecsSinceEpoch());
    }

    void StartRun() {
        m_run.setStandardOutputFile(m_env.Root() + u"/bindcopy.out"_s);
        m_run.setStandardErrorFile(m_env.Root() + u"/bindcopy.out"_s, QIODevice::Append);
        m_run.start(m_bindcopy, {});
        ASSERT_TRUE(m_run.waitForStarted(10000));
    }

    void Stop() {
        ASSERT_EQ(::kill(pid_t(m_run.processId()), SIGSTOP), 0);
        ASSERT_TRUE(WaitFor([&] { return AllThreadsStopped(m_run.processId()); }, 10s)) << "bindcopy did not stop";
    }
    void Continue() { ASSERT_EQ(::kill(pid_t(m_run.processId()), SIGCONT), 0); }
    void EndRun() {
        m_run.kill();
        ASSERT_TRUE(m_run.waitForFinished(10000));
    }

    QStringList LogLines() const {
        QStringList lines = QString::fromLocal8Bit(Read(m_log)).split(u"\r\n"_s);
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    bool LastLineWritten() const { return !LogLines().isEmpty() && kLastLines.contains(LogLines().last()); }
    std::string Said() const {
        return (LogLines().join(u'\n') + u"\n--- bindcopy said:\n"_s +
                QString::fromLocal8Bit(Read(m_env.Root() + u"/bindcopy.out"_s)))
            .toStdString();
    }

    // Which bindings the store holds marked by this run; false where a binding could not be
    // read (the store busy), which *read tells.
    std::vector<bool> ReadMarks(std::size_t count, bool* read = nullptr) const {
        std::vector<bool> marked(count, false);
        if (read)
            *read = true;
        for (std::size_t i = 0; i < count; ++i) {
            CEntryValues values;
            if (!ReadEntryValues(kUser, QLatin1String(kDocSynchArea), QString::number(i), values)) {
                if (read)
                    *read = false;
                continue;
            }
            uint32_t updated = 0;
            uint32_t stamp = 0;
            marked[i] = values.Number(u"WasUpdated"_s, updated) && updated == 1 &&
                        values.Number(u"LastSyncTimeStamp"_s, stamp) && stamp >= m_runStart;
        }
        return marked;
    }
    // The same, read while bindcopy is stopped: should it hold the store locked, it goes on for
    // a moment and the store is read again.
    std::vector<bool> MarksWhileStopped(std::size_t count) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            bool read = false;
            const std::vector<bool> marked = ReadMarks(count, &read);
            if (read)
                return marked;
            Continue();
            QThread::msleep(20);
            Stop();
        }
        ADD_FAILURE() << "the store stayed busy while bindcopy was stopped";
        return std::vector<bool>(count, false);
    }

    // Copies the image while it is mounted; the path of the copy.
    QString Snapshot() {
        const QString copy = m_copies + u"/copy%1.img"_s.arg(m_snapshots++);
        EXPECT_TRUE(CopyImage(m_stick->Image(), copy)) << copy.toStdString();
        return copy;
    }

    // What each document is on a copy, plugged in as a user would plug the stick: mounted
    // read-write, so that its journal is replayed. Empty when it cannot be mounted.
    std::vector<Found> Inspect(const QString& image, const std::vector<Document>& documents) {
        const std::unique_ptr<CLoopVolume> copy = CLoopVolume::OfImage(image, CLoopVolume::Kind::Ext4);
        if (!copy->Mount(m_env.Root() + u"/media/"_s + QFileInfo(image).baseName())) {
            ADD_FAILURE() << "the copy " << image.toStdString()
                          << " cannot be mounted: " << copy->Problem().toStdString();
            return {};
        }
        std::vector<Found> found;
        for (const Document& d : documents) {
            const QString path = Docs(copy->MountPoint()) + d.name;
            if (!Exists(path)) {
                found.push_back(Found::Missing);
                continue;
            }
            const QByteArray content = Read(path);
            found.push_back(content == d.fresh              ? Found::New
                            : d.onStick && content == d.old ? Found::Old
                                                            : Found::Other);
        }
        return found;
    }

    static QString Docs(const QString& mountPoint) { return mountPoint + u"/Dovetail/C/Documents/"_s; }

    CTempEnv m_env;
    std::unique_ptr<CLoopVolume> m_stick;  // goes before the environment's folder
    QProcess m_run;
    QString m_pc;
    QString m_bindcopy;
    QString m_log;
    QString m_copies;
    int m_snapshots = 0;
    uint32_t m_runStart = 0;
};

struct PullAtReportRow {
    const char* name;
    const char* layout;
    int lastSize;
};

void PrintTo(const PullAtReportRow& row, std::ostream* out) {
    *out << row.name;
}

class PullAtReportTest : public VolumePullTest, public ::testing::WithParamInterface<PullAtReportRow> {};

// Pulled the moment the report shows: the run said it is done, so every document is new.
TEST_P(PullAtReportTest, EveryDocumentIsNewOnTheStick) {
    const std::vector<Document> documents = Documents(QString::fromLatin1(GetParam().layout), GetParam().lastSize);
    Place(documents);
    StartRun();
    // The report shows right after the log's last line.
    const bool ended = WaitFor([&] { return LastLineWritten() || m_run.state() == QProcess::NotRunning; }, 60s, 2ms);
    ASSERT_NE(m_run.state(), QProcess::NotRunning) << "bindcopy ended before its report: " << Said();
    Stop();
    const QString copy = Snapshot();
    EndRun();
    ASSERT_TRUE(ended) << "bindcopy did not end its log in time: " << Said();
    ASSERT_EQ(LogLines().last(), u"Synchronization complete."_s) << Said();

    const std::vector<Found> found = Inspect(copy, documents);
    ASSERT_EQ(found.size(), documents.size());
    for (std::size_t i = 0; i < documents.size(); ++i)
        EXPECT_EQ(found[i], Found::New) << documents[i].name.toStdString() << " holds " << Describe(found[i]);
}

const PullAtReportRow kPullAtReportRows[] = {
    {"NewAndReplacedEndingWithAReplacedOne", "NRNRR", 0},
    {"OnlyReplacedOnes", "RRRR", 0},
    {"ALargeReplacedOneLast", "NRNR", 5 << 20},
};

INSTANTIATE_TEST_SUITE_P(Layouts, PullAtReportTest, ::testing::ValuesIn(kPullAtReportRows),
                         [](const ::testing::TestParamInfo<PullAtReportRow>& row) { return row.param.name; });

// Pulled at random moments of a long run: a binding the store holds marked has its new edition
// on the stick, and every document is whole, old or new, never lost.
TEST_F(VolumePullTest, AtAnyMomentMarkedBindingsHoldTheirNewEdition) {
    QString layout;
    for (int i = 0; i < 40; ++i)
        layout += i % 3 == 1 ? u'N' : u'R';
    const std::vector<Document> documents = Documents(layout);
    Place(documents);
    // Slowed down so that the run lasts some seconds and marks its bindings in several groups.
    m_env.SetEnv("DOVETAIL_TEST_COPY_PAUSE_MS", u"60"_s);
    SetStoreBusyWait(100);
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);

    struct Moment {
        QString image;
        std::vector<bool> marked;
    };
    std::vector<Moment> moments;
    const auto ended = [&] { return m_run.state() == QProcess::NotRunning || LastLineWritten(); };
    // Random moments, and the moments just after the store took new marks: a mark made before
    // its copy was durable shows there, until the next copy's flush hides it.
    const auto drawMoment = [&] { return std::chrono::steady_clock::now() + 200ms + random.bounded(1000) * 1ms; };
    auto nextMoment = drawMoment();
    std::ptrdiff_t marksSeen = 0;
    StartRun();
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!ended() && moments.size() < 16 && std::chrono::steady_clock::now() < until) {
        const std::vector<bool> seen = ReadMarks(documents.size());
        const std::ptrdiff_t marks = std::count(seen.begin(), seen.end(), true);
        if (marks == marksSeen && std::chrono::steady_clock::now() < nextMoment) {
            QThread::msleep(2);
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(Stop());
        Moment moment;
        moment.marked = MarksWhileStopped(documents.size());  // first the store, then the stick
        moment.image = Snapshot();
        marksSeen = std::count(moment.marked.begin(), moment.marked.end(), true);
        moments.push_back(moment);
        nextMoment = drawMoment();
        Continue();
    }
    ASSERT_TRUE(
        WaitFor(ended, std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())))
        << "bindcopy did not end its log in time: " << Said();
    EndRun();
    ASSERT_EQ(LogLines().value(LogLines().size() - 1), u"Synchronization complete."_s) << Said();
    const std::vector<bool> marked = ReadMarks(documents.size());
    EXPECT_EQ(std::count(marked.begin(), marked.end(), true), std::ptrdiff_t(documents.size()));
    // The moments are worth something only when some fell amid the marks.
    ASSERT_GE(moments.size(), 3u) << "the run was too short to be pulled amid it: " << Said();
    EXPECT_TRUE(std::any_of(moments.begin(), moments.end(), [](const Moment& m) {
        return std::count(m.marked.begin(), m.marked.end(), true) > 0 &&
               std::count(m.marked.begin(), m.marked.end(), false) > 0;
    })) << "no copy was taken between the first and the last mark";

    for (std::size_t m = 0; m < moments.size(); ++m) {
        SCOPED_TRACE(::testing::Message() << "copy " << m);
        const std::vector<Found> found = Inspect(moments[m].image, documents);
        ASSERT_EQ(found.size(), documents.size());
        for (std::size_t i = 0; i < documents.size(); ++i) {
            const std::string name = documents[i].name.toStdString();
            if (moments[m].marked[i]) {
                EXPECT_EQ(found[i], Found::New) << name << " is marked but holds " << Describe(found[i]);
            }
            EXPECT_NE(found[i], Found::Other) << name << " holds " << Describe(found[i]);
            if (documents[i].onStick) {
                EXPECT_NE(found[i], Found::Missing) << name << " existed before the run and is gone";
            }
        }
    }
}

}  // namespace
