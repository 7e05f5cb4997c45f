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
#include <mutex>
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
}

constexpr qint64 kBigFile = 256LL * 1024 * 1024;

void BM_EngineCopyFile256MB(benchmark::State& state) {
    BenchWorld& world = BenchWorld::Get();
    const QString source = world.pc + u"/big.bin"_s;
    WriteBigFile(source, kBigFile);
    auto engine = CreateEpocEngine();
    CWaitingSink sink;
    engine->SetEventSink(&sink);
    sink.Wait();
    const FileSpec from = Spec(kLocationPc, source);
    const FileSpec to = Spec(kLocationDevice, u"C:\\Documents\\big.bin"_s);
    for (auto _ : state) {
        engine->CopyFile(from, to, 1);
        if (sink.Wait() != 0)
            state.SkipWithError("copy failed");
    }
    engine->SetEventSink(nullptr);
    state.SetBytesProcessed(state.iterations() * kBigFile);
}
BENCHMARK(BM_EngineCopyFile256MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// cp alone leaves the data in the page cache; the engine's copy is flushed to disk before it
// is renamed into place, so "cp + sync" is the like-for-like figure.
void RunCp(benchmark::State& state, bool flush) {
    BenchWorld& world = BenchWorld::Get();
    const QString source = world.pc + u"/big.bin"_s;
    WriteBigFile(source, kBigFile);
    const QByteArray target = QFile::encodeName(world.device + u"/C/Documents/cp.bin"_s);
    const QByteArray command = "cp '" + QFile::encodeName(source) + "' '" + target + "'" +
                               (flush ? QByteArray(" && sync '") + target + "'" : QByteArray());
    for (auto _ : state) {
        if (std::system(command.constData()) != 0)
            state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(state.iterations() * kBigFile);
}
void BM_Cp256MB(benchmark::State& state) {
    RunCp(state, false);
}
void BM_CpAndSync256MB(benchmark::State& state) {
    RunCp(state, true);
}
BENCHMARK(BM_Cp256MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CpAndSync256MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
