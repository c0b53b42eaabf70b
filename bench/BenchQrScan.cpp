// Time of the station's QR scan on screen-sized rasters, beside one plain
// ZXing-C++ pass (QR codes only, default options) and zbar on the same
// rasters. Prints, per raster, the median times, the station's time over the
// plain pass's and which of the three found the otpauth code.
#include "PlainZxingPass.h"
#include "QrPictures.h"
#include "qr/QrScan.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <zbar.h>

using namespace zbar; // the C API lives in this namespace when compiled as C++

namespace {

const std::string kSecret = "JBSWY3DPEHPK3PXP";
const std::string kPayload = "otpauth://totp/Station:alice@example.org?secret=" + kSecret +
                             "&issuer=Station&algorithm=SHA256&digits=6&period=30";

struct Screen
{
    std::string name;
    Picture picture;
};

// A window-like screen; with a code, it sits right of the middle as a web
// page or an enrolment dialog would show it.
Screen MakeScreen(int width, int height, int scale, bool withCode)
{
    Screen screen{std::to_string(width) + "x" + std::to_string(height) +
                      (withCode ? "/code" : "/no-code"),
                  Picture(width, height, 240)};
    DrawWindowClutter(screen.picture, 2024);
    if (withCode) {
        QrPlacement placement;
        placement.scale = scale;
        placement.left = width * 3 / 5;
        placement.top = height / 3;
        DrawQrCode(screen.picture, kPayload, placement);
    }
    return screen;
}

bool PlainFinds(const Picture& picture)
{
    return PlainZxingPassFinds(picture, kPayload);
}

bool StationFinds(const Picture& picture)
{
    const QrScanResult result =
        ScanRasterForOtpauthSecret(picture.grey.data(), picture.width, picture.height);
    return result.status == QrScanStatus::SecretFound && result.secret == kSecret;
}

struct ZbarScanner
{
    ZbarScanner() : scanner(zbar_image_scanner_create())
    {
        zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
        zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    }
    ~ZbarScanner() { zbar_image_scanner_destroy(scanner); }
    zbar_image_scanner_t* scanner;
};

bool ZbarFinds(const Picture& picture)
{
    ZbarScanner zbar;
    zbar_image_t* image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, static_cast<unsigned>(picture.width),
                        static_cast<unsigned>(picture.height));
    zbar_image_set_data(image, picture.grey.data(), picture.grey.size(), nullptr);
    zbar_scan_image(zbar.scanner, image);
    bool found = false;
    for (const zbar_symbol_t* symbol = zbar_image_first_symbol(image); symbol != nullptr;
         symbol = zbar_symbol_next(symbol)) {
        const std::string data(zbar_symbol_get_data(symbol), zbar_symbol_get_data_length(symbol));
        found = found || data == kPayload;
    }
    zbar_image_destroy(image);
    return found;
}

void Run(benchmark::State& state, const Picture* picture, bool (*scan)(const Picture&))
{
    bool found = false;
    for (auto _ : state) {
        found = scan(*picture);
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found ? 1 : 0;
}

struct Median
{
    double milliseconds = 0;
    bool found = false;
};

// Keeps the median of every benchmark while the console shows them all.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name == "median") {
                const auto found = run.counters.find("found");
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                       found != run.counters.end() &&
                                                           found->second.value > 0.5};
            }
        }
    }
    std::map<std::string, Median> medians;
};

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::unique_ptr<Screen>> screens = [] {
        std::vector<std::unique_ptr<Screen>> made;
        for (bool withCode : {true, false}) {
            made.push_back(std::make_unique<Screen>(MakeScreen(1920, 1080, 4, withCode)));
            made.push_back(std::make_unique<Screen>(MakeScreen(3840, 2160, 6, withCode)));
        }
        return made;
    }();
    for (const auto& screen : screens) {
        for (auto [decoder, scan] :
             {std::pair{"station", &StationFinds}, {"plain", &PlainFinds}, {"zbar", &ZbarFinds}}) {
            benchmark::RegisterBenchmark((std::string(decoder) + "/" + screen->name).c_str(), Run,
                                         &screen->picture, scan)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(7)
                ->UseRealTime();
        }
    }

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-22s %11s %11s %11s %9s  %s\n", "raster", "station ms", "plain ms", "zbar ms",
                "st/plain", "found (station, plain, zbar)");
    for (const auto& screen : screens) {
        const auto station = reporter.medians.find("station/" + screen->name);
        const auto plain = reporter.medians.find("plain/" + screen->name);
        const auto zbar = reporter.medians.find("zbar/" + screen->name);
        if (station == reporter.medians.end() || plain == reporter.medians.end() ||
            zbar == reporter.medians.end()) {
            continue;
        }
        auto yes = [](const Median& median) { return median.found ? "yes" : "no"; };
        std::printf("%-22s %11.1f %11.1f %11.1f %9.2f  %s, %s, %s\n", screen->name.c_str(),
                    station->second.milliseconds, plain->second.milliseconds,
                    zbar->second.milliseconds,
                    station->second.milliseconds / plain->second.milliseconds, yes(station->second),
                    yes(plain->second), yes(zbar->second));
    }
    benchmark::Shutdown();
    return 0;
}
