#pragma once

#include "otp/BlockHash.h"

// Incremental SHA-1 and SHA-256 for the engine's own use: the HMAC feeds pad
// and message without joining them into one buffer. Each context wipes its
// chaining state when it goes out of scope.
class Sha1Context : public BlockHash<Sha1Context>
{
public:
    static constexpr size_t kDigestSize = 20;

    Sha1Context() = default;
    ~Sha1Context();
    ByteString Final();

private:
    friend class BlockHash<Sha1Context>;
    void Compress(const uint8_t* block);

    uint32_t m_state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
};

class Sha256Context : public BlockHash<Sha256Context>
{
public:
    static constexpr size_t kDigestSize = 32;

    Sha256Context() = default;
    ~Sha256Context();
    ByteString Final();

private:
    friend class BlockHash<Sha256Context>;
    void Compress(const uint8_t* block);

    uint32_t m_state[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                           0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
};
