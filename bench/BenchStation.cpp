// The station's speed figures, through a private pcscd, vpcd readers and the
// virtual token, with the real main window under the offscreen platform:
//   1. idle CPU of station and pcscd (utime + stime from /proc) while
//      a. the window is open, not connected,
//      b. connected to an empty reader,
//      c. a token rests on the reader, not armed;
//   2. pcscd reports the card -> READ INFO reaches the token (median);
//   3. Burn press -> WRITE SEED reaches the token, minus the same exchanges
//      made by a bare PC/SC session (median);
//   4. the longest stall of the window's thread over a programming run;
//   5. Connect to the other reader while the station waits: the time the
//      old station takes to stop and the new one to start.
// Usage: bench_station [idle seconds per figure, default 60] [runs, default 21]
#include "Meters.h"
#include "PcscFixture.h"
#include "RecordingOperator.h"
#include "engine/StationKey.h"
#include "gui/MainWindow.h"
#include "token/TokenSession.h"

#include <PCSC/winscard.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = BenchClock;
using namespace std::chrono_literals;

namespace {

// utime + stime of a process, in seconds, from /proc/PID/stat.
double ProcessCpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')'); // the command name may hold blanks
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            utime = std::stod(field);
        if (index == 15) {
            stime = std::stod(field);
            break;
        }
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The fixture's pcscd: this process's child of that name.
pid_t FindPcscd()
{
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (line.substr(open + 1, close - open - 1) == "pcscd" && parent == getpid())
            return pid;
    }
    return -1;
}

// Serves the window's events until condition holds; false after 10 s.
bool ServeUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

void ServeFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU of this process and pcscd, in % of one core, over duration.
double IdleCpuPercent(pid_t pcscd, std::chrono::seconds duration)
{
    const double before = ProcessCpuSeconds(getpid()) + ProcessCpuSeconds(pcscd);
    const auto start = Clock::now();
    ServeFor(duration);
    const double after = ProcessCpuSeconds(getpid()) + ProcessCpuSeconds(pcscd);
    return 100 * (after - before) / (Ms(Clock::now() - start) / 1000);
}

// When the platform, to a client of its own, reports a card on the reader.
class CardWatcher
{
public:
    explicit CardWatcher(std::string reader) : m_reader(std::move(reader))
    {
        SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_context);
        m_thread = std::thread([this] { run(); });
    }
    ~CardWatcher()
    {
        m_stop = true;
        SCardCancel(m_context);
        m_thread.join();
        SCardReleaseContext(m_context);
    }
    // The moment the platform last reported a card arriving.
    Clock::time_point lastArrival()
    {
        std::lock_guard lock(m_lock);
        return m_arrival;
    }

private:
    void run()
    {
        SCARD_READERSTATE state{};
        state.szReader = m_reader.c_str();
        while (!m_stop) {
            if (SCardGetStatusChange(m_context, 500, &state, 1) != SCARD_S_SUCCESS)
                continue;
            const bool present = (state.dwEventState & SCARD_STATE_PRESENT) != 0;
            if (present && (state.dwCurrentState & SCARD_STATE_PRESENT) == 0) {
                std::lock_guard lock(m_lock);
                m_arrival = Clock::now();
            }
            state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        }
    }

    std::string m_reader;
    SCARDCONTEXT m_context = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    Clock::time_point m_arrival;
    std::thread m_thread;
};

int Fail(const char* what, const PcscFixture& pcsc)
{
    std::fprintf(stderr, "bench_station: %s\n%s\n", what, pcsc.failure().c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 21;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PcscFixture pcsc(1);
    if (!pcsc.ok())
        return Fail("no private pcscd", pcsc);
    QApplication app(argc, argv);
    const std::string reader = pcsc.readerName(0);
    const pid_t pcscd = FindPcscd();
    if (pcscd < 0)
        return Fail("the fixture's pcscd was not found", pcsc);

    RecordingOperator op;
    QTemporaryDir data;
    MainWindow window(op, data.path());
    window.show();
    window.startReaderMonitor();
    auto* table = window.findChild<QTableWidget*>("readerTable");
    auto* serialLabel = window.findChild<QLabel*>("serialNumberText");
    auto* burn = window.findChild<QPushButton*>("burnButton");
    if (!ServeUntil([&] {
            return !table->findItems(QString::fromStdString(reader), Qt::MatchExactly).isEmpty();
        }))
        return Fail("the reader was not listed", pcsc);
    ServeFor(1s);
    const double notConnected = IdleCpuPercent(pcscd, std::chrono::seconds(idleSeconds));

    // The floor: pcscd's own watching of a reader with a card on it, with
    // no station connected to that reader.
    auto resting = std::make_shared<VirtualToken>();
    if (!pcsc.insert(0, resting))
        return Fail("insert", pcsc);
    ServeFor(2s);
    const double floorResting = IdleCpuPercent(pcscd, std::chrono::seconds(idleSeconds));
    if (!pcsc.remove(0))
        return Fail("remove", pcsc);

    window.connectReader(QString::fromStdString(reader), true);
    ServeFor(1s);
    const double emptyReader = IdleCpuPercent(pcscd, std::chrono::seconds(idleSeconds));

    if (!pcsc.insert(0, resting) || !ServeUntil([&] { return !serialLabel->text().isEmpty(); }))
        return Fail("the resting token was not shown", pcsc);
    ServeFor(2s); // past pcscd's power-down of the idle card
    const double tokenResting = IdleCpuPercent(pcscd, std::chrono::seconds(idleSeconds));
    if (!pcsc.remove(0) || !ServeUntil([&] { return serialLabel->text().isEmpty(); }))
        return Fail("remove", pcsc);

    // The second reader's line connected and disconnected beside the first:
    // the time the window's thread spends in each.
    const QString second = QString::fromStdString(pcsc.readerName(1));
    std::vector<double> reconnect;
    for (int i = 0; i < 11; ++i) {
        ServeFor(100ms);
        const auto start = Clock::now();
        window.connectReader(second, i % 2 == 0);
        reconnect.push_back(Ms(Clock::now() - start));
    }
    window.connectReader(second, false);
    window.connectReader(QString::fromStdString(reader), true); // its line chosen again

    std::printf("idle CPU, station + pcscd, %d s each (utime + stime from /proc):\n", idleSeconds);
    std::printf("  window open, not connected:      %.3f %% of one core\n", notConnected);
    std::printf("  connected to an empty reader:    %.3f %%\n", emptyReader);
    std::printf("  a token resting, not armed:      %.3f %%\n", tokenResting);
    std::printf("  floor: a token resting on a reader no station watches: %.3f %%\n", floorResting);

    CardWatcher watcher(reader);
    StallMeter stalls(StallMeter::Span::BetweenTurns);
    std::vector<double> reportToRead, burnToWrite, bare, stall;
    window.setSeedText(QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"));
    for (int i = 0; i < runs; ++i) {
        VirtualTokenSettings settings;
        settings.serial = "BN" + std::to_string(1000 + i);
        auto token = std::make_shared<VirtualToken>(settings);
        const auto inserted = Clock::now();
        if (!pcsc.insert(0, token) || !ServeUntil([&] {
                return serialLabel->text() == QString::fromStdString(settings.serial);
            }))
            return Fail("the token was not shown", pcsc);
        const auto read = FirstCommandAt(*token, 0x41, inserted);
        ServeUntil([&] { return watcher.lastArrival() >= inserted; });
        if (read && watcher.lastArrival() >= inserted)
            reportToRead.push_back(Ms(*read - watcher.lastArrival()));

        if (!ServeUntil([&] { return burn->isEnabled(); }))
            return Fail("Burn was not enabled", pcsc);
        const int rows = static_cast<int>(op.texts().size());
        stalls.start();
        const auto pressed = Clock::now();
        burn->click();
        if (!ServeUntil([&] { return op.texts().size() > rows && burn->isEnabled(); }))
            return Fail("the run did not end", pcsc);
        stall.push_back(stalls.stopMs());
        const auto written = FirstCommandAt(*token, 0xC5, pressed);
        const double bareRun = RunBareSession(reader).withOpenMs;
        if (written) {
            burnToWrite.push_back(Ms(*written - pressed));
            bare.push_back(bareRun);
        }
        if (!pcsc.remove(0) || !ServeUntil([&] { return serialLabel->text().isEmpty(); }))
            return Fail("remove", pcsc);
    }
    std::vector<double> added;
    for (size_t i = 0; i < burnToWrite.size(); ++i)
        added.push_back(burnToWrite[i] - bare[i]);

    std::printf("pcscd reports the card -> READ INFO sent: median %.2f ms (max %.2f, %zu tokens)\n",
                Median(reportToRead), Max(reportToRead), reportToRead.size());
    std::printf("Burn press -> WRITE SEED, minus a bare session's same exchanges: median %.2f ms "
                "(press -> write %.2f ms, bare %.2f ms)\n",
                Median(added), Median(burnToWrite), Median(bare));
    std::printf("longest window-thread stall over a programming run: median %.2f ms, max %.2f ms\n",
                Median(stall), Max(stall));
    std::printf("a second reader's line connected or disconnected beside the first: median "
                "%.2f ms, max %.2f ms\n",
                Median(reconnect), Max(reconnect));
    const int programmed =
        static_cast<int>(op.texts().count(QStringLiteral("Token successfully programmed!")));
    if (programmed != runs)
        std::printf("warning: %d of %d tokens programmed: %s\n", programmed, runs,
                    qPrintable(op.texts().join(QStringLiteral(" | "))));
    return 0;
}
