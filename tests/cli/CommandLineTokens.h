#pragma once

// The virtual tokens the command line's tests present to the station's
// program (StationCommand runs it), and what they check on them.
#include "StationCommand.h"
#include "VirtualToken.h"
#include "seed/Base32.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

inline constexpr uint8_t kAuthenticate = 0xCE;
inline constexpr uint8_t kWriteSeed = 0xC5;

inline std::shared_ptr<VirtualToken> Token(const std::string& serial)
{
    VirtualTokenSettings settings;
    settings.serial = serial;
    return std::make_shared<VirtualToken>(settings);
}

inline std::vector<uint8_t> SeedBytes(const QString& text)
{
    const ByteString bytes = DecodeBase32(text.toStdString());
    return {bytes.begin(), bytes.end()};
}

// Waits until the token has received a command with instruction ins.
inline bool WaitForCommand(const VirtualToken& token, uint8_t ins)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& command : token.received())
            if (command.size() > 1 && command[1] == ins)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
