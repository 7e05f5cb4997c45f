// SPDX-License-Identifier: GPL-3.0-or-later
// The manager over a large binding store: start-up to a painted list, one repaint, one add.
#include "common/DocSynchEntry.h"
#include "common/ProfileRegistry.h"
#include "manager/BindingListModel.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "platform/registry/Registry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {
const QString kUser = QStringLiteral("Bench");
// DOVETAIL_BENCH_BINDINGS overrides the count for quick looks.
const int kBindings = ::getenv("DOVETAIL_BENCH_BINDINGS") ? std::atoi(::getenv("DOVETAIL_BENCH_BINDINGS")) : 10000;

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

// A store with kBindings bindings over a hundred PC files of a few types, built once.
void UseLargeStore() {
    static bool built = false;
    const QString root = Scratch().path();
    ::setenv("DOVETAIL_REGISTRY", (root + QStringLiteral("/registry.db")).toLocal8Bit().constData(), 1);
    ::setenv("HOME", root.toLocal8Bit().constData(), 1);
    if (built)
        return;
    built = true;
    InstallManagerStrings();
    const QString pc = root + QStringLiteral("/pc/");
    QDir().mkpath(pc);
    const char* suffixes[] = {"txt", "doc", "xls", "png"};
    for (int n = 0; n < 100; ++n) {
        QFile file(pc + QStringLiteral("file%1.%2").arg(n).arg(QString::fromLatin1(suffixes[n % 4])));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(100 + n, 'x'));
    }
    RegWriteString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), QStringLiteral("Installation Directory"), root);
    RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), QString(), kUser);
    CRegistry::Default().Transaction([&] {
        for (int n = 0; n < kBindings; ++n) {
            CDocSynchEntry record;
            record.WinFileName = QStringLiteral("file%1.%2").arg(n % 100).arg(QString::fromLatin1(suffixes[n % 4]));
            record.WinPath = pc;
            record.WinFileType = QStringLiteral("Text");
            record.EpocFileName = QStringLiteral("Document %1").arg(n);
            record.EpocPath = QStringLiteral("C:\\Documents\\");
            record.EpocFileType = QStringLiteral("Word");
            record.WasUpdated = n % 2;
            record.LastSyncTimeStamp = 1700000000 + n;
            WriteDocSynchEntry(kUser, n, record);
        }
        return true;
    });
}

struct Manager {
    CDovetailManagerDoc doc;
    std::unique_ptr<CMainFrame> frame;
    Manager() {
        doc.OnNewDocument();
        frame = std::make_unique<CMainFrame>(doc, QStringLiteral("bench"));
        frame->resize(900, 600);
        frame->View()->OnInitialUpdate();
        frame->show();
        benchmark::DoNotOptimize(frame->grab());
    }
};

void BM_StartupToPaintedList(benchmark::State& state) {
    UseLargeStore();
    for (auto _ : state) {
        Manager manager;
        if (manager.frame->View()->ItemCount() != kBindings)
            state.SkipWithError("rows missing");
        state.PauseTiming();
        manager.frame.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToPaintedList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RepaintOneScreen(benchmark::State& state) {
    UseLargeStore();
    Manager manager;
    QWidget* viewport = manager.frame->View()->viewport();
    for (auto _ : state)
        benchmark::DoNotOptimize(viewport->grab());
    state.counters["rows"] = double(viewport->height() / std::max(1, manager.frame->View()->sizeHintForRow(0)));
}
BENCHMARK(BM_RepaintOneScreen)->Unit(benchmark::kMillisecond);

void BM_AddEntryWith10000Stored(benchmark::State& state) {
    UseLargeStore();
    Manager manager;
    CMessageBox::SetAutoAnswer(QMessageBox::Ok);
    int added = 0;
    for (auto _ : state) {
        CDocSynchEntry record = manager.doc.NewRecord();
        record.WinFileName = QStringLiteral("new%1.txt").arg(added);
        record.WinPath = Scratch().path() + QStringLiteral("/pc/");
        record.EpocFileName = QStringLiteral("New %1").arg(added);
        record.EpocPath = QStringLiteral("C:\\Documents\\");
        if (!manager.doc.AddEntry(record))
            state.SkipWithError("not added");
        state.PauseTiming();
        // Back to 10,000 stored.
        CBindingListModel* model = manager.frame->View()->Model();
        manager.doc.DeleteEntry(model->EntryAt(model->rowCount() - 1));
        model->RemoveRowAt(model->rowCount() - 1);
        ++added;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddEntryWith10000Stored)->Unit(benchmark::kMillisecond)->Iterations(10);
}  // namespace

int main(int argc, char** argv) {
    if (!::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
