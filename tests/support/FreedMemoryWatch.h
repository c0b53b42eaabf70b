#pragma once

#include <cstddef>
#include <cstdint>

// A test program that links FreedMemoryWatch.cpp gets its own global
// operator new and delete. They let a test ask whether any heap block released
// while watching still held one of a few byte patterns (a key, a pad, a digest),
// and make an allocation fail to drive the code's unwinding paths.
namespace FreedMemoryWatch {

constexpr size_t kMaxPatterns = 8;
constexpr size_t kMaxPatternSize = 128;

// Forgets earlier patterns and findings; watching starts with the first Watch.
void Reset();
// Adds a pattern to look for in every block released from now on.
void Watch(const uint8_t* pattern, size_t size);
// Stops watching; true when a released block held a watched pattern.
bool StopAndReport();
// The allocation after the next `allowed` ones throws std::bad_alloc;
// a negative count lets every allocation through.
void FailAfter(int allowed);

} // namespace FreedMemoryWatch
