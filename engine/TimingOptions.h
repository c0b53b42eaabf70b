#pragma once

// The timing choices of the window's radio buttons, as the token takes them.
struct TimingOptions
{
    int timeStep = 30;           // 30 or 60
    int displayTime = 30;        // 15, 30, 60 or 120
    char algorithmName[16] = {}; // "SHA1" or "SHA256"
};
