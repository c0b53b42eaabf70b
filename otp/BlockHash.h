#pragma once

#include "seed/ByteString.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// The 64-byte block walk and the length padding that SHA-1 and SHA-256 share.
// Hash supplies Compress(const uint8_t* block). Whole blocks of the message are
// compressed in place; only a partial block is copied, and that copy is wiped.
template <typename Hash> class BlockHash
{
public:
    static constexpr size_t kBlockSize = 64;

    void Update(const uint8_t* bytes, size_t count)
    {
        m_messageBytes += count;
        if (m_used > 0) {
            const size_t take = count < kBlockSize - m_used ? count : kBlockSize - m_used;
            std::memcpy(m_block + m_used, bytes, take);
            m_used += take;
            bytes += take;
            count -= take;
            if (m_used < kBlockSize) {
                return;
            }
            Compress(m_block);
            m_used = 0;
        }
        for (; count >= kBlockSize; bytes += kBlockSize, count -= kBlockSize) {
            Compress(bytes);
        }
        if (count > 0) {
            std::memcpy(m_block, bytes, count);
            m_used = count;
        }
    }
    void Update(const ByteString& bytes) { Update(bytes.data(), bytes.size()); }

protected:
    BlockHash() = default;
    ~BlockHash() { WipeMemory(m_block, sizeof m_block); }
    BlockHash(const BlockHash&) = delete;
    BlockHash& operator=(const BlockHash&) = delete;

    // One 0x80 byte, zeros up to 56 bytes into the block, then the message
    // length in bits as 8 bytes, most significant first. The length is kept in
    // 64 bits, so messages of any size hash correctly.
    void Pad()
    {
        const uint64_t bitCount = m_messageBytes * 8;
        m_block[m_used++] = 0x80;
        if (m_used > kBlockSize - 8) {
            std::memset(m_block + m_used, 0, kBlockSize - m_used);
            Compress(m_block);
            m_used = 0;
        }
        std::memset(m_block + m_used, 0, kBlockSize - 8 - m_used);
        for (size_t i = 0; i < 8; ++i) {
            m_block[kBlockSize - 1 - i] = static_cast<uint8_t>(bitCount >> (8 * i));
        }
        Compress(m_block);
        m_used = 0;
    }

private:
    void Compress(const uint8_t* block) { static_cast<Hash*>(this)->Compress(block); }

    uint8_t m_block[kBlockSize] = {};
    size_t m_used = 0;
    uint64_t m_messageBytes = 0;
};

inline uint32_t LoadU32BE(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

inline void StoreU32BE(uint8_t* bytes, uint32_t value)
{
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

inline uint32_t RotateLeft(uint32_t value, int bits)
{
    return value << bits | value >> (32 - bits);
}
