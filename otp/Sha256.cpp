#include "otp/HashContexts.h"
#include "otp/Totp.h"

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2,
};

uint32_t RotateRight(uint32_t value, int bits)
{
    return value >> bits | value << (32 - bits);
}

} // namespace

Sha256Context::~Sha256Context()
{
    WipeMemory(m_state, sizeof m_state);
}

void Sha256Context::Compress(const uint8_t* block)
{
    uint32_t w[64];
    ScopedWipe wipeSchedule(w, sizeof w);
    for (int t = 0; t < 16; ++t) {
        w[t] = LoadU32BE(block + 4 * t);
    }
    for (int t = 16; t < 64; ++t) {
        const uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ w[t - 15] >> 3;
        const uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ w[t - 2] >> 10;
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }

    // a..h of the standard, as v[0]..v[7].
    uint32_t v[8];
    ScopedWipe wipeWorking(v, sizeof v);
    for (int i = 0; i < 8; ++i) {
        v[i] = m_state[i];
    }
    for (int t = 0; t < 64; ++t) {
        const uint32_t s1 = RotateRight(v[4], 6) ^ RotateRight(v[4], 11) ^ RotateRight(v[4], 25);
        const uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t t1 = v[7] + s1 + choice + kRoundConstants[t] + w[t];
        const uint32_t s0 = RotateRight(v[0], 2) ^ RotateRight(v[0], 13) ^ RotateRight(v[0], 22);
        const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        const uint32_t t2 = s0 + majority;
        v[7] = v[6];
        v[6] = v[5];
        v[5] = v[4];
        v[4] = v[3] + t1;
        v[3] = v[2];
        v[2] = v[1];
        v[1] = v[0];
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i) {
        m_state[i] += v[i];
    }
}

ByteString Sha256Context::Final()
{
    Pad();
    ByteString digest(kDigestSize);
    for (size_t i = 0; i < kDigestSize / 4; ++i) {
        StoreU32BE(digest.data() + 4 * i, m_state[i]);
    }
    return digest;
}

ByteString Sha256(const ByteString& message)
{
    Sha256Context context;
    context.Update(message);
    return context.Final();
}
