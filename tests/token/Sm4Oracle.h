#pragma once

#include <cstdint>
#include <openssl/evp.h>
#include <vector>

// The four-byte MAC as OpenSSL's SM4-CBC computes it over data padded with
// 0x80 and zeros: an independent check of the station's Sm4Mac.
inline std::vector<uint8_t> OracleMac(const uint8_t* key, std::vector<uint8_t> data)
{
    data.push_back(0x80);
    while (data.size() % 16 != 0)
        data.push_back(0);
    std::vector<uint8_t> out(data.size());
    const uint8_t iv[16] = {};
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int length = 0;
    EVP_EncryptInit_ex(context, EVP_sm4_cbc(), nullptr, key, iv);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, out.data(), &length, data.data(), static_cast<int>(data.size()));
    EVP_CIPHER_CTX_free(context);
    return {out.end() - 16, out.end() - 12};
}
