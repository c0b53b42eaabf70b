#include "QrPictures.h"
#include "qr/GreyPicture.h"
#include "qr/QrScan.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>

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
        {"code.jpg", WriteJpeg, false},
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

} // namespace
