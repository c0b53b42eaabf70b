#include "ConsoleController.h"

#include <QTimer>

namespace {
// After a press the Burn button stays disabled this long, so that a double
// click cannot arm and disarm at once.
constexpr int kBurnHoldMs = 500;
} // namespace

ConsoleController::ConsoleController(ConsoleWindow& window)
    : m_window(window), m_programmer(window, m_burn), m_poll(window, m_programmer, m_burn),
      m_readerMonitor(window)
{}

ConsoleController::~ConsoleController()
{
    Shutdown();
}

void ConsoleController::Start()
{
    m_shutDown = false;
    if (!m_readerMonitor.running())
        m_readerMonitor.start();
}

void ConsoleController::Shutdown()
{
    m_shutDown = true;
    m_readerMonitor.stopAndWait();
    m_poll.stopAndWait();
}

void ConsoleController::OnConnect()
{
    const int selected = m_window.selectedReaderIndex();
    if (selected < 0) {
        m_window.state().update([](ConsoleTexts& texts) {
            texts.tips = QStringLiteral("Please select a card reader!");
        });
        m_window.postTokenRefresh();
        return;
    }
    g_readerName.set(m_window.readerEntries().value(selected));

    // While the old poll ends, the window keeps serving events, and so a second
    // press can arrive here: the reader name is already stored, and the first
    // press starts the poll that reads it.
    if (m_connecting)
        return;
    m_connecting = true;
    m_poll.stopAndWait();
    m_connecting = false;
    if (!m_shutDown)
        m_poll.start();
}

void ConsoleController::OnBurn()
{
    m_burn.held = true;
    m_window.setBurnEnabled(false);

    if (m_burn.burnActive == 0) {
        if (m_window.exportChecked())
            m_window.openExportFiles();
        if (!m_programmer.ConfigureToken()) {
            ReleaseBurnButton();
            return;
        }
    }

    g_programPending = 1;
    const bool arming = m_burn.burnActive == 0;
    m_burn.burnActive = arming ? 1 : 0;
    m_window.setBurnText(arming ? QStringLiteral("Stop") : QStringLiteral("Burn"));

    QTimer::singleShot(kBurnHoldMs, this, [this] { ReleaseBurnButton(); });
}

void ConsoleController::ReleaseBurnButton()
{
    m_burn.held = false;
    m_window.setBurnEnabled(true);
}

void ConsoleController::OnSeal()
{
    m_programmer.OnSeal();
}
