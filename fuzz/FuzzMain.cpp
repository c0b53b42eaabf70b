// The libFuzzer entry of one target; STATION_FUZZ_BODY names its body
// (fuzz/FuzzTargets.h), set by station_add_fuzz_target in CMakeLists.txt.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    STATION_FUZZ_BODY(data, size);
    return 0;
}
