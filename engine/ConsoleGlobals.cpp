#include "ConsoleState.h"

const char g_customerKey[] = "5A1C9E07B3D24F68A0E7C1D93B2F4A86";
std::atomic<int> g_pollState{PollIdle};
std::atomic<int> g_detectPending{1};
std::atomic<int> g_programPending{1};
std::atomic<int> g_totalCount{0};
std::atomic<int> g_successCount{0};
std::atomic<int> g_failCount{0};
LockedText g_readerName;
