#include "Meters.h"

#include "VirtualToken.h"
#include "engine/StationKey.h"
#include "token/TokenSession.h"

#include <algorithm>

double Ms(BenchClock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Max(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

StallMeter::StallMeter(Span span) : m_span(span)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, [this] { mark(); });
}

void StallMeter::start()
{
    m_longest = 0;
    m_last = m_span == Span::Whole ? 0 : -1; // Whole: the start is the first mark
    m_clock.start();
    m_timer.start();
}

double StallMeter::stopMs()
{
    m_timer.stop();
    if (m_span == Span::Whole)
        m_longest = std::max(m_longest, m_clock.nsecsElapsed() - m_last);
    return static_cast<double>(m_longest) / 1e6;
}

double StallMeter::elapsedMs() const
{
    return static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
}

void StallMeter::mark()
{
    const qint64 now = m_clock.nsecsElapsed();
    if (m_last >= 0)
        m_longest = std::max(m_longest, now - m_last);
    m_last = now;
}

BareSessionTimes RunBareSession(const std::string& reader)
{
    const auto created = BenchClock::now();
    TokenSession session;
    uint8_t serial[32], clock[64], seed[20] = {1, 2, 3};
    unsigned serialLength = sizeof serial, clockLength = sizeof clock;
    session.open(reader.c_str());
    const auto opened = BenchClock::now();
    session.readInfo(serial, &serialLength, clock, &clockLength);
    session.authenticate(g_customerKey);
    session.configure(g_customerKey, "SHA1", 30, 30, "2024/01/01/00/00/00", 0);
    session.writeSeed(g_customerKey, seed, sizeof seed);
    const auto written = BenchClock::now();
    session.close();
    return {Ms(written - created), Ms(written - opened)};
}

std::optional<BenchClock::time_point> FirstCommandAt(const VirtualToken& token, uint8_t ins,
                                                     BenchClock::time_point after)
{
    const auto commands = token.received();
    const auto times = token.receivedAt();
    for (size_t i = 0; i < commands.size() && i < times.size(); ++i)
        if (commands[i].size() > 1 && commands[i][1] == ins && times[i] >= after)
            return times[i];
    return std::nullopt;
}
