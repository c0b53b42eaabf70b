#include "otp/HashContexts.h"
#include "otp/Totp.h"

Sha1Context::~Sha1Context()
{
    WipeMemory(m_state, sizeof m_state);
}

void Sha1Context::Compress(const uint8_t* block)
{
    uint32_t w[80];
    ScopedWipe wipeSchedule(w, sizeof w);
    for (int t = 0; t < 16; ++t) {
        w[t] = LoadU32BE(block + 4 * t);
    }
    for (int t = 16; t < 80; ++t) {
        w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    }

    uint32_t v[5] = {m_state[0], m_state[1], m_state[2], m_state[3], m_state[4]};
    ScopedWipe wipeWorking(v, sizeof v);
    for (int t = 0; t < 80; ++t) {
        uint32_t f = 0;
        uint32_t k = 0;
        if (t < 20) {
            f = (v[1] & v[2]) | (~v[1] & v[3]);
            k = 0x5A827999;
        } else if (t < 40) {
            f = v[1] ^ v[2] ^ v[3];
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (v[1] & v[2]) | (v[1] & v[3]) | (v[2] & v[3]);
            k = 0x8F1BBCDC;
        } else {
            f = v[1] ^ v[2] ^ v[3];
            k = 0xCA62C1D6;
        }
        const uint32_t next = RotateLeft(v[0], 5) + f + v[4] + k + w[t];
        v[4] = v[3];
        v[3] = v[2];
        v[2] = RotateLeft(v[1], 30);
        v[1] = v[0];
        v[0] = next;
    }
    for (int i = 0; i < 5; ++i) {
        m_state[i] += v[i];
    }
}

ByteString Sha1Context::Final()
{
    Pad();
    ByteString digest(kDigestSize);
    for (size_t i = 0; i < kDigestSize / 4; ++i) {
        StoreU32BE(digest.data() + 4 * i, m_state[i]);
    }
    return digest;
}

ByteString Sha1(const ByteString& message)
{
    Sha1Context context;
    context.Update(message);
    return context.Final();
}
