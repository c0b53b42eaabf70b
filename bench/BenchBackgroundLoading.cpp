// The longest stall of the window's thread while a seed file of 1,000,000
// lines (the largest the station takes) loads, with the real main window
// under the offscreen platform:
//   1. the file read on the window's thread, as Load Seed File used to;
//   2. Load Seed File as it is now, the file read on a worker thread;
//   3. the same without the meter, for the load's own time.
// A zero-interval timer on the window's thread marks each turn of its event
// loop; the figure is the longest gap between two marks from the press to
// the end of the load. Usage: bench_background_loading [runs, default 5]
#include "BackgroundWorkDone.h"
#include "Meters.h"
#include "RecordingOperator.h"
#include "gui/MainWindow.h"
#include "seed/SeedFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kLines = 1'000'000;

// Turns the event loop until done() holds.
template <typename Done> void ServeUntil(Done done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir folder;
    const QString path = folder.filePath("seeds.csv");
    {
        QByteArray bytes;
        for (int line = 1; line <= kLines; ++line)
            bytes += "ZP" + QByteArray::number(line).rightJustified(7, '0') + ",JBSWY3DPEHPK3PXP\n";
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("seed file: %d lines, %lld bytes\n", kLines,
                    static_cast<long long>(bytes.size()));
    }

    RecordingOperator op;
    MainWindow window(op, folder.path());
    window.show();
    StallMeter meter(StallMeter::Span::Whole);
    std::vector<double> beforeStall, beforeTime, afterStall, afterTime, idleTime, bareTime;

    for (int run = 0; run < runs; ++run) {
        // 1. On the window's thread, from an event as a button press is.
        SeedTable table;
        bool loaded = false;
        meter.start();
        QTimer::singleShot(0, &window, [&] { loaded = LoadSeedFile(path, table).loaded(); });
        ServeUntil([&] { return loaded; });
        beforeTime.push_back(meter.elapsedMs());
        beforeStall.push_back(meter.stopMs());

        // 2. Load Seed File now.
        op.answerNextFileDialog(path);
        bool started = false;
        meter.start();
        QTimer::singleShot(0, &window, [&] {
            window.loadSeedFile();
            started = true;
        });
        ServeUntil([&] { return started && BackgroundWorkDone(&window); });
        afterTime.push_back(meter.elapsedMs());
        afterStall.push_back(meter.stopMs());
        // 3. The same without the meter's timer, which keeps the window's
        // thread busy and so takes a core from the worker.
        op.answerNextFileDialog(path);
        QElapsedTimer clock;
        clock.start();
        window.loadSeedFile();
        ServeUntil([&] { return BackgroundWorkDone(&window); });
        idleTime.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

        // 4. LoadSeedFile alone on a thread of its own, for comparison.
        clock.restart();
        std::thread([&] {
            SeedTable bare;
            LoadSeedFile(path, bare);
        }).join();
        bareTime.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (!op.texts().isEmpty()) {
            std::fprintf(stderr, "the load failed: %s\n", qPrintable(op.texts().join(" / ")));
            return 1;
        }
    }
    std::printf("on the window's thread: longest stall median %.1f ms (max %.1f), load %.1f ms\n",
                Median(beforeStall), Max(beforeStall), Median(beforeTime));
    std::printf("on a worker thread:     longest stall median %.1f ms (max %.1f), load %.1f ms\n",
                Median(afterStall), Max(afterStall), Median(afterTime));
    std::printf("on a worker thread, no meter: load %.1f ms\n", Median(idleTime));
    std::printf("LoadSeedFile alone on a thread: %.1f ms (table wiped included)\n",
                Median(bareTime));
    return 0;
}
