#include "VirtualToken.h"

#include "TokenCipher.h"

#include <algorithm>
#include <openssl/crypto.h>
#include <utility>

namespace {

constexpr uint8_t CLA_PLAIN = 0x80;
constexpr uint8_t CLA_SECURED = 0x84;
constexpr size_t SERIAL_MAX = 32;

std::vector<uint8_t> Status(uint16_t sw)
{
    return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw)};
}

void Wipe(std::vector<uint8_t>& bytes)
{
    OPENSSL_cleanse(bytes.data(), bytes.size());
}

// Reads the configuration record; false when anything is out of place.
struct ConfigRecord
{
    int displayTime = 0;
    int algorithm = 0;
    int timeStep = 0;
    uint32_t clock = 0;
    int option = -1;
};

bool ParseConfigRecord(const std::vector<uint8_t>& data, ConfigRecord& record)
{
    // 81 L, then 1F 01 d, 86 06 (0A 01 a, 0D 01 s), 0F 04 clock, [22 01 o].
    static const int displayTimes[] = {15, 30, 60, 120};
    if (data.size() != 19 && data.size() != 22)
        return false;
    if (data[0] != 0x81 || data[1] != data.size() - 2)
        return false;
    const uint8_t* r = data.data() + 2;
    if (r[0] != 0x1F || r[1] != 0x01 || r[2] > 3 || r[3] != 0x86 || r[4] != 0x06 || r[5] != 0x0A ||
        r[6] != 0x01 || (r[7] != 1 && r[7] != 2) || r[8] != 0x0D || r[9] != 0x01 ||
        (r[10] != 30 && r[10] != 60) || r[11] != 0x0F || r[12] != 0x04)
        return false;
    record.displayTime = displayTimes[r[2]];
    record.algorithm = r[7];
    record.timeStep = r[10];
    record.clock = static_cast<uint32_t>(r[13]) << 24 | static_cast<uint32_t>(r[14]) << 16 |
                   static_cast<uint32_t>(r[15]) << 8 | r[16];
    if (data.size() == 22) {
        if (r[17] != 0x22 || r[18] != 0x01 || (r[19] != 0 && (r[19] < 3 || r[19] > 15)))
            return false;
        record.option = r[19];
    }
    return true;
}

} // namespace

VirtualTokenState::~VirtualTokenState()
{
    Wipe(seed);
}

int64_t HostTimeNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

VirtualToken::VirtualToken(VirtualTokenSettings settings) : m_settings(std::move(settings))
{
    m_settings.maxTries = std::clamp(m_settings.maxTries, 1, 15);
    if (m_settings.serial.size() > SERIAL_MAX)
        m_settings.serial.resize(SERIAL_MAX);
    m_state.serial = m_settings.serial;
    m_state.clockOffset = m_settings.clockOffset;
    m_state.maxTries = m_settings.maxTries;
    m_state.triesLeft = m_settings.maxTries;
}

VirtualToken::~VirtualToken()
{
    OPENSSL_cleanse(m_settings.customerKey.data(), m_settings.customerKey.size());
}

std::vector<uint8_t> VirtualToken::atr() const
{
    // Direct convention, no historical bytes; T=0 is what an ATR without
    // protocol bytes means.
    if (m_settings.protocolT0)
        return {0x3B, 0x00};
    return {0x3B, 0x80, 0x80, 0x01, 0x01};
}

void VirtualToken::powerOn()
{
    std::lock_guard lock(m_lock);
    endSession();
    m_state.powered = true;
}

void VirtualToken::powerOff()
{
    std::lock_guard lock(m_lock);
    endSession();
    m_state.powered = false;
}

void VirtualToken::reset()
{
    std::lock_guard lock(m_lock);
    endSession();
    m_state.powered = true;
}

void VirtualToken::endSession()
{
    m_state.authenticated = false;
    m_challenge.reset();
    m_offeredChallenge.reset();
}

TokenAnswer VirtualToken::answer(const uint8_t* command, size_t length)
{
    std::lock_guard lock(m_lock);
    m_received.emplace_back(command, command + length);
    m_receivedAt.push_back(std::chrono::steady_clock::now());
    // A challenge serves the command right after it, and no other.
    m_offeredChallenge = std::exchange(m_challenge, std::nullopt);
    TokenAnswer answer;
    answer.delay = m_insDelay && length >= 2 && command[1] == m_insDelay->first ? m_insDelay->second
                                                                                : m_answerDelay;
    if (m_holdIns && length >= 2 && command[1] == *m_holdIns) {
        answer.held = true;
        m_holdIns.reset();
    }
    answer.lift = std::exchange(m_nextLift, TokenAnswer::Lift::No);
    if (m_liftAfterAnswers > 0 && --m_liftAfterAnswers == 0)
        answer.lift = TokenAnswer::Lift::AfterAnswer;
    if (answer.lift == TokenAnswer::Lift::BeforeAnswer)
        return answer;
    const bool forced =
        m_nextStatus && (!m_nextStatusIns || (length >= 2 && command[1] == *m_nextStatusIns));
    if (forced) {
        answer.response = Status(*m_nextStatus);
        m_nextStatus.reset();
        m_nextStatusIns.reset();
    } else
        answer.response = execute(command, length);
    return answer;
}

std::vector<uint8_t> VirtualToken::execute(const uint8_t* command, size_t length)
{
    if (length < 4)
        return Status(Sw::WrongLength);
    const uint8_t cla = command[0], ins = command[1], p1 = command[2], p2 = command[3];
    if (cla != CLA_PLAIN && cla != CLA_SECURED)
        return Status(Sw::ClaNotSupported);

    switch (ins) {
    case 0x41:
    case 0x4B:
    case 0xCE:
        break;
    case 0xC5:
    case 0xD4:
    case 0xC7:
        return Status(secured(command, length));
    default:
        return Status(Sw::InsNotSupported);
    }

    // The plain commands: 80 INS P1 P2 [Lc data] or 80 INS P1 P2 Le.
    if (cla != CLA_PLAIN)
        return Status(Sw::ClaNotSupported);
    std::vector<uint8_t> data;
    if (length > 5) {
        if (command[4] != length - 5)
            return Status(Sw::WrongLength);
        data.assign(command + 5, command + length);
    }
    if (ins == 0x41)
        return readInfo(p1, p2, data);
    if (ins == 0x4B)
        return getChallenge(p1, p2, length);
    return Status(authenticate(p1, p2, data));
}

std::vector<uint8_t> VirtualToken::readInfo(uint8_t p1, uint8_t p2,
                                            const std::vector<uint8_t>& data) const
{
    if (p1 != 0 || p2 != 0)
        return Status(Sw::WrongP1P2);
    if (data.size() != 2)
        return Status(Sw::WrongLength);
    if (data[0] != 0x02 || data[1] != 0x11)
        return Status(Sw::WrongData);
    // Four leading bytes, the serial number, a version, the clock, 90 00.
    const uint32_t now = static_cast<uint32_t>(HostTimeNow() + m_state.clockOffset);
    std::vector<uint8_t> answer;
    answer.reserve(m_state.serial.size() + 12);
    for (uint8_t b :
         {uint8_t{0x02}, uint8_t{0x11}, uint8_t{0x00}, static_cast<uint8_t>(m_state.serial.size())})
        answer.push_back(b);
    answer.insert(answer.end(), m_state.serial.begin(), m_state.serial.end());
    for (uint8_t b : {uint8_t{0x01}, uint8_t{0x00}, static_cast<uint8_t>(now >> 24),
                      static_cast<uint8_t>(now >> 16), static_cast<uint8_t>(now >> 8),
                      static_cast<uint8_t>(now), uint8_t{0x90}, uint8_t{0x00}})
        answer.push_back(b);
    return answer;
}

std::vector<uint8_t> VirtualToken::getChallenge(uint8_t p1, uint8_t p2, size_t length)
{
    if (p1 != 8 || p2 != 0)
        return Status(Sw::WrongP1P2);
    if (length != 5)
        return Status(Sw::WrongLength);
    std::array<uint8_t, 8> challenge;
    if (!RandomBytes(challenge.data(), challenge.size()))
        return Status(Sw::ConditionsNotSatisfied);
    m_challenge = challenge;
    std::vector<uint8_t> answer(challenge.begin(), challenge.end());
    answer.push_back(0x90);
    answer.push_back(0x00);
    return answer;
}

uint16_t VirtualToken::authenticate(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data)
{
    if (p1 != 0 || p2 != 0)
        return Sw::WrongP1P2;
    if (data.size() != 16)
        return Sw::WrongLength;
    if (m_state.triesLeft == 0)
        return Sw::AuthBlocked;
    if (!m_offeredChallenge)
        return Sw::ConditionsNotSatisfied;

    // The cryptogram is the challenge and eight zero bytes under the key.
    uint8_t expected[16] = {};
    std::copy(m_offeredChallenge->begin(), m_offeredChallenge->end(), expected);
    m_offeredChallenge.reset();
    const bool encrypted =
        Sm4Blocks(m_settings.customerKey.data(), expected, sizeof expected, expected, true);
    const bool match = encrypted && CRYPTO_memcmp(expected, data.data(), sizeof expected) == 0;
    OPENSSL_cleanse(expected, sizeof expected);
    if (!match) {
        m_state.authenticated = false;
        --m_state.triesLeft;
        return static_cast<uint16_t>(Sw::TriesLeft | m_state.triesLeft);
    }
    m_state.authenticated = true;
    m_state.triesLeft = m_state.maxTries;
    return Sw::Ok;
}

uint16_t VirtualToken::secured(const uint8_t* command, size_t length)
{
    if (command[0] != CLA_SECURED)
        return Sw::SmObjectsMissing;
    if (length < 9 || command[4] != length - 5)
        return Sw::WrongLength;
    if (!m_state.authenticated)
        return Sw::SecurityNotSatisfied;

    // The MAC covers the header as it reads unprotected: class 80, Lc without the MAC.
    const size_t dataLength = length - 9;
    std::vector<uint8_t> macInput(command, command + 5 + dataLength);
    macInput[0] = CLA_PLAIN;
    macInput[4] = static_cast<uint8_t>(dataLength);
    std::array<uint8_t, 4> mac;
    if (!Sm4CbcMac(m_settings.customerKey.data(), macInput, mac) ||
        CRYPTO_memcmp(mac.data(), command + length - 4, 4) != 0)
        return Sw::SmObjectsIncorrect;

    const std::vector<uint8_t> data(command + 5, command + 5 + dataLength);
    switch (command[1]) {
    case 0xC5:
        return writeSeed(command[2], command[3], data);
    case 0xD4:
        return configure(command[2], command[3], data);
    default:
        return seal(command[2], command[3], data);
    }
}

uint16_t VirtualToken::writeSeed(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data)
{
    if (p1 != 1 || p2 != 0)
        return Sw::WrongP1P2;
    if (data.empty() || data.size() > 64 || data.size() % 16 != 0)
        return Sw::WrongLength;
    if (m_state.sealed)
        return Sw::ConditionsNotSatisfied;

    std::vector<uint8_t> padded(data.size());
    if (!Sm4Blocks(m_settings.customerKey.data(), data.data(), data.size(), padded.data(), false))
        return Sw::WrongData;
    // 0x80 then zeros end the seed; an empty seed is not worth keeping.
    // The padding is one to sixteen bytes, so it lies in the last block.
    auto last = std::find_if(padded.rbegin(), padded.rend(), [](uint8_t b) { return b != 0; });
    const bool wellPadded = last != padded.rend() && *last == 0x80 && last + 1 != padded.rend() &&
                            last - padded.rbegin() < 16;
    if (!wellPadded) {
        Wipe(padded);
        return Sw::WrongData;
    }
    Wipe(m_state.seed);
    m_state.seed.assign(padded.begin(), padded.begin() + (padded.rend() - last - 1));
    Wipe(padded);
    return Sw::Ok;
}

uint16_t VirtualToken::configure(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data)
{
    if (p1 != 0 || p2 != 0)
        return Sw::WrongP1P2;
    if (m_state.sealed)
        return Sw::ConditionsNotSatisfied;
    ConfigRecord record;
    if (!ParseConfigRecord(data, record))
        return Sw::WrongData;
    m_state.displayTime = record.displayTime;
    m_state.algorithm = record.algorithm;
    m_state.timeStep = record.timeStep;
    m_state.option = record.option;
    m_state.clockOffset = static_cast<int64_t>(record.clock) - HostTimeNow();
    m_state.configured = true;
    return Sw::Ok;
}

uint16_t VirtualToken::seal(uint8_t p1, uint8_t p2, const std::vector<uint8_t>& data)
{
    if (p1 != 0 || p2 != 0)
        return Sw::WrongP1P2;
    if (!data.empty())
        return Sw::WrongLength;
    m_state.sealed = true;
    return Sw::Ok;
}

VirtualTokenState VirtualToken::state() const
{
    std::lock_guard lock(m_lock);
    return m_state;
}

std::vector<std::vector<uint8_t>> VirtualToken::received() const
{
    std::lock_guard lock(m_lock);
    return m_received;
}

std::vector<std::chrono::steady_clock::time_point> VirtualToken::receivedAt() const
{
    std::lock_guard lock(m_lock);
    return m_receivedAt;
}

uint32_t VirtualToken::clock(int64_t hostTime) const
{
    std::lock_guard lock(m_lock);
    return static_cast<uint32_t>(hostTime + m_state.clockOffset);
}

std::string VirtualToken::displayedCode(int64_t hostTime) const
{
    std::lock_guard lock(m_lock);
    if (m_state.seed.empty())
        return {};
    const uint32_t tokenClock = static_cast<uint32_t>(hostTime + m_state.clockOffset);
    return SixDigitCode(m_state.algorithm, m_state.seed,
                        tokenClock / static_cast<uint32_t>(m_state.timeStep));
}

void VirtualToken::answerNextWith(uint16_t statusWord, std::optional<uint8_t> ins)
{
    std::lock_guard lock(m_lock);
    m_nextStatus = statusWord;
    m_nextStatusIns = ins;
}

void VirtualToken::liftOnNextCommand()
{
    std::lock_guard lock(m_lock);
    m_nextLift = TokenAnswer::Lift::BeforeAnswer;
}

void VirtualToken::liftAfterNextAnswer()
{
    std::lock_guard lock(m_lock);
    m_nextLift = TokenAnswer::Lift::AfterAnswer;
}

void VirtualToken::liftAfterAnswers(int count)
{
    std::lock_guard lock(m_lock);
    m_liftAfterAnswers = count;
}

void VirtualToken::setAnswerDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_lock);
    m_answerDelay = delay;
}

void VirtualToken::delayAnswerTo(uint8_t ins, std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_lock);
    m_insDelay.emplace(ins, delay);
}

void VirtualToken::holdAnswerTo(uint8_t ins)
{
    std::lock_guard lock(m_lock);
    m_holdIns = ins;
    m_released = false;
}

void VirtualToken::releaseAnswer()
{
    {
        std::lock_guard lock(m_lock);
        m_released = true;
    }
    m_releasedChanged.notify_all();
}

bool VirtualToken::waitForRelease(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_lock);
    return m_releasedChanged.wait_for(lock, timeout, [this] { return m_released; });
}

void VirtualToken::setSerial(const std::string& serial)
{
    std::lock_guard lock(m_lock);
    m_state.serial = serial.substr(0, SERIAL_MAX);
}

void VirtualToken::setClockOffset(int64_t offset)
{
    std::lock_guard lock(m_lock);
    m_state.clockOffset = offset;
}
