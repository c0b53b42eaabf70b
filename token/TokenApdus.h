#pragma once

#include "SecureMessaging.h"

#include <cstddef>
#include <cstdint>

// The bytes the token commands send and the answers they read, apart from
// any connection, so that each can be checked byte by byte.

constexpr uint8_t INS_READ_INFO = 0x41;
constexpr uint8_t INS_GET_CHALLENGE = 0x4B;
constexpr uint8_t INS_AUTHENTICATE = 0xCE;
constexpr uint8_t INS_WRITE_SEED = 0xC5;
constexpr uint8_t INS_CONFIGURE = 0xD4;
constexpr uint8_t INS_SEAL = 0xC7;

constexpr size_t CHALLENGE_SIZE = 8;
constexpr size_t SEED_MAX = 63;
constexpr uint16_t SW_OK = 0x9000;

Apdu ReadInfoApdu();
Apdu GetChallengeApdu();

// 80 CE 00 00 10 and the cryptogram: the challenge followed by eight zero
// bytes, encrypted under the key. Returns 0 or the result of Sm4Ecb.
int BuildAuthenticateApdu(const uint8_t* key, const uint8_t* challenge, Apdu& apdu);

// The seed (at most SEED_MAX bytes) padded, encrypted under the key and sent
// as secured WRITE SEED. Returns 0, -1 for a seed too long, or an SM4 result.
int BuildWriteSeedApdu(const uint8_t* key, const uint8_t* seed, size_t length, Apdu& apdu);

// The configuration record: display time code (0..3), algorithm code (1 SHA1,
// 2 SHA256), time step in seconds, clock value, and the option element
// unless option is -1. The values are taken as given; the caller checks them.
std::vector<uint8_t> BuildConfigRecord(int displayTimeCode, int algorithmCode, int timeStep,
                                       uint32_t clock, int option);

// Secured CONFIGURE whose data is 81, the record's length and the record.
int BuildConfigureApdu(const uint8_t* key, const std::vector<uint8_t>& record, Apdu& apdu);

// Secured SEAL, without data.
int BuildSealApdu(const uint8_t* key, Apdu& apdu);

// The status word SW1 SW2 of an answer; 0 for an answer shorter than two bytes.
uint16_t StatusWord(const uint8_t* answer, size_t length);

// What a READ INFO answer holds: 4 bytes not interpreted, the serial number
// up to 8 bytes before the end (cut at its first zero byte), 2 bytes not
// interpreted, the clock most significant byte first, the status word.
struct ReadInfoAnswer
{
    const uint8_t* serial = nullptr; // points into the answer
    size_t serialLength = 0;
    uint32_t clock = 0;
};

// False when the status word is not 90 00 or the answer is too short for the
// layout (under 12 bytes); nothing outside the answer is read.
bool ParseReadInfoAnswer(const uint8_t* answer, size_t length, ReadInfoAnswer& info);
