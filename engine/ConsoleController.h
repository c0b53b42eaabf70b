#pragma once

#include "BurnState.h"
#include "ConsoleWindow.h"
#include "ReaderMonitor.h"
#include "TokenPoll.h"
#include "TokenProgrammer.h"

#include <QObject>

// The console's work behind the main window: the reader monitor, the token
// poll and the programming of one token, with the handlers of Connect, Burn
// and Seal. Lives on the window's thread; the window owns it and calls
// Shutdown before any of its own members go away.
class ConsoleController : public QObject
{
public:
    explicit ConsoleController(ConsoleWindow& window);
    ~ConsoleController() override;

    // When the window opens: starts the reader monitor.
    void Start();
    // Stops the reader monitor and the token poll and waits for both, serving
    // the window's events meanwhile. Nothing touches the window afterwards.
    void Shutdown();

    void OnConnect();
    void OnBurn();
    void OnSeal();

    // The window's refresh keeps Burn disabled while this is true.
    bool BurnHeld() const { return m_burn.held; }
    bool BurnActive() const { return m_burn.burnActive == 1; }

    TokenProgrammer& programmer() { return m_programmer; }
    TokenPoll& poll() { return m_poll; }

private:
    void ReleaseBurnButton();

    ConsoleWindow& m_window;
    BurnState m_burn;
    TokenProgrammer m_programmer;
    TokenPoll m_poll;
    ReaderMonitor m_readerMonitor;
    bool m_connecting = false;
    bool m_shutDown = false;
};
