#include "Sm4.h"

#include "SecretBuffer.h"

#include <cstring>
#include <memory>
#include <openssl/evp.h>

namespace {

constexpr unsigned BLOCK = 16;

// Fetched once: the implicit fetch of EVP_sm4_ecb() on every call costs more
// than the encryption of a block.
const EVP_CIPHER* Sm4EcbCipher()
{
    static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "SM4-ECB", nullptr);
    return cipher;
}

struct CipherContextFree
{
    // Freeing the context also wipes its key schedule.
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

} // namespace

int Sm4Ecb(const uint8_t* key, const uint8_t* input, unsigned length, uint8_t* output,
           unsigned* capacity, int mode)
{
    if (key == nullptr || input == nullptr || output == nullptr || capacity == nullptr ||
        length == 0 || length % BLOCK != 0)
        return SM4_ERR_ARGUMENT;
    if (mode != SM4_ENCRYPT && mode != SM4_DECRYPT)
        return SM4_ERR_MODE;
    if (*capacity < length) {
        *capacity = length;
        return SM4_ERR_CAPACITY;
    }

    const EVP_CIPHER* cipher = Sm4EcbCipher();
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    if (cipher == nullptr || context == nullptr)
        return SM4_ERR_CRYPTO;
    const int encrypt = mode == SM4_ENCRYPT ? 1 : 0;
    if (EVP_CipherInit_ex2(context.get(), cipher, key, nullptr, encrypt, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1)
        return SM4_ERR_CRYPTO;
    int written = 0;
    if (EVP_CipherUpdate(context.get(), output, &written, input, static_cast<int>(length)) != 1 ||
        written != static_cast<int>(length))
        return SM4_ERR_CRYPTO;
    *capacity = length;
    return SM4_OK;
}

int Sm4Mac(const uint8_t* key, const uint8_t* data, unsigned length, uint8_t* mac,
           unsigned* capacity)
{
    if (capacity == nullptr || mac == nullptr)
        return SM4_ERR_ARGUMENT;
    if (*capacity < 4) {
        *capacity = 4;
        return SM4_MAC_ERR_CAPACITY;
    }
    if (key == nullptr || (data == nullptr && length > 0))
        return SM4_ERR_ARGUMENT;

    SecretBuffer<BLOCK> chain;
    auto absorb = [&](const uint8_t* block) {
        for (unsigned i = 0; i < BLOCK; ++i)
            chain[i] ^= block[i];
        unsigned room = BLOCK;
        return Sm4Ecb(key, chain.data(), BLOCK, chain.data(), &room, SM4_ENCRYPT);
    };

    unsigned offset = 0;
    for (; length - offset >= BLOCK; offset += BLOCK) {
        if (int result = absorb(data + offset); result != SM4_OK)
            return result;
    }
    // The last block is always there: the remaining 0..15 bytes, 0x80, zeros.
    SecretBuffer<BLOCK> last;
    if (length > offset)
        std::memcpy(last.data(), data + offset, length - offset);
    last[length - offset] = 0x80;
    if (int result = absorb(last.data()); result != SM4_OK)
        return result;

    std::memcpy(mac, chain.data(), 4);
    *capacity = 4;
    return SM4_OK;
}
