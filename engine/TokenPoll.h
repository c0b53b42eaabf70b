#pragma once

#include "BurnState.h"
#include "ConsoleWindow.h"
#include "CycleThread.h"
#include "PresenceProbe.h"

#include <atomic>

class TokenProgrammer;

// Watches the reader chosen with Connect: about every 50 ms it looks for a
// card, reads each newly presented token once and, while programming is armed,
// programs it. A new token is recognised by the reader having been empty in
// between, not by its serial number.
class TokenPoll
{
public:
    TokenPoll(ConsoleWindow& window, TokenProgrammer& programmer, BurnState& burn);

    // Window's thread. start begins polling g_readerName (PollRunning);
    // stopAndWait ends it (PollIdle) while serving the window's events.
    void start();
    void stopAndWait();
    bool running() const { return m_thread.running(); }

    // One cycle of the poll, on the poll's thread.
    void TokenPollProc();

    // Reads serial number and clock of the token on the reader into the
    // window's texts; true when the read succeeded.
    bool DetectToken(const QString& readerName);

private:
    void ShowNoCard();

    ConsoleWindow& m_window;
    TokenProgrammer& m_programmer;
    BurnState& m_burn;
    PresenceProbe m_probe;
    CycleThread m_thread;
};
