#include "TokenCipher.h"

#include <cstdio>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace {

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

bool Sm4(const EVP_CIPHER* cipher, const uint8_t* key, const uint8_t* input, size_t length,
         uint8_t* output, bool encrypt)
{
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    const uint8_t zeroIv[16] = {};
    int written = 0;
    return context != nullptr && length % 16 == 0 &&
           EVP_CipherInit_ex(context.get(), cipher, nullptr, key, zeroIv, encrypt ? 1 : 0) == 1 &&
           EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
           EVP_CipherUpdate(context.get(), output, &written, input, static_cast<int>(length)) ==
               1 &&
           written == static_cast<int>(length);
}

} // namespace

bool Sm4Blocks(const uint8_t* key, const uint8_t* input, size_t length, uint8_t* output,
               bool encrypt)
{
    return Sm4(EVP_sm4_ecb(), key, input, length, output, encrypt);
}

bool Sm4CbcMac(const uint8_t* key, const std::vector<uint8_t>& data, std::array<uint8_t, 4>& mac)
{
    std::vector<uint8_t> padded = data;
    padded.push_back(0x80);
    padded.resize((padded.size() + 15) / 16 * 16, 0x00);
    std::vector<uint8_t> chained(padded.size());
    if (!Sm4(EVP_sm4_cbc(), key, padded.data(), padded.size(), chained.data(), true))
        return false;
    std::copy(chained.end() - 16, chained.end() - 12, mac.begin());
    return true;
}

std::string SixDigitCode(int algorithm, const std::vector<uint8_t>& seed, uint64_t counter)
{
    uint8_t message[8];
    for (int i = 7; i >= 0; --i, counter >>= 8)
        message[i] = static_cast<uint8_t>(counter);
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned digestLength = 0;
    const EVP_MD* md = algorithm == 2 ? EVP_sha256() : EVP_sha1();
    if (HMAC(md, seed.data(), static_cast<int>(seed.size()), message, sizeof message, digest,
             &digestLength) == nullptr)
        return {};
    // Dynamic truncation: four bytes from the offset the last nibble names.
    const unsigned offset = digest[digestLength - 1] & 0x0F;
    const uint32_t value = (static_cast<uint32_t>(digest[offset] & 0x7F) << 24) |
                           (static_cast<uint32_t>(digest[offset + 1]) << 16) |
                           (static_cast<uint32_t>(digest[offset + 2]) << 8) | digest[offset + 3];
    OPENSSL_cleanse(digest, sizeof digest);
    char text[8];
    std::snprintf(text, sizeof text, "%06u", value % 1000000);
    return text;
}

bool RandomBytes(uint8_t* bytes, size_t count)
{
    return RAND_bytes(bytes, static_cast<int>(count)) == 1;
}
