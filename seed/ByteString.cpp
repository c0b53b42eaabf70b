#include "seed/ByteString.h"

#include <functional>

void WipeMemory(void* bytes, size_t count)
{
    // Stores through a volatile pointer count as observable, so the compiler
    // cannot drop them as dead stores before the memory is freed.
    volatile uint8_t* cursor = static_cast<volatile uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        cursor[i] = 0;
    }
}

void WipeBytes(ByteString& bytes)
{
    WipeMemory(bytes.data(), bytes.size());
}

// The allocator wipes every block it releases, which covers the storage given
// up by assignment, by growth and at the end of the object's life.
ByteString& ByteString::operator=(const ByteString& other) = default;
ByteString::ByteString(ByteString&& other) noexcept = default;
ByteString& ByteString::operator=(ByteString&& other) noexcept = default;
ByteString::~ByteString() = default;

void ByteString::push_back(uint8_t byte)
{
    m_bytes.push_back(byte);
}

void ByteString::append(const ByteString& other)
{
    append(other.data(), other.size());
}

void ByteString::append(const uint8_t* bytes, size_t count)
{
    if (count == 0) {
        return;
    }
    const uint8_t* first = m_bytes.data();
    const bool fromSelf = std::greater_equal<const uint8_t*>()(bytes, first) &&
                          std::less<const uint8_t*>()(bytes, first + m_bytes.size());
    if (fromSelf) {
        // Growing may move the storage the bytes are read from.
        ByteString copy(bytes, count);
        m_bytes.insert(m_bytes.end(), copy.data(), copy.data() + count);
        return;
    }
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
}

void ByteString::resize(size_t count)
{
    if (count < m_bytes.size()) {
        // The dropped tail stays in the capacity until release; clear it now.
        WipeMemory(m_bytes.data() + count, m_bytes.size() - count);
    }
    m_bytes.resize(count);
}
