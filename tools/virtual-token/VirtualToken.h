#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The station's virtual token: a TOTP token that answers the station's
// commands (READ INFO, GET CHALLENGE, AUTHENTICATE, and the MAC-protected
// WRITE SEED, CONFIGURE and SEAL) and keeps what they set. A test holds it
// in-process and reads its state directly; VpcdLink puts it behind a pcscd
// reader. Every member may be called from any thread.

// Status words, ISO 7816-4.
namespace Sw {
constexpr uint16_t Ok = 0x9000;
constexpr uint16_t TriesLeft = 0x63C0; // | tries left
constexpr uint16_t WrongLength = 0x6700;
constexpr uint16_t SecurityNotSatisfied = 0x6982;   // no authentication since power-on
constexpr uint16_t AuthBlocked = 0x6983;            // no tries left
constexpr uint16_t ConditionsNotSatisfied = 0x6985; // no challenge; sealed
constexpr uint16_t SmObjectsMissing = 0x6987;       // a secured command sent unprotected
constexpr uint16_t SmObjectsIncorrect = 0x6988;     // MAC wrong
constexpr uint16_t WrongData = 0x6A80;              // padding, record or seed not acceptable
constexpr uint16_t WrongP1P2 = 0x6A86;
constexpr uint16_t InsNotSupported = 0x6D00;
constexpr uint16_t ClaNotSupported = 0x6E00;
} // namespace Sw

struct VirtualTokenSettings
{
    std::string serial = "VT00000001"; // up to 32 bytes
    // The customer key the station is built with.
    std::array<uint8_t, 16> customerKey = {0x5A, 0x1C, 0x9E, 0x07, 0xB3, 0xD2, 0x4F, 0x68,
                                           0xA0, 0xE7, 0xC1, 0xD9, 0x3B, 0x2F, 0x4A, 0x86};
    int maxTries = 5;        // 1..15
    int64_t clockOffset = 0; // token clock minus host time, in seconds
    bool protocolT0 = false; // offer T=0 in the ATR instead of T=1
};

struct VirtualTokenState
{
    VirtualTokenState() = default;
    VirtualTokenState(const VirtualTokenState&) = default;
    VirtualTokenState& operator=(const VirtualTokenState&) = default;
    ~VirtualTokenState();

    std::string serial;
    std::vector<uint8_t> seed; // empty until WRITE SEED
    int algorithm = 1;         // 1 HMAC-SHA-1, 2 HMAC-SHA-256
    int timeStep = 30;         // seconds
    int displayTime = 30;      // seconds
    int option = -1;           // option value of the last CONFIGURE; -1 when it had none
    int64_t clockOffset = 0;   // token clock minus host time, in seconds
    bool configured = false;   // CONFIGURE accepted at least once
    bool sealed = false;
    int triesLeft = 0;
    int maxTries = 0;
    bool authenticated = false; // since the card was last powered
    bool powered = false;
};

// What the token does with one command: the answer, and the faults a test
// asked for.
struct TokenAnswer
{
    enum class Lift
    {
        No,
        BeforeAnswer,
        AfterAnswer
    };
    std::vector<uint8_t> response; // empty when lifted before answering
    Lift lift = Lift::No;
    std::chrono::milliseconds delay{0};
    bool held = false; // sent once releaseAnswer() is called (holdAnswerTo)
};

class VirtualToken
{
public:
    explicit VirtualToken(VirtualTokenSettings settings = {});
    ~VirtualToken();
    VirtualToken(const VirtualToken&) = delete;
    VirtualToken& operator=(const VirtualToken&) = delete;

    std::vector<uint8_t> atr() const;

    // Power from the reader: each ends the authentication and any challenge.
    void powerOn();
    void powerOff();
    void reset();

    TokenAnswer answer(const uint8_t* command, size_t length);

    VirtualTokenState state() const;
    // Every command received since the start, as sent, and when each came.
    std::vector<std::vector<uint8_t>> received() const;
    std::vector<std::chrono::steady_clock::time_point> receivedAt() const;
    // The token's clock at a host time (seconds since 1970).
    uint32_t clock(int64_t hostTime) const;
    // The six digits the display shows at a host time; empty without a seed.
    std::string displayedCode(int64_t hostTime) const;

    // Faults for the next command only (the command is not carried out unless
    // it is answered). answerNextWith: the next command, or the next one with
    // instruction byte ins, gets only statusWord.
    void answerNextWith(uint16_t statusWord, std::optional<uint8_t> ins = std::nullopt);
    void liftOnNextCommand();   // the card leaves the reader before answering
    void liftAfterNextAnswer(); // the card answers, then leaves the reader
    // The card answers count more commands, then leaves the reader.
    void liftAfterAnswers(int count);
    // A pause before every answer (0 for none).
    void setAnswerDelay(std::chrono::milliseconds delay);
    // A pause before the answer to every command with instruction byte ins
    // (the command takes effect at once: a seed is held while its answer waits).
    void delayAnswerTo(uint8_t ins, std::chrono::milliseconds delay);
    // The answer to the next command with instruction byte ins waits until
    // the test calls releaseAnswer() (the command takes effect at once), so
    // a test acts while the host waits for it.
    void holdAnswerTo(uint8_t ins);
    void releaseAnswer();
    // For the link serving a held answer: true once it is released, false
    // after timeout (the link looks whether it must stop, then waits again).
    bool waitForRelease(std::chrono::milliseconds timeout);

    void setSerial(const std::string& serial);
    void setClockOffset(int64_t offset);

private:
    std::vector<uint8_t> execute(const uint8_t* command, size_t length);
    std::vector<uint8_t> readInfo(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data) const;
    std::vector<uint8_t> getChallenge(uint8_t p1, uint8_t p2, size_t length);
    uint16_t authenticate(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data);
    uint16_t secured(const uint8_t* command, size_t length);
    uint16_t writeSeed(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data);
    uint16_t configure(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data);
    uint16_t seal(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data);
    void endSession();

    mutable std::mutex m_lock;
    VirtualTokenSettings m_settings;
    VirtualTokenState m_state;
    std::optional<std::array<uint8_t, 8>> m_challenge;        // given by the last command
    std::optional<std::array<uint8_t, 8>> m_offeredChallenge; // for the command at hand
    std::vector<std::vector<uint8_t>> m_received;
    std::vector<std::chrono::steady_clock::time_point> m_receivedAt;
    std::optional<uint16_t> m_nextStatus;
    std::optional<uint8_t> m_nextStatusIns;
    TokenAnswer::Lift m_nextLift = TokenAnswer::Lift::No;
    int m_liftAfterAnswers = 0;
    std::chrono::milliseconds m_answerDelay{0};
    std::optional<std::pair<uint8_t, std::chrono::milliseconds>> m_insDelay;
    std::optional<uint8_t> m_holdIns;
    bool m_released = false;
    std::condition_variable m_releasedChanged;
};

// Host time now, in seconds since 1970.
int64_t HostTimeNow();
