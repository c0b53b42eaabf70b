#include "FreedMemoryWatch.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct Pattern
{
    uint8_t bytes[FreedMemoryWatch::kMaxPatternSize];
    size_t size;
};

// Test programs run their tests on one thread; the atomics keep a stray
// release from another thread from tearing the flags.
Pattern g_patterns[FreedMemoryWatch::kMaxPatterns];
std::atomic<size_t> g_patternCount{0};
std::atomic<bool> g_watching{false};
std::atomic<bool> g_found{false};
std::atomic<int> g_allocationsLeft{-1};

// Each block carries its size in front, so a release knows what to scan.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size)
{
    int left = g_allocationsLeft.load();
    while (left >= 0) {
        if (left == 0) {
            g_allocationsLeft = -1;
            throw std::bad_alloc();
        }
        if (g_allocationsLeft.compare_exchange_weak(left, left - 1)) {
            break;
        }
    }
    auto* block = static_cast<uint8_t*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(block, &size, sizeof size);
    return block + kHeader;
}

bool Holds(const uint8_t* bytes, size_t size, const Pattern& pattern)
{
    for (size_t i = 0; i + pattern.size <= size; ++i) {
        if (std::memcmp(bytes + i, pattern.bytes, pattern.size) == 0) {
            return true;
        }
    }
    return false;
}

void Release(void* storage)
{
    if (storage == nullptr) {
        return;
    }
    auto* block = static_cast<uint8_t*>(storage) - kHeader;
    if (g_watching) {
        size_t size = 0;
        std::memcpy(&size, block, sizeof size);
        for (size_t p = 0; p < g_patternCount; ++p) {
            if (Holds(static_cast<const uint8_t*>(storage), size, g_patterns[p])) {
                g_found = true;
            }
        }
    }
    std::free(block);
}

} // namespace

namespace FreedMemoryWatch {

void Reset()
{
    g_watching = false;
    g_found = false;
    g_patternCount = 0;
    g_allocationsLeft = -1;
}

void Watch(const uint8_t* pattern, size_t size)
{
    const size_t index = g_patternCount;
    if (index >= kMaxPatterns || size == 0 || size > kMaxPatternSize) {
        std::abort();
    }
    std::memcpy(g_patterns[index].bytes, pattern, size);
    g_patterns[index].size = size;
    g_patternCount = index + 1;
    g_watching = true;
}

bool StopAndReport()
{
    g_watching = false;
    g_allocationsLeft = -1;
    return g_found;
}

void FailAfter(int allowed)
{
    g_allocationsLeft = allowed;
}

} // namespace FreedMemoryWatch

void* operator new(size_t size)
{
    return Allocate(size);
}

void* operator new[](size_t size)
{
    return Allocate(size);
}

void operator delete(void* storage) noexcept
{
    Release(storage);
}

void operator delete[](void* storage) noexcept
{
    Release(storage);
}

void operator delete(void* storage, size_t) noexcept
{
    Release(storage);
}

void operator delete[](void* storage, size_t) noexcept
{
    Release(storage);
}
