#pragma once

#include <string>

// The readers the platform reports. Connections to a card are CardChannel's.

// Appends every reader name followed by "[E]" to text (UTF-8). 0 on success,
// -1 when the platform gives no context or no reader; text is then unchanged.
// The list is read in full, however long.
int ListReaders(std::string& text);
