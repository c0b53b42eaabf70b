#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

// Overwrites raw memory in a way the optimiser keeps.
void WipeMemory(void* bytes, size_t count);

// Plain heap storage that is wiped before it goes back to the heap, so no copy
// of a secret survives a reallocation, a move-assignment or a destruction.
template <typename T> struct WipingAllocator
{
    using value_type = T;

    WipingAllocator() = default;
    template <typename U> WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* storage, size_t count) noexcept
    {
        WipeMemory(storage, count * sizeof(T));
        std::allocator<T>().deallocate(storage, count);
    }

    template <typename U> bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

// A growable byte sequence that owns its storage: keys, messages, digests and
// decoded seeds. It holds secrets, so its storage is wiped before release.
class ByteString
{
public:
    ByteString() = default;
    explicit ByteString(size_t count, uint8_t value = 0) : m_bytes(count, value) {}
    ByteString(const uint8_t* bytes, size_t count) : m_bytes(bytes, bytes + count) {}
    ByteString(std::initializer_list<uint8_t> bytes) : m_bytes(bytes) {}
    static ByteString FromText(std::string_view text)
    {
        return ByteString(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }

    ByteString(const ByteString&) = default;
    ByteString& operator=(const ByteString& other);
    ByteString(ByteString&& other) noexcept;
    ByteString& operator=(ByteString&& other) noexcept;
    ~ByteString();

    size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    uint8_t* data() { return m_bytes.data(); }
    const uint8_t* data() const { return m_bytes.data(); }
    uint8_t& operator[](size_t i) { return m_bytes[i]; }
    uint8_t operator[](size_t i) const { return m_bytes[i]; }
    auto begin() const { return m_bytes.begin(); }
    auto end() const { return m_bytes.end(); }

    void push_back(uint8_t byte);
    void append(const ByteString& other);
    void append(const uint8_t* bytes, size_t count);
    void resize(size_t count);

    friend bool operator==(const ByteString& a, const ByteString& b)
    {
        return a.m_bytes == b.m_bytes;
    }

private:
    std::vector<uint8_t, WipingAllocator<uint8_t>> m_bytes;
};

// Overwrites every byte with 0; the length is unchanged.
void WipeBytes(ByteString& bytes);
