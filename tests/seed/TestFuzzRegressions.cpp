// The seed side's fuzz targets over the inputs kept in fuzz/regressions/:
// the normal suite replays them without clang or libFuzzer.
#include "fuzz/FuzzReplay.h"
#include "fuzz/FuzzTargets.h"

TEST(FuzzRegressions, SeedFile)
{
    ReplayFuzzRegressions("seed_file", FuzzSeedFile);
}

TEST(FuzzRegressions, ExportRecord)
{
    ReplayFuzzRegressions("export_record", FuzzExportRecord);
}
