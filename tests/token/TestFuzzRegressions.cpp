// The token link's fuzz targets over the inputs kept in fuzz/regressions/:
// the normal suite replays them without clang or libFuzzer.
#include "fuzz/FuzzReplay.h"
#include "fuzz/FuzzTargets.h"

TEST(FuzzRegressions, ReadInfoAnswer)
{
    ReplayFuzzRegressions("read_info", FuzzReadInfoAnswer);
}

TEST(FuzzRegressions, TokenTimeText)
{
    ReplayFuzzRegressions("token_time", FuzzTokenTimeText);
}
