#pragma once

#include "BurnState.h"
#include "ConsoleWindow.h"

#include <QString>
#include <atomic>
#include <cstdint>

// The per-token work of the console: authenticate, configure, write the seed,
// seal, and record each outcome on screen (messages, log row, counters).
// ConfigureToken and OnSeal run on the window's thread, ProgramToken on the
// token poll's thread; every window change goes through ConsoleWindow.
class TokenProgrammer
{
public:
    TokenProgrammer(ConsoleWindow& window, BurnState& burn);

    // TokenAuthenticate on the chosen reader; shows the message of a refusal.
    int32_t AuthenticateCard();

    // Sets the computer clock text to the current time (UTC).
    void UpdateComputerClock();

    // Authenticates and sends the timing choices and the clock. True when the
    // token took them; otherwise its message has been shown.
    bool ConfigureToken();

    // Writes the current seed into the token on the reader and records the
    // attempt. True when the token holds the seed. A refused authentication
    // records nothing and leaves programming armed, so the next cycle retries.
    bool ProgramToken();

    // Inserts a log row on top, stamped with the local time.
    void AddLogRow(const QString& serialNumber, const QString& userName, const QString& result);

    // Seal button: authenticates, seals and tells the outcome.
    void OnSeal();

private:
    // seedText: the normalised text of the seed written, for the export files.
    void FinishAttempt(bool succeeded, const QString& serialNumber, const QString& seedText);

    ConsoleWindow& m_window;
    BurnState& m_burn;
};
