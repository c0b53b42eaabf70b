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
#include <vector>

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

// A code on the picture: its text, where, and how it is drawn.
struct Code
{
    std::string text;
    int left = 0;
    int top = 0;
    int scale = 4; // pixels per module
    bool lightOnDark = false;
    bool damaged = false;
};

// A picture and what the scan finds in it. The picture: window clutter drawn
// from a seed (none for 0), the codes, then any further drawing.
struct Row
{
    std::string name;
    uint32_t clutter;
    std::vector<Code> codes;
    QrScanStatus status;
    std::string secret;
    std::function<void(Picture&)> finish = nullptr;
};

QrScanResult Scan(const Picture& picture)
{
    return ScanRasterForOtpauthSecret(picture.grey.data(), picture.width, picture.height);
}

void Draw(Picture& picture, const Code& code)
{
    QrPlacement placement;
    placement.left = code.left;
    placement.top = code.top;
    placement.scale = code.scale;
    placement.lightOnDark = code.lightOnDark;
    placement.damaged = code.damaged;
    DrawQrCode(picture, code.text, placement);
}

void ExpectScan(const Row& row, int width, int height)
{
    SCOPED_TRACE(row.name);
    Picture picture(width, height);
    if (row.clutter != 0)
        DrawWindowClutter(picture, row.clutter);
    for (const Code& code : row.codes)
        Draw(picture, code);
    if (row.finish)
        row.finish(picture);
    const QrScanResult result = Scan(picture);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.secret, row.secret);
}

TEST(QrScan, TakesTheSecretOfTheFirstOtpauthCode)
{
    using S = QrScanStatus;
    const Row rows[] = {
        {"one code", 0, {{kOtpauth, 100, 100}}, S::SecretFound, kSecret},
        {"among window clutter", 1, {{kOtpauth, 300, 200}}, S::SecretFound, kSecret},
        {"a web address beside it",
         0,
         {{"https://example.org/enrol", 20, 20}, {kOtpauth, 400, 20}},
         S::SecretFound,
         kSecret},
        {"hotp with a counter",
         0,
         {{"otpauth://hotp/x?counter=7&secret=MFRGG", 100, 100}},
         S::SecretFound,
         "MFRGG"},
        {"lower case and escapes kept as written",
         0,
         {{"otpauth://totp/x?secret=jbsw%33dp+q", 100, 100}},
         S::SecretFound,
         "jbsw%33dp+q"},
        {"the payload ends at its first zero byte",
         0,
         {{std::string("otpauth://totp/x?secret=MFRGG\0ZZZ&issuer=I", 42), 100, 100}},
         S::SecretFound,
         "MFRGG"},
        {"2 pixels per module", 0, {{kOtpauth, 50, 50, 2}}, S::SecretFound, kSecret},
        {"3 pixels per module", 0, {{kOtpauth, 50, 50, 3}}, S::SecretFound, kSecret},
        {"light on dark",
         0,
         {{.text = kOtpauth, .left = 100, .top = 100, .lightOnDark = true}},
         S::SecretFound,
         kSecret},
        {"a secret followed by '=' is passed over",
         0,
         {{"otpauth://totp/x?secret=MFRGG===", 20, 20}, {kOtpauth, 400, 20}},
         S::SecretFound,
         kSecret},
        {"a damaged code does not hide a good one",
         0,
         {{.text = kOtherOtpauth, .left = 20, .top = 20, .damaged = true}, {kOtpauth, 400, 20}},
         S::SecretFound,
         kSecret},
        {"no code", 2, {}, S::NoOtpauthCode, ""},
        {"only a web address", 0, {{"https://example.org/", 100, 100}}, S::NoOtpauthCode, ""},
        {"capitalised scheme",
         0,
         {{"OTPAUTH://totp/x?secret=MFRGG", 100, 100}},
         S::NoOtpauthCode,
         ""},
        {"no // after the scheme",
         0,
         {{"otpauth:totp/x?secret=MFRGG", 100, 100}},
         S::NoOtpauthCode,
         ""},
        {"no secret pair", 0, {{"otpauth://totp/x?issuer=I", 100, 100}}, S::NoOtpauthCode, ""},
        {"only a secret followed by '='",
         0,
         {{"otpauth://totp/x?secret=MFRGG===", 100, 100}},
         S::NoOtpauthCode,
         ""},
        {"a damaged code",
         0,
         {{.text = kOtpauth, .left = 100, .top = 100, .damaged = true}},
         S::DecodeFailed,
         ""},
    };
    for (const Row& row : rows)
        ExpectScan(row, 800, 600);
}

TEST(QrScan, TwoOtpauthCodesGiveTheDecodersFirst)
{
    Picture picture(800, 600);
    Draw(picture, {kOtpauth, 20, 20});
    Draw(picture, {kOtherOtpauth, 400, 300});

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

// Three rounds of a 3 x 3 box blur over the square from (left, top) to
// (right, bottom): a code as a camera or a scaled window shows it.
void Soften(Picture& picture, int left, int top, int right, int bottom)
{
    for (int round = 0; round < 3; ++round) {
        const Picture sharp = picture;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        sum += sharp.grey[static_cast<size_t>(y + dy) * picture.width + x + dx];
                    }
                }
                picture.at(x, y) = static_cast<uint8_t>(sum / 9);
            }
        }
    }
}

// The code in grey 199 on grey 250: a contrast of 20 %.
void DrawFaintCode(Picture& picture, int left, int top)
{
    Picture code(QrCodeSize(kOtpauth, 4), QrCodeSize(kOtpauth, 4), 250);
    Draw(code, {kOtpauth, 0, 0});
    for (int y = 0; y < code.height; ++y) {
        for (int x = 0; x < code.width; ++x) {
            picture.at(left + x, top + y) = code.at(x, y) < 128 ? 199 : 250;
        }
    }
}

// Screens are read in full once and at half size after: every kind of code
// must still be found there, in the middle of a window or on a bare page.
TEST(QrScan, FindsEveryKindOfCodeOnAScreen)
{
    using S = QrScanStatus;
    const Row rows[] = {
        {"full HD, 2 pixels per module", 5, {{kOtpauth, 900, 300, 2}}, S::SecretFound, kSecret},
        {"full HD, 16 pixels per module", 0, {{kOtpauth, 300, 100, 16}}, S::SecretFound, kSecret},
        {"full HD, a soft code",
         9,
         {{kOtpauth, 1100, 300, 5}},
         S::SecretFound,
         kSecret,
         [](Picture& p) { Soften(p, 1101, 301, 1500, 700); }},
        {"full HD, light on dark",
         6,
         {{.text = kOtpauth, .left = 1000, .top = 400, .lightOnDark = true}},
         S::SecretFound,
         kSecret},
        {"full HD page, contrast 20 %",
         0,
         {},
         S::SecretFound,
         kSecret,
         [](Picture& p) { DrawFaintCode(p, 800, 300); }},
        {"full HD page, a lone damaged code",
         0,
         {{.text = kOtpauth, .left = 700, .top = 300, .scale = 8, .damaged = true}},
         S::DecodeFailed,
         ""},
        {"full HD window, no code", 7, {}, S::NoOtpauthCode, ""},
    };
    for (const Row& row : rows)
        ExpectScan(row, 1920, 1080);
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
    Draw(picture, {kOtpauth, 700, 400});
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
