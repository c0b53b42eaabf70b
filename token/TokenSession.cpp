#include "TokenSession.h"

#include "CustomerKey.h"
#include "TokenApdus.h"
#include "TokenCommands.h"
#include "TokenTime.h"

#include <array>
#include <cstring>

namespace {

constexpr unsigned long RESPONSE_CAPACITY = 1024;

struct Response
{
    std::array<uint8_t, RESPONSE_CAPACITY> bytes{};
    unsigned long length = 0;

    uint16_t statusWord() const { return StatusWord(bytes.data(), length); }
};

long Exchange(CardChannel& channel, const Apdu& command, Response& response)
{
    response.bytes.fill(0);
    response.length = RESPONSE_CAPACITY;
    return channel.transmit(command.data(), command.size(), response.bytes.data(),
                            &response.length);
}

int AlgorithmCode(const char* name)
{
    if (name != nullptr && std::strcmp(name, "SHA1") == 0)
        return 1;
    if (name != nullptr && std::strcmp(name, "SHA256") == 0)
        return 2;
    return 0;
}

int DisplayTimeCode(int displayTime)
{
    switch (displayTime) {
    case 15:
        return 0;
    case 30:
        return 1;
    case 60:
        return 2;
    case 120:
        return 3;
    default:
        return -1;
    }
}

bool IsValidOption(int option)
{
    return option == -1 || option == 0 || (option >= 3 && option <= 15);
}

} // namespace

int32_t TokenSession::open(const char* reader, SCARDCONTEXT context)
{
    if (m_channel.connect(reader, context) != TOKEN_OK)
        return TOKEN_ERR_CONNECT;
    if (m_channel.beginTransaction() != SCARD_S_SUCCESS) {
        m_channel.release();
        return TOKEN_ERR_CONNECT;
    }
    return TOKEN_OK;
}

int32_t TokenSession::readInfo(uint8_t* serial, unsigned* serialLength, uint8_t* clock,
                               unsigned* clockLength)
{
    if (!isOpen())
        return TOKEN_ERR_CONNECT;
    Response response;
    if (long result = Exchange(m_channel, ReadInfoApdu(), response); result != 0)
        return static_cast<int32_t>(result);
    ReadInfoAnswer info;
    if (!ParseReadInfoAnswer(response.bytes.data(), response.length, info))
        return TOKEN_ERR_STATUS;

    if (serial == nullptr || serialLength == nullptr || *serialLength < info.serialLength)
        return TOKEN_ERR_BUFFER;
    char text[TOKEN_CLOCK_TEXT_LENGTH + 1];
    FormatTokenClockText(info.clock, text);
    if (clock == nullptr || clockLength == nullptr || *clockLength < TOKEN_CLOCK_TEXT_LENGTH)
        return TOKEN_ERR_BUFFER;
    std::memcpy(serial, info.serial, info.serialLength);
    *serialLength = static_cast<unsigned>(info.serialLength);
    std::memcpy(clock, text, TOKEN_CLOCK_TEXT_LENGTH);
    *clockLength = TOKEN_CLOCK_TEXT_LENGTH;
    return TOKEN_OK;
}

int32_t TokenSession::authenticate(const char* customerKeyText)
{
    if (!isOpen())
        return TOKEN_ERR_CONNECT;
    CustomerKey key;
    if (int32_t result = ReadCustomerKey(customerKeyText, key); result != TOKEN_OK)
        return result;

    // The challenge is the first eight bytes of the answer, whatever its
    // length: a short answer leaves zeros, and the token then refuses.
    Response response;
    if (Exchange(m_channel, GetChallengeApdu(), response) != 0)
        return TOKEN_ERR_TRANSMIT;
    Apdu command;
    if (BuildAuthenticateApdu(key.data(), response.bytes.data(), command) != 0)
        return TOKEN_ERR_TRANSMIT;
    if (Exchange(m_channel, command, response) != 0)
        return TOKEN_ERR_TRANSMIT;

    const uint16_t sw = response.statusWord();
    if (sw == 0x6983)
        return TOKEN_ERR_KEY_LOCKED;
    if ((sw & 0xFFF0) == 0x63C0)
        return 0x1000 + (sw & 0xFF);
    if (sw != SW_OK)
        return TOKEN_ERR_AUTH;
    return TOKEN_OK;
}

int32_t TokenSession::writeSeed(const char* customerKeyText, const uint8_t* seed, int seedLength)
{
    if (!isOpen())
        return TOKEN_ERR_CONNECT;
    if (seedLength > static_cast<int>(SEED_MAX))
        return TOKEN_ERR_SEED_TOO_LONG;
    if (seedLength < 0 || (seed == nullptr && seedLength > 0))
        return TOKEN_ERR_BUFFER;
    CustomerKey key;
    if (int32_t result = ReadCustomerKey(customerKeyText, key); result != TOKEN_OK)
        return result;

    Apdu command;
    if (BuildWriteSeedApdu(key.data(), seed, static_cast<size_t>(seedLength), command) != 0)
        return TOKEN_ERR_TRANSMIT; // our own cryptography failed; nothing was sent
    Response response;
    if (long result = Exchange(m_channel, command, response); result != 0)
        return static_cast<int32_t>(result);
    if (response.statusWord() != SW_OK)
        return TOKEN_ERR_STATUS;
    return TOKEN_OK;
}

int32_t TokenSession::configure(const char* customerKeyText, const char* algorithmName,
                                int timeStep, int displayTime, const char* timeText, int option)
{
    if (!isOpen())
        return TOKEN_ERR_CONNECT;
    const int algorithmCode = AlgorithmCode(algorithmName);
    const int displayTimeCode = DisplayTimeCode(displayTime);
    if (algorithmCode == 0 || (timeStep != 30 && timeStep != 60) || displayTimeCode < 0)
        return TOKEN_ERR_BAD_CONFIG;
    CustomerKey key;
    if (int32_t result = ReadCustomerKey(customerKeyText, key); result != TOKEN_OK)
        return result;
    uint32_t clock = 0;
    if (timeText == nullptr || ParseTokenTimeText(timeText, std::strlen(timeText), &clock) != 0)
        return TOKEN_ERR_BAD_TIME;
    if (!IsValidOption(option))
        return TOKEN_ERR_BAD_CONFIG;

    Apdu command;
    const auto record = BuildConfigRecord(displayTimeCode, algorithmCode, timeStep, clock, option);
    if (BuildConfigureApdu(key.data(), record, command) != 0)
        return TOKEN_ERR_STATUS; // our own cryptography failed; nothing was sent
    Response response;
    if (Exchange(m_channel, command, response) != 0 || response.statusWord() != SW_OK)
        return TOKEN_ERR_STATUS;
    return TOKEN_OK;
}

int32_t TokenSession::seal(const char* customerKeyText)
{
    if (!isOpen())
        return TOKEN_ERR_CONNECT;
    CustomerKey key;
    if (int32_t result = ReadCustomerKey(customerKeyText, key); result != TOKEN_OK)
        return result;

    Apdu command;
    if (BuildSealApdu(key.data(), command) != 0)
        return TOKEN_ERR_STATUS; // our own cryptography failed; nothing was sent
    Response response;
    if (Exchange(m_channel, command, response) != 0 || response.statusWord() != SW_OK)
        return TOKEN_ERR_STATUS;
    return TOKEN_OK;
}
