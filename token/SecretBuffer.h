#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <openssl/crypto.h>

// Fixed-size storage for keys, seeds and their padded forms. The bytes are
// wiped when the buffer goes out of scope, so no secret outlives its command.
template <size_t N> class SecretBuffer
{
public:
    SecretBuffer() = default;
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;
    ~SecretBuffer() { wipe(); }

    uint8_t* data() { return m_bytes.data(); }
    const uint8_t* data() const { return m_bytes.data(); }
    static constexpr size_t size() { return N; }
    uint8_t& operator[](size_t i) { return m_bytes[i]; }
    uint8_t operator[](size_t i) const { return m_bytes[i]; }

    void wipe() { OPENSSL_cleanse(m_bytes.data(), N); }

private:
    std::array<uint8_t, N> m_bytes{};
};
