#include "TokenApdus.h"

#include "SecretBuffer.h"
#include "Sm4.h"
#include "TokenCommands.h"

#include <cstring>

Apdu ReadInfoApdu()
{
    return {CLA_PLAIN, INS_READ_INFO, 0x00, 0x00, 0x02, 0x02, 0x11};
}

Apdu GetChallengeApdu()
{
    return {CLA_PLAIN, INS_GET_CHALLENGE, CHALLENGE_SIZE, 0x00, 0x00};
}

int BuildAuthenticateApdu(const uint8_t* key, const uint8_t* challenge, Apdu& apdu)
{
    SecretBuffer<16> cryptogram;
    std::memcpy(cryptogram.data(), challenge, CHALLENGE_SIZE);
    unsigned capacity = cryptogram.size();
    if (int result = Sm4Ecb(key, cryptogram.data(), cryptogram.size(), cryptogram.data(), &capacity,
                            SM4_ENCRYPT);
        result != SM4_OK)
        return result;
    apdu = {CLA_PLAIN, INS_AUTHENTICATE, 0x00, 0x00, 0x10};
    apdu.insert(apdu.end(), cryptogram.data(), cryptogram.data() + cryptogram.size());
    return 0;
}

int BuildWriteSeedApdu(const uint8_t* key, const uint8_t* seed, size_t length, Apdu& apdu)
{
    if (length > SEED_MAX || (seed == nullptr && length > 0))
        return -1;
    SecretBuffer<PaddedLength(SEED_MAX)> padded;
    const size_t paddedLength = PaddedLength(length);
    if (length > 0)
        std::memcpy(padded.data(), seed, length);
    padded[length] = 0x80;
    unsigned capacity = padded.size();
    if (int result = Sm4Ecb(key, padded.data(), static_cast<unsigned>(paddedLength), padded.data(),
                            &capacity, SM4_ENCRYPT);
        result != SM4_OK)
        return result;
    return BuildSecuredCommand(key, INS_WRITE_SEED, 0x01, 0x00, padded.data(), paddedLength, apdu);
}

std::vector<uint8_t> BuildConfigRecord(int displayTimeCode, int algorithmCode, int timeStep,
                                       uint32_t clock, int option)
{
    std::vector<uint8_t> record;
    record.reserve(20);
    auto element = [&record](uint8_t tag, std::initializer_list<uint8_t> value) {
        record.push_back(tag);
        record.push_back(static_cast<uint8_t>(value.size()));
        record.insert(record.end(), value);
    };
    element(0x1F, {static_cast<uint8_t>(displayTimeCode)});
    record.push_back(0x86); // a group of the next two elements
    record.push_back(0x06);
    element(0x0A, {static_cast<uint8_t>(algorithmCode)});
    element(0x0D, {static_cast<uint8_t>(timeStep)});
    element(0x0F, {static_cast<uint8_t>(clock >> 24), static_cast<uint8_t>(clock >> 16),
                   static_cast<uint8_t>(clock >> 8), static_cast<uint8_t>(clock)});
    if (option != -1)
        element(0x22, {static_cast<uint8_t>(option)});
    return record;
}

int BuildConfigureApdu(const uint8_t* key, const std::vector<uint8_t>& record, Apdu& apdu)
{
    std::vector<uint8_t> data{0x81, static_cast<uint8_t>(record.size())};
    data.insert(data.end(), record.begin(), record.end());
    return BuildSecuredCommand(key, INS_CONFIGURE, 0x00, 0x00, data.data(), data.size(), apdu);
}

int BuildSealApdu(const uint8_t* key, Apdu& apdu)
{
    return BuildSecuredCommand(key, INS_SEAL, 0x00, 0x00, nullptr, 0, apdu);
}

uint16_t StatusWord(const uint8_t* answer, size_t length)
{
    if (answer == nullptr || length < 2)
        return 0;
    return static_cast<uint16_t>(answer[length - 2] << 8 | answer[length - 1]);
}

bool ParseReadInfoAnswer(const uint8_t* answer, size_t length, ReadInfoAnswer& info)
{
    // Four leading bytes, two unread bytes, four clock bytes, the status word.
    constexpr size_t FRAME = 12;
    if (StatusWord(answer, length) != SW_OK || length < FRAME)
        return false;
    const uint8_t* serial = answer + 4;
    const size_t room = length - FRAME;
    const void* zero = std::memchr(serial, 0, room);
    info.serial = serial;
    info.serialLength = zero ? static_cast<const uint8_t*>(zero) - serial : room;
    info.clock = ReadBigEndian(answer + length - 6, 4);
    return true;
}
