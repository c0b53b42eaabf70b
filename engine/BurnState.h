#pragma once

#include <atomic>

// The Burn/Stop button's state, shared by the window's thread and the poll.
struct BurnState
{
    // m_burnActive: 1 while programming is armed and the button reads "Stop".
    std::atomic<int> burnActive{0};
    // True for the short while after a press when the button stays disabled,
    // whatever the token and seed fields say.
    std::atomic<bool> held{false};
};
