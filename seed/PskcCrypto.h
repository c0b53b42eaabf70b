#pragma once

#include "ByteString.h"

#include <QString>
#include <optional>

// The ciphers of the encrypted PSKC export file, on OpenSSL 3's EVP API.
// Each returns nothing and says why in problem when OpenSSL fails.

// count bytes from OpenSSL's generator (IVs, the MAC key).
std::optional<ByteString> PskcRandomBytes(size_t count, QString* problem);

// xmlenc#aes128-cbc: the IV (16 random bytes) followed by the AES-128-CBC
// cipher text of plain with PKCS#7 padding. key has 16 bytes.
std::optional<ByteString> PskcEncryptAes128Cbc(const ByteString& key, const ByteString& plain,
                                               QString* problem);

// HMAC-SHA256 of message under key (32 bytes).
std::optional<ByteString> PskcHmacSha256(const ByteString& key, const ByteString& message,
                                         QString* problem);
