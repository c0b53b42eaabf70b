// The console's three speed figures, measured through a private pcscd and a
// virtual token with the real main window under the offscreen platform:
//   1. CPU use of the station connected to an empty reader, over 30 s;
//   2. time from a token's insertion to its serial number on screen (median);
//   3. time the station adds to one programmed token beyond the token
//      exchanges and the fixed pauses (median).
// Usage: bench_console [idle seconds, default 30]
#include "PcscFixture.h"
#include "engine/ConsoleController.h"
#include "gui/MainWindow.h"
#include "tests/support/RecordingOperator.h"
#include "token/TokenCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Serves the window's events until condition holds; false after 10 s.
bool ServeUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(200us);
    }
    return true;
}

// Runs the window's event loop for the given time, idle as an operator's.
void ServeFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// The process's CPU use while the window sits idle for the given time.
double IdleCpuPercent(std::chrono::seconds duration)
{
    const double cpuBefore = CpuSeconds();
    const auto wallBefore = Clock::now();
    ServeFor(duration);
    return 100 * (CpuSeconds() - cpuBefore) / (Ms(Clock::now() - wallBefore) / 1000);
}

// Runs work on a thread of its own, as the poll would, serving the window
// meanwhile; returns how long it took.
double OnWorker(const std::function<void()>& work)
{
    std::atomic<bool> done{false};
    const auto start = Clock::now();
    std::thread worker([&] {
        work();
        done = true;
    });
    ServeUntil([&] { return done.load(); });
    const auto took = Clock::now() - start;
    worker.join();
    return Ms(took);
}

double Timed(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return Ms(Clock::now() - start);
}

bool Connect(MainWindow& window, const std::string& reader)
{
    auto* combo = window.findChild<QComboBox*>("readerCombo");
    const QString name = QString::fromStdString(reader);
    if (!ServeUntil([&] { return combo->findText(name) >= 0; }))
        return false;
    combo->setCurrentIndex(combo->findText(name));
    window.OnConnect();
    return true;
}

int Fail(const char* what, const PcscFixture& pcsc)
{
    std::fprintf(stderr, "bench_console: %s\n%s\n", what, pcsc.failure().c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PcscFixture pcsc(1);
    if (!pcsc.ok())
        return Fail("no private pcscd", pcsc);
    QApplication app(argc, argv);
    const std::string reader = pcsc.readerName(0);

    // 1 and 2: the window as the operator has it, connected to reader 0.
    {
        RecordingOperator op;
        QTemporaryDir data;
        MainWindow window(op, data.path());
        window.show();
        window.StartReaderMonitor();
        ServeFor(1s);
        const double monitorOnly = IdleCpuPercent(std::chrono::seconds(idleSeconds / 3 + 1));
        if (!Connect(window, reader))
            return Fail("the reader was not listed", pcsc);
        ServeFor(1s);
        std::printf("idle CPU, connected, no token, %d s: %.2f %% of one core "
                    "(reader monitor alone: %.2f %%)\n",
                    idleSeconds, IdleCpuPercent(std::chrono::seconds(idleSeconds)), monitorOnly);

        auto* serialLabel = window.findChild<QLabel*>("serialNumberText");
        std::vector<double> insertToSerial, seenByPcsc, stationShare;
        for (int i = 0; i < 21; ++i) {
            VirtualTokenSettings settings;
            settings.serial = "BN" + std::to_string(1000 + i);
            auto token = std::make_shared<VirtualToken>(settings);
            const auto start = Clock::now();
            if (!pcsc.insert(0, token))
                return Fail("insert", pcsc);
            seenByPcsc.push_back(Ms(Clock::now() - start));
            if (!ServeUntil(
                    [&] { return serialLabel->text() == QString::fromStdString(settings.serial); }))
                return Fail("the serial number was not shown", pcsc);
            insertToSerial.push_back(Ms(Clock::now() - start));
            stationShare.push_back(insertToSerial.back() - seenByPcsc.back());
            if (!pcsc.remove(0) || !ServeUntil([&] { return serialLabel->text().isEmpty(); }))
                return Fail("remove", pcsc);
        }
        std::printf(
            "insertion to serial number on screen: median %.1f ms (min %.1f, max %.1f, "
            "%zu tokens)\n",
            Median(insertToSerial), *std::min_element(insertToSerial.begin(), insertToSerial.end()),
            *std::max_element(insertToSerial.begin(), insertToSerial.end()), insertToSerial.size());
        std::printf("  until PC/SC reports the card: median %.1f ms; from there to the serial "
                    "number on screen (the station's share): median %.1f ms\n",
                    Median(seenByPcsc), Median(stationShare));
    }

    // 3: the three stations of one token (detection, Burn's configuration,
    // the poll's write with its records), each against the same token
    // commands made bare.
    {
        RecordingOperator op;
        QTemporaryDir data;
        MainWindow window(op, data.path()); // no reader monitor
        window.findChild<QWidget*>("exportCheck")->setProperty("checked", true);
        ConsoleController console(window);
        g_readerName.set(QString::fromStdString(reader));
        auto token = std::make_shared<VirtualToken>();
        if (!pcsc.insert(0, token))
            return Fail("insert", pcsc);
        window.SetSeedText(QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"));

        std::vector<double> added;
        std::vector<double> parts[6];
        for (int i = 0; i < 21; ++i) {
            const double detect =
                OnWorker([&] { console.poll().DetectToken(QString::fromStdString(reader)); });
            const double configure = Timed([&] { console.programmer().ConfigureToken(); });
            const double program = OnWorker([&] { console.programmer().ProgramToken(); });

            uint8_t serial[32] = {}, clock[64] = {}, seed[20] = {1, 2, 3};
            unsigned serialLength = 32, clockLength = 64;
            const double bareRead = Timed(
                [&] { TokenReadInfo(reader.c_str(), serial, &serialLength, clock, &clockLength); });
            const double bareConfigure = Timed([&] {
                TokenAuthenticate(reader.c_str(), g_customerKey);
                TokenConfigure(reader.c_str(), g_customerKey, "SHA1", 30, 30, "2024/01/01/00/00/00",
                               0);
            });
            const double bareProgram = Timed([&] {
                TokenAuthenticate(reader.c_str(), g_customerKey);
                TokenWriteSeed(reader.c_str(), g_customerKey, seed, sizeof seed);
            });
            parts[0].push_back(detect);
            parts[1].push_back(bareRead);
            parts[2].push_back(configure);
            parts[3].push_back(bareConfigure);
            parts[4].push_back(program);
            parts[5].push_back(bareProgram);
            // Outside a running poll DetectToken's 50 ms pause does not wait.
            added.push_back((detect - bareRead) + (configure - bareConfigure) +
                            (program - bareProgram));
        }
        std::printf("time the station adds to one programmed token: median %.2f ms "
                    "(detect + configure + write, beyond exchanges and pauses; %zu tokens)\n",
                    Median(added), added.size());
        std::printf("  medians, station / bare commands: detect %.1f / %.1f, "
                    "configure %.1f / %.1f, write %.1f / %.1f ms\n",
                    Median(parts[0]), Median(parts[1]), Median(parts[2]), Median(parts[3]),
                    Median(parts[4]), Median(parts[5]));
        if (op.texts().count(QStringLiteral("Token successfully programmed!")) != 21)
            std::printf("warning: not every token was programmed: %s\n",
                        qPrintable(op.texts().join(QStringLiteral(" | "))));
    }
    return 0;
}
