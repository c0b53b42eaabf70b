#include "QrPictures.h"
#include "qr/PictureScan.h"
#include "qr/QrScan.h"

#include <ZXing/ReadBarcode.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

// Lets GoogleTest name a status in its failures.
static void PrintTo(QrScanStatus status, std::ostream* out)
{
    static const char* const names[] = {"SecretFound", "NoOtpauthCode", "DecodeFailed",
                                        "OutOfMemory", "RasterUnusable"};
    *out << names[static_cast<int>(status)];
}

namespace {

const std::string kSecret = "JBSWY3DPEHPK3PXP";
const std::string kOtpauth = "otpauth://totp/Station:alice?secret=" + kSecret + "&issuer=Station";
const std::string kOtherOtpauth = "otpauth://totp/Station:bob?secret=GEZDGNBVGY3TQOJQ";

struct Row
{
    std::string name;
    std::function<void(Picture&)> draw;
    QrScanStatus status;
    std::string secret;
};

QrScanResult Scan(const Picture& picture)
{
    return ScanRasterForOtpauthSecret(picture.grey.data(), picture.width, picture.height);
}

void Draw(Picture& picture, const std::string& text, int left, int top, int scale = 4)
{
    QrPlacement placement;
    placement.left = left;
    placement.top = top;
    placement.scale = scale;
    DrawQrCode(picture, text, placement);
}

TEST(QrScan, TakesTheSecretOfTheFirstOtpauthCode)
{
    const Row rows[] = {
        {"one code", [](Picture& p) { Draw(p, kOtpauth, 100, 100); }, QrScanStatus::SecretFound,
         kSecret},
        {"among window clutter",
         [](Picture& p) {
             DrawWindowClutter(p, 1);
             Draw(p, kOtpauth, 300, 200);
         },
         QrScanStatus::SecretFound, kSecret},
        {"a web address beside it",
         [](Picture& p) {
             Draw(p, "https://example.org/enrol", 20, 20);
             Draw(p, kOtpauth, 400, 20);
         },
         QrScanStatus::SecretFound, kSecret},
        {"hotp with a counter",
         [](Picture& p) { Draw(p, "otpauth://hotp/x?counter=7&secret=MFRGG", 100, 100); },
         QrScanStatus::SecretFound, "MFRGG"},
        {"lower case and escapes kept as written",
         [](Picture& p) { Draw(p, "otpauth://totp/x?secret=jbsw%33dp+q", 100, 100); },
         QrScanStatus::SecretFound, "jbsw%33dp+q"},
        {"the payload ends at its first zero byte",
         [](Picture& p) {
             Draw(p, std::string("otpauth://totp/x?secret=MFRGG\0ZZZ&issuer=I", 42), 100, 100);
         },
         QrScanStatus::SecretFound, "MFRGG"},
        {"2 pixels per module", [](Picture& p) { Draw(p, kOtpauth, 50, 50, 2); },
         QrScanStatus::SecretFound, kSecret},
        {"3 pixels per module", [](Picture& p) { Draw(p, kOtpauth, 50, 50, 3); },
         QrScanStatus::SecretFound, kSecret},
        {"light on dark",
         [](Picture& p) {
             QrPlacement placement;
             placement.left = 100;
             placement.top = 100;
             placement.lightOnDark = true;
             DrawQrCode(p, kOtpauth, placement);
         },
         QrScanStatus::SecretFound, kSecret},
        {"a secret followed by '=' is passed over",
         [](Picture& p) {
             Draw(p, "otpauth://totp/x?secret=MFRGG===", 20, 20);
             Draw(p, kOtpauth, 400, 20);
         },
         QrScanStatus::SecretFound, kSecret},
        {"a damaged code does not hide a good one",
         [](Picture& p) {
             QrPlacement damaged;
             damaged.left = 20;
             damaged.top = 20;
             damaged.damaged = true;
             DrawQrCode(p, kOtherOtpauth, damaged);
             Draw(p, kOtpauth, 400, 20);
         },
         QrScanStatus::SecretFound, kSecret},
        {"no code", [](Picture& p) { DrawWindowClutter(p, 2); }, QrScanStatus::NoOtpauthCode, ""},
        {"only a web address", [](Picture& p) { Draw(p, "https://example.org/", 100, 100); },
         QrScanStatus::NoOtpauthCode, ""},
        {"capitalised scheme",
         [](Picture& p) { Draw(p, "OTPAUTH://totp/x?secret=MFRGG", 100, 100); },
         QrScanStatus::NoOtpauthCode, ""},
        {"no // after the scheme",
         [](Picture& p) { Draw(p, "otpauth:totp/x?secret=MFRGG", 100, 100); },
         QrScanStatus::NoOtpauthCode, ""},
        {"no secret pair", [](Picture& p) { Draw(p, "otpauth://totp/x?issuer=I", 100, 100); },
         QrScanStatus::NoOtpauthCode, ""},
        {"only a secret followed by '='",
         [](Picture& p) { Draw(p, "otpauth://totp/x?secret=MFRGG===", 100, 100); },
         QrScanStatus::NoOtpauthCode, ""},
        {"a damaged code",
         [](Picture& p) {
             QrPlacement damaged;
             damaged.left = 100;
             damaged.top = 100;
             damaged.damaged = true;
             DrawQrCode(p, kOtpauth, damaged);
         },
         QrScanStatus::DecodeFailed, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Picture picture(800, 600);
        row.draw(picture);
        const QrScanResult result = Scan(picture);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.secret, row.secret);
    }
}

TEST(QrScan, TwoOtpauthCodesGiveTheDecodersFirst)
{
    Picture picture(800, 600);
    Draw(picture, kOtpauth, 20, 20);
    Draw(picture, kOtherOtpauth, 400, 300);

    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Results listed =
        ZXing::ReadBarcodes(ZXing::ImageView(picture.grey.data(), picture.width, picture.height,
                                             ZXing::ImageFormat::Lum),
                            hints);
    ASSERT_EQ(listed.size(), 2u);
    const std::string first(listed[0].bytes().begin(), listed[0].bytes().end());

    const QrScanResult result = Scan(picture);
    EXPECT_EQ(result.status, QrScanStatus::SecretFound);
    EXPECT_EQ(result.secret, first == kOtpauth ? kSecret : "GEZDGNBVGY3TQOJQ");
}

TEST(QrScan, RefusesRastersWithoutPixels)
{
    const uint8_t pixel = 255;
    for (auto [width, height] :
         {std::pair{0, 10}, {10, 0}, {-1, 10}, {10, -5}, {0, 0}, {-3, -3}, {70000, 70000}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        EXPECT_EQ(ScanRasterForOtpauthSecret(&pixel, width, height).status,
                  QrScanStatus::RasterUnusable);
    }
    EXPECT_EQ(ScanRasterForOtpauthSecret(nullptr, 10, 10).status, QrScanStatus::RasterUnusable);
    EXPECT_EQ(ScanRasterForOtpauthSecret(&pixel, 1, 1).status, QrScanStatus::NoOtpauthCode);
}

TEST(QrScan, ReadsAPictureThatIsNothingButTheCode)
{
    // Cut at the code's edge, without its quiet zone, as some exports are.
    for (int scale : {1, 3}) {
        SCOPED_TRACE(std::to_string(scale) + " pixels per module");
        const int quietZone = 4 * scale;
        const int size = QrCodeSize(kOtpauth, scale) - 2 * quietZone;
        Picture picture(size, size);
        QrPlacement placement;
        placement.left = -quietZone;
        placement.top = -quietZone;
        placement.scale = scale;
        DrawQrCode(picture, kOtpauth, placement);
        const QrScanResult result = Scan(picture);
        EXPECT_EQ(result.status, QrScanStatus::SecretFound);
        EXPECT_EQ(result.secret, kSecret);
    }
}

// Screens are read in full once and at half size after: every kind of code
// must still be found there, in the middle of a window or on a bare page.
TEST(QrScan, FindsEveryKindOfCodeOnAScreen)
{
    auto faint = [](Picture& p, int left, int top) {
        Picture code(QrCodeSize(kOtpauth, 4), QrCodeSize(kOtpauth, 4), 250);
        Draw(code, kOtpauth, 0, 0);
        for (int y = 0; y < code.height; ++y) {
            for (int x = 0; x < code.width; ++x) {
                p.at(left + x, top + y) = code.at(x, y) < 128 ? 199 : 250;
            }
        }
    };
    const Row rows[] = {
        {"full HD, 2 pixels per module",
         [](Picture& p) {
             DrawWindowClutter(p, 5);
             Draw(p, kOtpauth, 900, 300, 2);
         },
         QrScanStatus::SecretFound, kSecret},
        {"full HD, 16 pixels per module", [](Picture& p) { Draw(p, kOtpauth, 300, 100, 16); },
         QrScanStatus::SecretFound, kSecret},
        {"full HD, a soft code",
         [](Picture& p) {
             DrawWindowClutter(p, 9);
             Draw(p, kOtpauth, 1100, 300, 5);
             for (int round = 0; round < 3; ++round) {
                 const Picture sharp = p;
                 for (int y = 301; y < 700; ++y) {
                     for (int x = 1101; x < 1500; ++x) {
                         int sum = 0;
                         for (int dy = -1; dy <= 1; ++dy) {
                             for (int dx = -1; dx <= 1; ++dx) {
                                 sum += sharp.grey[static_cast<size_t>(y + dy) * p.width + x + dx];
                             }
                         }
                         p.at(x, y) = static_cast<uint8_t>(sum / 9);
                     }
                 }
             }
         },
         QrScanStatus::SecretFound, kSecret},
        {"full HD, light on dark",
         [](Picture& p) {
             DrawWindowClutter(p, 6);
             QrPlacement placement;
             placement.left = 1000;
             placement.top = 400;
             placement.lightOnDark = true;
             DrawQrCode(p, kOtpauth, placement);
         },
         QrScanStatus::SecretFound, kSecret},
        {"full HD page, contrast 20 %", [&faint](Picture& p) { faint(p, 800, 300); },
         QrScanStatus::SecretFound, kSecret},
        {"full HD page, a lone damaged code",
         [](Picture& p) {
             QrPlacement damaged;
             damaged.left = 700;
             damaged.top = 300;
             damaged.scale = 8;
             damaged.damaged = true;
             DrawQrCode(p, kOtpauth, damaged);
         },
         QrScanStatus::DecodeFailed, ""},
        {"full HD window, no code", [](Picture& p) { DrawWindowClutter(p, 7); },
         QrScanStatus::NoOtpauthCode, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Picture picture(1920, 1080);
        row.draw(picture);
        const QrScanResult result = Scan(picture);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.secret, row.secret);
    }
}

TEST(QrScan, ReportsProgressAndStopsBetweenPasses)
{
    for (auto [width, height] : {std::pair{800, 600}, {1920, 1080}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        // Light on dark: found only by a later pass.
        Picture picture(width, height);
        DrawWindowClutter(picture, 8);
        QrPlacement placement;
        placement.left = width / 2;
        placement.top = height / 3;
        placement.lightOnDark = true;
        DrawQrCode(picture, kOtpauth, placement);

        std::vector<int> seen;
        WorkControl control;
        control.progress = [&seen](int percent) { seen.push_back(percent); };
        QrScanResult result =
            ScanRasterForOtpauthSecret(picture.grey.data(), width, height, control);
        EXPECT_EQ(result.secret, kSecret);
        EXPECT_FALSE(result.cancelled);
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), 100);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

        // Cancelled once the first pass is over: the later pass never runs.
        std::atomic<bool> cancel = false;
        control.cancel = &cancel;
        control.progress = [&cancel](int percent) {
            if (percent > 0) {
                cancel = true;
            }
        };
        result = ScanRasterForOtpauthSecret(picture.grey.data(), width, height, control);
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.status, QrScanStatus::NoOtpauthCode);
        EXPECT_EQ(result.secret, "");
    }
}

// Load Image File's work in one call, as a worker thread runs it.
TEST(QrScan, ScansAPictureFileWithOneProgress)
{
    Picture picture(1280, 1024);
    DrawWindowClutter(picture, 10);
    Draw(picture, kOtpauth, 700, 400);
    TemporaryFolder folder;
    const std::filesystem::path path = folder.path() / "screen.png";
    WritePng(path, picture);

    std::vector<int> seen;
    WorkControl control;
    control.progress = [&seen](int percent) { seen.push_back(percent); };
    PictureScanResult result = ScanPictureFileForOtpauthSecret(path.string(), control);
    EXPECT_EQ(result.picture, PictureStatus::Loaded);
    EXPECT_EQ(result.scan.status, QrScanStatus::SecretFound);
    EXPECT_EQ(result.scan.secret, kSecret);
    EXPECT_FALSE(result.cancelled());
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);

    result = ScanPictureFileForOtpauthSecret(folder.path().string(), control);
    EXPECT_EQ(result.picture, PictureStatus::NotRegularFile);

    std::atomic<bool> cancel = true;
    control.cancel = &cancel;
    result = ScanPictureFileForOtpauthSecret(path.string(), control);
    EXPECT_TRUE(result.cancelled());
    EXPECT_EQ(result.scan.secret, "");
}

} // namespace
