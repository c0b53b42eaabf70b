// Codes a person reads at a glance, made the ways pictures of them come to
// the station: faint print, transparent backgrounds, blur, resizing,
// rotation, strong JPEG compression, dark pages, busy screens. Each goes
// through a picture file and the loader, then the scan, and must give the
// exact secret.
#include "QrPictures.h"
#include "qr/GreyPicture.h"
#include "qr/QrScan.h"

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

const std::string kSecret = "KRUGKIDROVUWG2ZAMJZG653OEBTG66BA";
const std::string kOtpauth =
    "otpauth://totp/Station:dora@example.org?secret=" + kSecret + "&issuer=Station";

constexpr uint8_t kGround = 250;

// The code alone on a light ground, modules contrast x 255 darker than it.
Picture PlainCode(double contrast = 0.9, int scale = 4)
{
    const int size = QrCodeSize(kOtpauth, scale);
    Picture picture(size + 80, size + 60, kGround);
    QrPlacement placement;
    placement.left = 40;
    placement.top = 30;
    placement.scale = scale;
    DrawQrCode(picture, kOtpauth, placement);
    const auto dark = static_cast<uint8_t>(std::lround(kGround - contrast * 255));
    for (uint8_t& pixel : picture.grey) {
        pixel = pixel < 128 ? dark : kGround;
    }
    return picture;
}

// The picture as a code drawn on a fully transparent ground whose colour is
// stored as ground (black or white), the modules opaque black.
QImage Transparent(const Picture& picture, QRgb ground)
{
    QImage image(picture.width, picture.height, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const bool dark = picture.grey[static_cast<size_t>(y) * picture.width + x] < 128;
            image.setPixel(x, y, dark ? qRgba(0, 0, 0, 255) : ground);
        }
    }
    return image;
}

// A 3 x 3 box blur, twice: about what a soft screenshot or photo does.
QImage Blurred(const Picture& picture)
{
    Picture out = picture;
    for (int round = 0; round < 2; ++round) {
        const Picture in = out;
        for (int y = 1; y < in.height - 1; ++y) {
            for (int x = 1; x < in.width - 1; ++x) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        sum += in.grey[static_cast<size_t>(y + dy) * in.width + x + dx];
                    }
                }
                out.at(x, y) = static_cast<uint8_t>(sum / 9);
            }
        }
    }
    return ToImage(out).copy();
}

QImage Scaled(const Picture& picture, double factor)
{
    return ToImage(picture).scaled(static_cast<int>(picture.width * factor),
                                   static_cast<int>(picture.height * factor), Qt::IgnoreAspectRatio,
                                   Qt::SmoothTransformation);
}

// Turned about its middle; the corners the turn uncovers are transparent.
QImage Rotated(const Picture& picture, double degrees)
{
    return ToImage(picture)
        .convertToFormat(QImage::Format_ARGB32)
        .transformed(QTransform().rotate(degrees), Qt::SmoothTransformation);
}

QImage BusyScreen()
{
    Picture screen(1920, 1080, 240);
    DrawWindowClutter(screen, 77);
    QrPlacement placement;
    placement.left = 1210;
    placement.top = 420;
    placement.scale = 4;
    DrawQrCode(screen, kOtpauth, placement);
    return ToImage(screen).copy();
}

QImage LightOnDark()
{
    Picture picture = PlainCode();
    for (uint8_t& pixel : picture.grey) {
        pixel = static_cast<uint8_t>(255 - pixel);
    }
    return ToImage(picture).copy();
}

struct Row
{
    std::string name;
    std::function<QImage()> make;
    const char* format = "PNG";
    int quality = -1;
};

TEST(QrCorpus, FindsEveryCodeAPersonReads)
{
    const Row rows[] = {
        {"contrast 60 %", [] { return ToImage(PlainCode(0.60)).copy(); }},
        {"contrast 40 %", [] { return ToImage(PlainCode(0.40)).copy(); }},
        {"contrast 30 %", [] { return ToImage(PlainCode(0.30)).copy(); }},
        {"contrast 20 %", [] { return ToImage(PlainCode(0.20)).copy(); }},
        {"contrast 15 %", [] { return ToImage(PlainCode(0.15)).copy(); }},
        {"transparent ground stored black",
         [] { return Transparent(PlainCode(), qRgba(0, 0, 0, 0)); }},
        {"transparent ground stored white",
         [] { return Transparent(PlainCode(), qRgba(255, 255, 255, 0)); }},
        {"blurred", [] { return Blurred(PlainCode()); }},
        {"scaled by 125 %", [] { return Scaled(PlainCode(), 1.25); }},
        {"scaled by 150 %", [] { return Scaled(PlainCode(), 1.5); }},
        {"scaled by 75 %", [] { return Scaled(PlainCode(0.9, 6), 0.75); }},
        {"rotated by 10 degrees", [] { return Rotated(PlainCode(), 10); }},
        {"rotated by 90 degrees", [] { return Rotated(PlainCode(), 90); }},
        {"JPEG quality 30", [] { return ToImage(PlainCode()).copy(); }, "JPEG", 30},
        {"JPEG quality 30, contrast 20 %", [] { return ToImage(PlainCode(0.20)).copy(); }, "JPEG",
         30},
        {"light on dark", LightOnDark},
        {"in a busy screenshot", BusyScreen},
        {"in a busy screenshot, JPEG quality 30", BusyScreen, "JPEG", 30},
    };
    TemporaryFolder folder;
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::filesystem::path path = folder.path() / ("corpus-" + std::to_string(index++));
        ASSERT_TRUE(
            row.make().save(QString::fromStdString(path.string()), row.format, row.quality));
        GreyRaster raster;
        ASSERT_EQ(LoadGreyPictureFile(path.string(), raster), PictureStatus::Loaded);
        const QrScanResult result =
            ScanRasterForOtpauthSecret(raster.pixels.data(), raster.width, raster.height);
        EXPECT_EQ(result.status, QrScanStatus::SecretFound);
        EXPECT_EQ(result.secret, kSecret);
    }
}

} // namespace
