// SPDX-License-Identifier: GPL-3.0-or-later
// Worker processes for the soak suite: one side of the registry hammering, or a single
// engine copy that the suite kills or starves of disk space.
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "platform/engine/EpocEngine.h"
#include "platform/registry/Registry.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QString kUser = u"soak"_s;

CDocSynchEntry MakeRecord(std::mt19937& rng, int serial) {
    CDocSynchEntry r = CDocSynchEntry::NewForManager(CRuleSet{}, u"(unknown)"_s);
    r.WinFileName = u"doc%1.txt"_s.arg(serial);
    r.EpocFileName = u"Doc%1"_s.arg(serial);
    r.WinPath = u"/home/soak/Documents/"_s;
    r.EpocPath = u"C:\\Documents\\"_s;
    r.WinFileType = u"Text"_s;
    r.EpocFileType = u"Word"_s;
    r.LinkStatus = 1;
    r.FileSize = int32_t(rng() % 100000);
    r.CopyRule = int32_t(rng() % 3);
    r.KeepCopy = rng() % 2;
    r.Prompt24Hrs = rng() % 2;
    r.PromptBothChanged = rng() % 2;
    r.IsActive = rng() % 2;
    return r;
}

// The fields only the manager writes; the synchronizer's marks may change the others.
bool SameManagerFields(const CDocSynchEntry& a, const CDocSynchEntry& b) {
    return a.WinFileName == b.WinFileName && a.EpocFileName == b.EpocFileName && a.WinPath == b.WinPath &&
           a.EpocPath == b.EpocPath && a.WinFileType == b.WinFileType && a.EpocFileType == b.EpocFileType &&
           a.LinkStatus == b.LinkStatus && a.FileSize == b.FileSize && a.IsActive == b.IsActive &&
           a.CopyRule == b.CopyRule && a.KeepCopy == b.KeepCopy && a.Prompt24Hrs == b.Prompt24Hrs &&
           a.PromptBothChanged == b.PromptBothChanged;
}

int EntryCount() {
    return CountUserSubkeys(kUser, QString::fromLatin1(kDocSynchArea));
}

// Adds bindings, toggles them and rewrites them whole, checking each change reads back.
int HammerManager(int ops, unsigned seed) {
    std::mt19937 rng(seed);
    int failures = 0;
    std::vector<int> mine;
    for (int i = 0; i < ops; ++i) {
        const unsigned pick = mine.empty() ? 0 : rng() % 3;
        CDocSynchEntry expected;
        int entry = -1;
        if (pick == 0) {
            entry = FindFreeEntryNumber(kUser);
            if (entry < 0) {
                std::fprintf(stderr, "op %d: no free entry\n", i);
                ++failures;
                continue;
            }
            expected = MakeRecord(rng, i);
            WriteDocSynchEntry(kUser, entry, expected);
            mine.push_back(entry);
        } else {
            entry = mine[rng() % mine.size()];
            if (!ReadDocSynchEntry(kUser, entry, expected, ReadMode::Strict)) {
                std::fprintf(stderr, "op %d: entry %d does not read\n", i, entry);
                ++failures;
                continue;
            }
            if (pick == 1) {
                expected.IsActive = !expected.IsActive;
                SetEntryActive(kUser, entry, expected.IsActive);
            } else {
                // Properties: the dialog edits the record read a moment ago and writes it whole.
                const CDocSynchEntry read = expected;
                expected = MakeRecord(rng, i);
                expected.WasUpdated = read.WasUpdated;
                expected.LastSyncTimeStamp = read.LastSyncTimeStamp;
                WriteDocSynchEntry(kUser, entry, expected);
            }
        }
        CDocSynchEntry back;
        if (!ReadDocSynchEntry(kUser, entry, back, ReadMode::Strict) || !SameManagerFields(back, expected)) {
            std::fprintf(stderr, "op %d (kind %u): entry %d did not keep what was written: %s\n", i, pick, entry,
                         qPrintable(CRegistry::Default().LastError()));
            ++failures;
        }
    }
    std::printf("manager: %d operations, %d failed\n", ops, failures);
    return failures == 0 ? 0 : 1;
}

// Reads bindings strictly and marks them synchronized, as a run does after each copy.
int HammerSync(int ops, unsigned seed) {
    std::mt19937 rng(seed);
    int failures = 0;
    int overwritten = 0;
    int done = 0;
    while (done < ops) {
        const int count = EntryCount();
        if (count == 0)
            continue;  // the manager has not added its first binding yet
        ++done;
        int entry = 0;
        QString key;
        if (!GetEntryNumberAt(kUser, int(rng() % unsigned(count)), entry, &key)) {
            std::fprintf(stderr, "op %d: enumeration failed\n", done);
            ++failures;
            continue;
        }
        CDocSynchEntry record;
        if (!ReadDocSynchEntryKey(kUser, key, record, ReadMode::Strict)) {
            std::fprintf(stderr, "op %d: entry %s does not read strictly\n", done, qPrintable(key));
            ++failures;
            continue;
        }
        MarkSynchronizedKey(kUser, key);
        CDocSynchEntry back;
        if (!ReadDocSynchEntryKey(kUser, key, back, ReadMode::Strict)) {
            std::fprintf(stderr, "op %d: entry %s does not read after its mark\n", done, qPrintable(key));
            ++failures;
        } else if (!back.WasUpdated) {
            // A Properties rewrite that read the record before the mark writes it back without
            // it: a superseded write, not a failed one; counted for the report.
            ++overwritten;
        }
    }
    std::printf("sync: %d operations, %d failed, %d marks superseded by a whole rewrite\n", ops, failures, overwritten);
    return failures == 0 ? 0 : 1;
}

// Every binding of the user reads strictly (scripts check the store after a killed run).
int CheckBindings(const QString& user) {
    const int count = CountUserSubkeys(user, QString::fromLatin1(kDocSynchArea));
    int bad = 0;
    for (int i = 0; i < count; ++i) {
        int entry = 0;
        QString key;
        CDocSynchEntry record;
        if (!GetEntryNumberAt(user, i, entry, &key) || !ReadDocSynchEntryKey(user, key, record, ReadMode::Strict)) {
            std::printf("binding %s does not read\n", qPrintable(key));
            ++bad;
        }
    }
    std::printf("%d bindings, %d unreadable\n", count, bad);
    return bad == 0 ? 0 : 1;
}

class CCopySink : public IEpocEngineEvents {
public:
    int32_t OnInitialized(int32_t r) override { return Set(r); }
    int32_t OnConnected(int32_t) override { return 0; }
    int32_t OnDisconnected(int32_t) override { return 0; }
    int32_t OnRemoteFileOpened(int32_t) override { return 0; }
    int32_t OnCopyDone(int32_t r) override { return Set(r); }
    int32_t OnRemoteFileClosed(int32_t) override { return 0; }
    int32_t OnStatus(int32_t, int32_t, int32_t) override { return 0; }
    int32_t OnMachineReady(int32_t) override { return 0; }
    int32_t OnSessionReady(int32_t) override { return 0; }
    int32_t OnRemoteFileBusy(int32_t) override { return 0; }
    int32_t OnCopiesDurable(int32_t) override { return 0; }

    std::optional<int32_t> Wait() {
        std::unique_lock lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::minutes(5), [this] { return m_result.has_value(); }))
            return std::nullopt;
        const auto r = m_result;
        m_result.reset();
        return r;
    }

private:
    int32_t Set(int32_t r) {
        std::lock_guard lock(m_mutex);
        m_result = r;
        m_done.notify_all();
        return 0;
    }
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::optional<int32_t> m_result;
};

uint16_t Location(const QString& side) {
    return side == u"dev"_s ? kLocationDevice : kLocationPc;
}

// One copy through the engine; prints "copy: <result>" and exits 0 only on success.
int EngineCopy(const QStringList& args) {
    FileSpec source, destination;
    if (!MakeFileSpec(Location(args[0]), args[1].toUtf8().constData(), source) ||
        !MakeFileSpec(Location(args[2]), args[3].toUtf8().constData(), destination)) {
        std::printf("copy: name does not fit\n");
        return 1;
    }
    CCopySink sink;
    auto engine = CreateEpocEngine();
    if (!engine)
        return 1;
    engine->SetEventSink(&sink);
    if (sink.Wait().value_or(-1) != 0)
        return 1;
    engine->CopyFile(source, destination, 1);
    const auto result = sink.Wait();
    engine->SetEventSink(nullptr);
    std::printf("copy: %d\n", result.value_or(-999));
    std::fflush(stdout);
    return result && *result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    // --fsize N: files may not grow past N bytes (write fails with EFBIG, as on a full disk).
    if (args.size() >= 2 && args[0] == u"--fsize"_s) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = args[1].toULongLong();
        const struct rlimit rl { limit, limit };
        setrlimit(RLIMIT_FSIZE, &rl);
        args = args.mid(2);
    }
    if (args.size() == 3 && args[0] == u"hammer-manager"_s)
        return HammerManager(args[1].toInt(), args[2].toUInt());
    if (args.size() == 3 && args[0] == u"hammer-sync"_s)
        return HammerSync(args[1].toInt(), args[2].toUInt());
    if (args.size() == 2 && args[0] == u"check-bindings"_s)
        return CheckBindings(args[1]);
    if (args.size() == 5 && args[0] == u"copy"_s)
        return EngineCopy(args.mid(1));
    std::fprintf(stderr,
                 "usage: soakworker hammer-manager|hammer-sync OPS SEED\n"
                 "       soakworker check-bindings USER\n"
                 "       soakworker [--fsize N] copy pc|dev SOURCE pc|dev DESTINATION\n");
    return 2;
}
