// SPDX-License-Identifier: GPL-3.0-or-later
// Latency of the registry operations and of the binding-store walks over a large store.
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>

namespace {

const QString kUser = QStringLiteral("Bench");
const QString kArea = QString::fromLatin1(kDocSynchArea);

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

// Points the calling thread's registry at a store named after its contents, building the
// store the first time: entries 0..count-1, each holding its "LinkStatus".
void UseStore(const QString& name, int entries) {
    static std::map<QString, bool> built;
    const QString path = Scratch().path() + QLatin1Char('/') + name + QStringLiteral(".db");
    ::setenv("DOVETAIL_REGISTRY", path.toLocal8Bit().constData(), 1);
    if (built[name])
        return;
    CRegistry::Default().Transaction([entries] {
        RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Bench\\Strings"), QStringLiteral("Text"),
                       QStringLiteral("/home/bench/Documents/Quarterly report.txt"));
        for (int n = 0; n < entries; ++n) {
            if (!WriteEntryNumber(kUser, kArea, QString::number(n), QStringLiteral("LinkStatus"), 0))
                return false;
        }
        return true;
    });
    built[name] = true;
}

void BM_RegReadString(benchmark::State& state) {
    UseStore(QStringLiteral("small"), 0);
    QString out;
    for (auto _ : state) {
        if (!RegReadString(HKEY_CURRENT_USER, QStringLiteral("Bench\\Strings"), QStringLiteral("Text"), out))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_RegReadString)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_RegWriteNumber(benchmark::State& state) {
    UseStore(QStringLiteral("small"), 0);
    uint32_t n = 0;
    for (auto _ : state) {
        if (!RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Bench\\Numbers"), QStringLiteral("Counter"), ++n))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_RegWriteNumber)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

// Visits every binding by position, as the programs list them.
void BM_GetEntryNumberAtWalk(benchmark::State& state) {
    const int entries = int(state.range(0));
    UseStore(QStringLiteral("walk%1").arg(entries), entries);
    for (auto _ : state) {
        int visited = 0;
        int entry = 0;
        while (visited <= kMaxEntryNumber && GetEntryNumberAt(kUser, visited, entry))
            ++visited;
        if (visited != entries)
            state.SkipWithError("walk missed entries");
    }
}
BENCHMARK(BM_GetEntryNumberAtWalk)->Arg(10000)->Arg(32768)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_FindFreeEntryNumberFullStore(benchmark::State& state) {
    UseStore(QStringLiteral("walk32768"), kMaxEntryNumber + 1);
    for (auto _ : state) {
        if (FindFreeEntryNumber(kUser) != -1)
            state.SkipWithError("store not full");
    }
}
BENCHMARK(BM_FindFreeEntryNumberFullStore)->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
