#include "TokenPoll.h"

#include "TokenProgrammer.h"
#include "token/TokenCommands.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {
const QString kNotDetected = QStringLiteral("Token or card not detected");
const QString kDetected = QStringLiteral("Token or card detected");
} // namespace

TokenPoll::TokenPoll(ConsoleWindow& window, TokenProgrammer& programmer, BurnState& burn)
    : m_window(window), m_programmer(programmer), m_burn(burn), m_thread(50ms)
{}

void TokenPoll::start()
{
    stopAndWait();
    g_pollState = PollRunning;
    m_thread.start([this] { TokenPollProc(); },
                   [this] {
                       m_probe.release();
                       g_pollState = PollIdle;
                   });
}

void TokenPoll::stopAndWait()
{
    if (!m_thread.running())
        return;
    g_pollState = PollStopRequested;
    m_thread.stopAndWait();
}

void TokenPoll::TokenPollProc()
{
    m_probe.release();
    const QString readerName = g_readerName.get();

    if (!m_probe.cardPresent(readerName)) {
        ShowNoCard();
    } else {
        if (g_detectPending == 1 && DetectToken(readerName))
            g_detectPending = 0;
        if (g_programPending == 1 && m_burn.burnActive == 1 &&
            !m_window.state().texts().serialNumber.isEmpty())
            m_programmer.ProgramToken();
    }
    m_probe.release();
}

void TokenPoll::ShowNoCard()
{
    g_detectPending = 1;
    g_programPending = 1;
    m_window.state().update([](ConsoleTexts& texts) {
        texts.serialNumber.clear();
        texts.tokenClock.clear();
        texts.computerClock.clear();
        texts.tips = kNotDetected;
    });
    m_window.postTokenRefresh();
}

bool TokenPoll::DetectToken(const QString& readerName)
{
    uint8_t serial[32] = {};
    uint8_t clock[64] = {};
    unsigned serialLength = sizeof serial;
    unsigned clockLength = sizeof clock;
    const int32_t result =
        TokenReadInfo(readerName.toUtf8().constData(), serial, &serialLength, clock, &clockLength);

    if (result != TOKEN_OK) {
        m_window.state().update([](ConsoleTexts& texts) {
            texts.serialNumber.clear();
            texts.tokenClock.clear();
            texts.computerClock.clear();
            texts.tips = kNotDetected;
        });
        m_window.setBurnEnabled(false);
    } else {
        // The texts come without a terminating zero: their lengths bound them.
        const QString serialNumber =
            QString::fromUtf8(reinterpret_cast<const char*>(serial), serialLength);
        const QString tokenClock =
            QString::fromUtf8(reinterpret_cast<const char*>(clock), clockLength);
        m_window.state().update([&](ConsoleTexts& texts) {
            texts.tips = kDetected;
            texts.serialNumber = serialNumber;
            texts.tokenClock = tokenClock;
        });
        m_programmer.UpdateComputerClock();
        if (!serialNumber.isEmpty())
            m_window.selectSeedForSerial();
        if (!m_window.state().texts().seedText.isEmpty() && !m_burn.held)
            m_window.setBurnEnabled(true);
    }

    m_thread.pause(50ms);
    m_window.postTokenRefresh();
    return result == TOKEN_OK;
}
