#pragma once

// The customer key built into the station, 32 hexadecimal characters: the one
// process-wide value, read-only.
extern const char g_customerKey[];
