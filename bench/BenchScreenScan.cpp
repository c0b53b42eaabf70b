// What searching every screen costs Scan Screen: the scan of one
// screen-sized raster (all that was searched before, the primary screen)
// beside two and three screens, with the code on the last screen or on none.
#include "QrPictures.h"
#include "qr/ScreenCapture.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

const std::string kPayload = "otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP";

GreyRaster MakeScreen(int width, int height, bool withCode, uint32_t clutter)
{
    Picture picture(width, height, 240);
    DrawWindowClutter(picture, clutter);
    if (withCode) {
        QrPlacement placement;
        placement.left = width * 3 / 5;
        placement.top = height / 3;
        DrawQrCode(picture, kPayload, placement);
    }
    return GreyRaster{picture.width, picture.height, std::move(picture.grey)};
}

// state.range(0): screens; range(1): 1 when the last screen shows the code.
void BM_ScanScreens(benchmark::State& state)
{
    const int screens = static_cast<int>(state.range(0));
    const bool withCode = state.range(1) != 0;
    std::vector<GreyRaster> rasters;
    for (int i = 0; i < screens; ++i)
        rasters.push_back(MakeScreen(1920, 1080, withCode && i == screens - 1, 2024 + i));
    for (auto _ : state) {
        const QrScanResult result = ScanRastersForOtpauthSecret(rasters);
        if ((result.status == QrScanStatus::SecretFound) != withCode)
            state.SkipWithError("unexpected scan result");
        benchmark::DoNotOptimize(result);
    }
}

} // namespace

BENCHMARK(BM_ScanScreens)
    ->ArgsProduct({{1, 2, 3}, {0, 1}})
    ->ArgNames({"screens", "code"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
