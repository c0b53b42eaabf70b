#pragma once

// The meters the benchmarks share: the figures' statistics, the longest
// stall of the window's thread, the exchanges of a bare token session, and
// when the virtual token received a command.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class VirtualToken;

using BenchClock = std::chrono::steady_clock;

double Ms(BenchClock::duration duration);

// The middle value (of an even count, the upper of the two); 0 for none.
double Median(std::vector<double> values);

// The largest value; 0 for none.
double Max(const std::vector<double>& values);

// The longest gap between two turns of the event loop of the thread the
// meter lives on, each turn marked by a zero-interval timer.
class StallMeter : public QObject
{
public:
    enum class Span
    {
        // From the loop's first turn after start() to its last before
        // stopMs(): the loop's own stalls.
        BetweenTurns,
        // From start() itself to stopMs(): what the caller runs on the
        // thread right after start() counts as a stall too.
        Whole,
    };

    explicit StallMeter(Span span);
    void start();
    // The longest gap since start(), in milliseconds; stops the meter.
    double stopMs();
    double elapsedMs() const;

private:
    void mark();

    Span m_span;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1; // nanoseconds since start() of the last mark; -1 for none
    qint64 m_longest = 0;
};

// The exchanges of one programming run (READ INFO, AUTHENTICATE, configure,
// WRITE SEED) made by a bare token session on the reader, without the
// station: what the token and the platform take.
struct BareSessionTimes
{
    double withOpenMs;  // from the session's creation to WRITE SEED's answer
    double exchangesMs; // from READ INFO to WRITE SEED's answer
};
BareSessionTimes RunBareSession(const std::string& reader);

// When the token received its first command with this instruction byte at
// or after `after`; nothing when it received none.
std::optional<BenchClock::time_point> FirstCommandAt(const VirtualToken& token, uint8_t ins,
                                                     BenchClock::time_point after = {});
