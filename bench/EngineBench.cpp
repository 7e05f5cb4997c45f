// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated engine's copy throughput against cp, and its per-operation overhead.
#include "platform/engine/EpocEngine.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the completion events the benchmarks need.
class CWaitingSink : public IEpocEngineEvents {
public:
    int32_t OnInitialized(int32_t) override { return Signal(); }
    int32_t OnConnected(int32_t) override { return Signal(); }
    int32_t OnDisconnected(int32_t) override { return 0; }
    int32_t OnRemoteFileOpened(int32_t r) override { return Signal(r); }
    int32_t OnCopyDone(int32_t r) override { return Signal(r); }
    int32_t OnRemoteFileClosed(int32_t r) override { return Signal(r); }
    int32_t OnStatus(int32_t, int32_t, int32_t) override { return Signal(); }
    int32_t OnMachineReady(int32_t) override { return Signal(); }
    int32_t OnSessionReady(int32_t) override { return Signal(); }
    int32_t OnRemoteFileBusy(int32_t) override { return Signal(-1); }
    int32_t OnCopiesDurable(int32_t r) override { return Signal(r); }

    // The result of the next event.
    int32_t Wait() {
        std::unique_lock lock(m_mutex);
        m_arrived.wait(lock, [this] { return m_pending > 0; });
        --m_pending;
        return m_last;
    }

private:
    int32_t Signal(int32_t result = 0) {
        {
            std::lock_guard lock(m_mutex);
            m_last = result;
            ++m_pending;
        }
        m_arrived.notify_one();
        return 0;
    }
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    int m_pending = 0;
    int32_t m_last = 0;
};

// A private registry and device folder for the whole run.
struct BenchWorld {
    QTemporaryDir dir{QDir::currentPath() + u"/enginebench-XXXXXX"_s};
    QString device;
    QString pc;

    BenchWorld() {
        ::setenv("DOVETAIL_REGISTRY", QFile::encodeName(dir.path() + u"/registry.db"_s).constData(), 1);
        device = dir.path() + u"/device"_s;
        pc = dir.path() + u"/pc"_s;
        QDir().mkpath(device + u"/C/Documents"_s);
        QDir().mkpath(pc);
        CRegistry& reg = CRegistry::Default();
        reg.SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), device);
        reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), 1);
    }
    static BenchWorld& Get() {
        static BenchWorld world;
        return world;
    }
};

FileSpec Spec(uint16_t location, const QString& path) {
    FileSpec spec;
    MakeFileSpec(location, path.toUtf8().constData(), spec);
    return spec;
}

void WriteBigFile(const QString& path, qint64 size) {
    QFile f(path);
    if (f.exists() && f.size() == size)
        return;
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray chunk(1 << 20, '\0');
    for (qsizetype i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 31 + i / 977);
    for (qint64 written = 0; written < size; written += chunk.size())
        f.write(chunk);
    // On disk before any measurement, so its write-back does not compete with the copies.
    f.flush();
    ::fsync(f.handle());
}

constexpr qint64 kBigFile = 256LL * 1024 * 1024;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double MillisecondsOf(const std::function<bool()>& run, bool& ok) {
    const auto start = Clock::now();
    ok = run() && ok;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Alternates the engine's copy with cp and with "cp + sync" of the same 256 MB file, so that
// changing load on the machine hits all three alike. cp alone leaves the data in the page
// cache; the engine's copy is flushed to disk before it is renamed into place, so "cp + sync"
// is the like-for-like figure.
void BM_CopyFile256MB(benchmark::State& state) {
    BenchWorld& world = BenchWorld::Get();
    const QString source = world.pc + u"/big.bin"_s;
    WriteBigFile(source, kBigFile);
    auto engine = CreateEpocEngine();
    CWaitingSink sink;
    engine->SetEventSink(&sink);
    sink.Wait();
    const FileSpec from = Spec(kLocationPc, source);
    const FileSpec to = Spec(kLocationDevice, u"C:\\Documents\\big.bin"_s);
    const QByteArray target = QFile::encodeName(world.device + u"/C/Documents/cp.bin"_s);
    const QByteArray cp = "cp '" + QFile::encodeName(source) + "' '" + target + "'";
    const QByteArray cpSync = cp + " && sync '" + target + "'";
    std::vector<double> engineTimes, cpTimes, cpSyncTimes;
    bool ok = true;
    for (auto _ : state) {
        for (int round = 0; round < int(state.range(0)); ++round) {
            engineTimes.push_back(MillisecondsOf(
                [&] {
                    engine->CopyFile(from, to, 1);
                    return sink.Wait() == 0;
                },
                ok));
            cpTimes.push_back(MillisecondsOf([&] { return std::system(cp.constData()) == 0; }, ok));
            cpSyncTimes.push_back(MillisecondsOf([&] { return std::system(cpSync.constData()) == 0; }, ok));
        }
    }
    engine->SetEventSink(nullptr);
    if (!ok)
        state.SkipWithError("a copy failed");
    state.counters["engine_ms"] = Median(engineTimes);
    state.counters["cp_ms"] = Median(cpTimes);
    state.counters["cp_sync_ms"] = Median(cpSyncTimes);
    state.counters["ratio_cp"] = Median(engineTimes) / Median(cpTimes);
    state.counters["ratio_cp_sync"] = Median(engineTimes) / Median(cpSyncTimes);
}
BENCHMARK(BM_CopyFile256MB)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// One open / information / close cycle on the handheld, as a synchronizer scan does it.
void BM_EngineOpenInfoClose(benchmark::State& state) {
    BenchWorld& world = BenchWorld::Get();
    QFile f(world.device + u"/C/Documents/Report"_s);
    f.open(QIODevice::WriteOnly);
    f.write("report");
    f.close();
    auto engine = CreateEpocEngine();
    CWaitingSink sink;
    engine->SetEventSink(&sink);
    sink.Wait();
    const FileSpec spec = Spec(kLocationDevice, u"C:\\Documents\\Report"_s);
    std::vector<double> cycles;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::unique_ptr<IEpocRemoteFile> file;
        engine->OpenRemoteFile(spec, file);
        if (sink.Wait() != 0)
            state.SkipWithError("open failed");
        RemoteFileInfo info;
        file->GetFileInfo(info);
        file.reset();
        engine->CloseRemoteFile(spec, info.Attributes());
        if (sink.Wait() != 0)
            state.SkipWithError("close failed");
        cycles.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    engine->SetEventSink(nullptr);
    std::sort(cycles.begin(), cycles.end());
    if (!cycles.empty())
        state.counters["median_us"] = cycles[cycles.size() / 2];
}
BENCHMARK(BM_EngineOpenInfoClose)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
