#include "otp/HashContexts.h"
#include "otp/Totp.h"

namespace {

// RFC 2104 over a hash with 64-byte blocks. The key block lives on the stack
// and turns from inner pad into outer pad in place; it is wiped on every way
// out. The hashed long key and the inner digest are ByteStrings, wiped by
// their storage.
template <typename Hash> ByteString Hmac(const ByteString& key, const ByteString& message)
{
    constexpr size_t kBlock = Hash::kBlockSize;
    uint8_t pad[kBlock] = {};
    ScopedWipe wipePad(pad, sizeof pad);
    if (key.size() > kBlock) {
        Hash keyHash;
        keyHash.Update(key);
        const ByteString hashedKey = keyHash.Final();
        std::memcpy(pad, hashedKey.data(), hashedKey.size());
    } else if (!key.empty()) {
        std::memcpy(pad, key.data(), key.size());
    }

    for (uint8_t& byte : pad) {
        byte ^= 0x36;
    }
    Hash inner;
    inner.Update(pad, sizeof pad);
    inner.Update(message);
    const ByteString innerDigest = inner.Final();

    for (uint8_t& byte : pad) {
        byte ^= 0x36 ^ 0x5C;
    }
    Hash outer;
    outer.Update(pad, sizeof pad);
    outer.Update(innerDigest);
    return outer.Final();
}

} // namespace

ByteString HmacSha1(const ByteString& key, const ByteString& message)
{
    return Hmac<Sha1Context>(key, message);
}

ByteString HmacSha256(const ByteString& key, const ByteString& message)
{
    return Hmac<Sha256Context>(key, message);
}
