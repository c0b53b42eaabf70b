#include "PictureFuzzBody.h"
#include "QrPictures.h"
#include "qr/GreyPicture.h"
#include "qr/QrScan.h"

#include <QColor>
#include <QImage>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

static void PrintTo(PictureStatus status, std::ostream* out)
{
    static const char* const names[] = {"Loaded",   "CannotOpen",  "NotRegularFile", "NotAPicture",
                                        "TooLarge", "OutOfMemory", "Cancelled"};
    *out << names[static_cast<int>(status)];
}

namespace {

const std::string kSecret = "GEZDGNBVGY3TQOJQMFRGGZDFMY";
const std::string kOtpauth = "otpauth://totp/Station:carol?secret=" + kSecret;

Picture CodePicture()
{
    Picture picture(420, 300);
    QrPlacement placement;
    placement.left = 60;
    placement.top = 40;
    placement.scale = 3;
    DrawQrCode(picture, kOtpauth, placement);
    return picture;
}

struct Format
{
    std::string fileName;
    std::function<void(const std::filesystem::path&, const Picture&)> write;
    bool lossless; // the grey values come back exactly as written
};

TEST(GreyPicture, ReadsEveryFormatAsGreyWhateverTheName)
{
    const Picture picture = CodePicture();
    const Format formats[] = {
        {"code.png", WritePng, true},
        {"code.bmp", WriteBmp, true},
        {"code.jpg", [](const auto& path, const auto& p) { WriteJpeg(path, p); }, false},
        {"code.gif", WriteGif, false},
        {"png-named.jpg", WritePng, true},
        {"no-extension", WriteBmp, true},
        {"Séquence ünïcode 二维码.png", WritePng, true},
    };
    TemporaryFolder folder;
    for (const Format& format : formats) {
        SCOPED_TRACE(format.fileName);
        const std::filesystem::path path = folder.path() / format.fileName;
        format.write(path, picture);

        GreyRaster raster;
        ASSERT_TRUE(LoadGreyPicture(path.string(), raster));
        ASSERT_EQ(raster.width, picture.width);
        ASSERT_EQ(raster.height, picture.height);
        ASSERT_EQ(raster.pixels.size(), picture.grey.size());
        if (format.lossless) {
            EXPECT_EQ(raster.pixels, picture.grey);
        }
        const QrScanResult result =
            ScanRasterForOtpauthSecret(raster.pixels.data(), raster.width, raster.height);
        EXPECT_EQ(result.status, QrScanStatus::SecretFound);
        EXPECT_EQ(result.secret, kSecret);
    }
}

TEST(GreyPicture, RefusesWhatIsNoPicture)
{
    TemporaryFolder folder;
    const std::filesystem::path text = folder.path() / "seeds.png";
    std::ofstream(text) << "00012345,JBSWY3DPEHPK3PXP\n";
    const std::filesystem::path empty = folder.path() / "empty.png";
    std::ofstream{empty};
    const std::filesystem::path truncated = folder.path() / "truncated.png";
    WritePng(truncated, CodePicture());
    std::filesystem::resize_file(truncated, 40);

    for (const std::filesystem::path& path :
         {text, empty, truncated, folder.path() / "missing.png", folder.path()}) {
        SCOPED_TRACE(path.string());
        GreyRaster raster;
        raster.width = 7;
        raster.pixels.assign(7, 1);
        EXPECT_FALSE(LoadGreyPicture(path.string(), raster));
        EXPECT_EQ(raster.width, 0);
        EXPECT_EQ(raster.height, 0);
        EXPECT_TRUE(raster.pixels.empty());
    }
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Every file kept from fuzzing and from reports: each must end at once with a
// refusal or a sound raster, read from its bytes or from the file alike.
TEST(GreyPicture, HostileFilesEndWithARefusal)
{
    const std::map<std::string, PictureStatus> expected = {
        {"pnm16-reads-past-buffer.png", PictureStatus::NotAPicture},
        {"pnm16-truncated-crash.png", PictureStatus::NotAPicture},
        {"pnm16-small.png", PictureStatus::NotAPicture},
        {"hdr-truncated-hang.png", PictureStatus::NotAPicture},
        {"hdr-small.png", PictureStatus::NotAPicture},
        {"tga-40-byte-header.png", PictureStatus::NotAPicture},
        {"tga-small.png", PictureStatus::NotAPicture},
        {"jpeg-huffman-over-256-codes.jpg", PictureStatus::NotAPicture},
        {"png-20000x20000.png", PictureStatus::TooLarge},
        {"png-just-over-50mp.png", PictureStatus::TooLarge},
        {"bmp-8000x8000.bmp", PictureStatus::TooLarge},
        {"gif-65535x65535.gif", PictureStatus::TooLarge},
        {"png-16bit-grey-2x2.png", PictureStatus::Loaded},
    };
    size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STATION_PICTURE_REGRESSIONS)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = ReadBytes(entry.path());
        const PictureStatus fromBytes = CheckPictureBytes(bytes.data(), bytes.size());
        GreyRaster raster;
        EXPECT_EQ(LoadGreyPictureFile(entry.path().string(), raster), fromBytes);
        if (const auto known = expected.find(name); known != expected.end()) {
            EXPECT_EQ(fromBytes, known->second);
            ++seen;
        }
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(GreyPicture, ReadsSixteenBitGreyToEightBits)
{
    GreyRaster raster;
    ASSERT_EQ(LoadGreyPictureFile(STATION_PICTURE_REGRESSIONS "/png-16bit-grey-2x2.png", raster),
              PictureStatus::Loaded);
    EXPECT_EQ(raster.pixels, (std::vector<uint8_t>{0x12, 0xFE, 0x12, 0xFE}));
}

// A photo just under the limit takes about 200 MB while it is decoded, more
// than Qt's own default allocation limit allows.
TEST(GreyPicture, ReadsAColourPhotoJustUnderTheLimit)
{
    QImage photo(7000, 7000, QImage::Format_RGB32);
    photo.fill(qRgb(200, 100, 50));
    TemporaryFolder folder;
    const std::filesystem::path path = folder.path() / "photo.jpg";
    ASSERT_TRUE(photo.save(QString::fromStdString(path.string()), "JPEG", 50));
    photo = QImage();

    GreyRaster raster;
    ASSERT_EQ(LoadGreyPictureFile(path.string(), raster), PictureStatus::Loaded);
    EXPECT_EQ(raster.width, 7000);
    EXPECT_EQ(raster.height, 7000);
    EXPECT_NEAR(raster.pixels[12345], 124, 3);
}

// A FIFO named like a picture used to hold the window forever.
TEST(GreyPicture, ReadsRegularFilesOnlyAndNeverWaits)
{
    TemporaryFolder folder;
    const std::filesystem::path fifo = folder.path() / "waiting.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path link = folder.path() / "link.png";
    std::filesystem::create_symlink("/dev/zero", link);
    const std::filesystem::path unreadable = folder.path() / "unreadable.png";
    WritePng(unreadable, Picture(4, 4));
    std::filesystem::permissions(unreadable, std::filesystem::perms::none);

    const std::pair<std::filesystem::path, PictureStatus> rows[] = {
        {fifo, PictureStatus::NotRegularFile},
        {link, PictureStatus::NotRegularFile},
        {"/dev/zero", PictureStatus::NotRegularFile},
        {folder.path(), PictureStatus::NotRegularFile},
        {folder.path() / "missing.png", PictureStatus::CannotOpen},
        // root reads any file, so the row holds only for other users.
        {unreadable, getuid() == 0 ? PictureStatus::Loaded : PictureStatus::CannotOpen},
    };
    for (const auto& [path, status] : rows) {
        SCOPED_TRACE(path.string());
        GreyRaster raster;
        EXPECT_EQ(LoadGreyPictureFile(path.string(), raster), status);
    }
    EXPECT_NE(PictureStatusMessage(PictureStatus::NotRegularFile).find("regular file"),
              std::string::npos);
    EXPECT_NE(PictureStatusMessage(PictureStatus::TooLarge).find("50 megapixels"),
              std::string::npos);
    EXPECT_EQ(PictureStatusMessage(PictureStatus::NotAPicture), "Incorrect QR code file!");
}

// A code drawn on a transparent ground whose transparent pixels are stored
// black was black on black before the alpha channel was used.
TEST(GreyPicture, LaysTransparencyOnWhite)
{
    const QRgb pixels[] = {qRgba(0, 0, 0, 0),       qRgba(0, 0, 0, 255),      qRgba(0, 0, 0, 128),
                           qRgba(255, 255, 255, 0), qRgba(200, 100, 50, 255), qRgba(0, 0, 0, 64)};
    const std::vector<uint8_t> grey = {255, 0, 127, 255, 124, 191};
    QImage image(6, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 6; ++x) {
        image.setPixel(x, 0, pixels[x]);
    }
    QImage indexed(6, 1, QImage::Format_Indexed8);
    indexed.setColorTable(QList<QRgb>(std::begin(pixels), std::end(pixels)));
    for (int x = 0; x < 6; ++x) {
        indexed.setPixel(x, 0, static_cast<uint>(x));
    }

    TemporaryFolder folder;
    const std::pair<std::string, QImage> rows[] = {
        {"rgba.png", image},
        {"indexed.png", indexed},
        {"premultiplied.png", image.convertToFormat(QImage::Format_ARGB32_Premultiplied)},
        {"rgba64.png", image.convertToFormat(QImage::Format_RGBA64)},
    };
    for (const auto& [name, picture] : rows) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = folder.path() / name;
        ASSERT_TRUE(picture.save(QString::fromStdString(path.string()), "PNG"));
        GreyRaster fromFile;
        ASSERT_EQ(LoadGreyPictureFile(path.string(), fromFile), PictureStatus::Loaded);
        GreyRaster fromImage;
        ASSERT_EQ(GreyRasterFromImage(picture, fromImage), PictureStatus::Loaded);
        for (const GreyRaster* raster : {&fromFile, &fromImage}) {
            ASSERT_EQ(raster->pixels.size(), grey.size());
            for (size_t i = 0; i < grey.size(); ++i) {
                EXPECT_NEAR(raster->pixels[i], grey[i], 1) << "pixel " << i;
            }
        }
    }
    GreyRaster raster;
    EXPECT_EQ(GreyRasterFromImage(QImage(), raster), PictureStatus::NotAPicture);
}

TEST(GreyPicture, ReportsProgressAndStopsWhenCancelled)
{
    Picture picture(1600, 1200);
    DrawWindowClutter(picture, 3);
    TemporaryFolder folder;
    const std::filesystem::path path = folder.path() / "screen.png";
    WritePng(path, picture);

    std::vector<int> seen;
    WorkControl control;
    control.progress = [&seen](int percent) { seen.push_back(percent); };
    GreyRaster raster;
    ASSERT_EQ(LoadGreyPictureFile(path.string(), raster, control), PictureStatus::Loaded);
    EXPECT_EQ(raster.pixels, picture.grey);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);

    // Cancelled as soon as the decoder has read its first bytes.
    std::atomic<bool> cancel = false;
    control.cancel = &cancel;
    control.progress = [&cancel](int) { cancel = true; };
    EXPECT_EQ(LoadGreyPictureFile(path.string(), raster, control), PictureStatus::Cancelled);
    EXPECT_TRUE(raster.pixels.empty());
    EXPECT_EQ(raster.width, 0);
}

} // namespace
