// What recording a token costs in the export files: one record appended to
// the three files (each synced to the disk, so the disk's sync time is most
// of it), and the open of a new set in a Data folder that already holds the
// sets of many runs (each with its PSKC file), which looks through the folder
// for temporary files left by killed PSKC writers.
//
//   build/release/bench/bench_export_files
#include "seed/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(8, 7, 6));

void BM_AppendRecord(benchmark::State& state)
{
    QTemporaryDir dir;
    ExportFiles files(dir.filePath(QStringLiteral("Data")));
    if (files.open(kStart) != ExportFiles::OpenResult::Opened) {
        state.SkipWithError("the export files cannot be opened");
        return;
    }
    int serial = 0;
    for (auto _ : state) {
        const ExportRecord record{QStringLiteral("alice@example.com"),
                                  QStringLiteral("KN%1").arg(++serial, 8, 10, QLatin1Char('0')),
                                  QStringLiteral("IYHIMQS2YMROCLH4OFHIGOR7DLA63JEZ"), 30};
        if (!files.append(record).isEmpty())
            state.SkipWithError("a record was not written");
    }
}
BENCHMARK(BM_AppendRecord)->Unit(benchmark::kMicrosecond);

// state.range(0): the runs whose sets (three CSV files and a PSKC file) are
// in the folder already.
void BM_OpenAmongOtherSets(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Data"));
    QDir().mkpath(folder);
    for (int run = 0; run < state.range(0); ++run) {
        const QString stem =
            QDir(folder).filePath(ExportFiles::FileStem(kStart.addDays(-1).addSecs(run)));
        for (const char* suffix : {".hex.csv", ".b32.csv", ".azure.csv", ".pskc.xml"}) {
            QFile file(stem + QLatin1String(suffix));
            if (!file.open(QIODevice::WriteOnly)) {
                state.SkipWithError("the folder cannot be filled");
                return;
            }
        }
    }
    for (auto _ : state) {
        ExportFiles files(folder);
        if (files.open(kStart) != ExportFiles::OpenResult::Opened)
            state.SkipWithError("the export files cannot be opened");
        // The folder keeps its size: the new set goes again, unmeasured.
        state.PauseTiming();
        for (const QString& path : {files.hexPath(), files.b32Path(), files.azurePath()})
            QFile::remove(path);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAmongOtherSets)->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
