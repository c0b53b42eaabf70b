#include "qr/ScreenCapture.h"

#include <QColor>
#include <gtest/gtest.h>

namespace {

// A 3x2 picture: white, pure blue, black / red, grey, pure green.
QImage ColourSwatch(QImage::Format format)
{
    QImage picture(3, 2, QImage::Format_RGB32);
    const QRgb colours[2][3] = {{qRgb(255, 255, 255), qRgb(0, 0, 255), qRgb(0, 0, 0)},
                                {qRgb(255, 0, 0), qRgb(128, 128, 128), qRgb(0, 255, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            picture.setPixel(x, y, colours[y][x]);
    return picture.convertToFormat(format);
}

} // namespace

// Screens come in many depths; whatever the copy's format, the raster holds
// exactly one blue value per pixel, rows top to bottom.
TEST(BlueChannelRaster, TakesTheBlueComponentOfEveryFormat)
{
    const QImage::Format formats[] = {
        QImage::Format_RGB32,    QImage::Format_ARGB32,   QImage::Format_ARGB32_Premultiplied,
        QImage::Format_RGBX8888, QImage::Format_RGBA8888, QImage::Format_BGR30,
        QImage::Format_RGB888,   QImage::Format_BGR888,   QImage::Format_RGB16,
        QImage::Format_RGB555,   QImage::Format_RGB666,   QImage::Format_RGBX64,
    };
    for (QImage::Format format : formats) {
        SCOPED_TRACE(format);
        const std::vector<uint8_t> grey = BlueChannelRaster(ColourSwatch(format));
        // Pure blue and white are alike; red and green are black.
        const std::vector<uint8_t> expected = {255, 255, 0, 0, 128, 0};
        ASSERT_EQ(grey.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_NEAR(grey[i], expected[i], 4) << "pixel " << i;
    }
}

TEST(BlueChannelRaster, ReadsGreyAndIndexedPictures)
{
    QImage grey(4, 1, QImage::Format_Grayscale8);
    for (int x = 0; x < 4; ++x)
        grey.setPixel(x, 0, qRgb(x * 80, x * 80, x * 80));
    EXPECT_EQ(BlueChannelRaster(grey), (std::vector<uint8_t>{0, 80, 160, 240}));

    QImage indexed(2, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(10, 20, 200)});
    indexed.fill(1);
    indexed.setPixel(0, 1, 0);
    EXPECT_EQ(BlueChannelRaster(indexed), (std::vector<uint8_t>{200, 200, 0, 200}));
}

TEST(BlueChannelRaster, KeepsRowsTopToBottomForWideAndTallPictures)
{
    for (auto [width, height] : {std::pair{7, 3}, std::pair{3, 7}, std::pair{1, 1}}) {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, qRgb(1, 2, y * 16 + x));
        const std::vector<uint8_t> grey = BlueChannelRaster(picture);
        ASSERT_EQ(grey.size(), static_cast<size_t>(width * height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(grey[y * width + x], y * 16 + x);
    }
}

TEST(BlueChannelRaster, GivesNothingForAnEmptyPicture)
{
    EXPECT_TRUE(BlueChannelRaster(QImage()).empty());
}

TEST(JudgeScreenGrab, TellsAScreenWithheldByWaylandFromAReadableOne)
{
    QImage desktop(4, 4, QImage::Format_RGB32);
    desktop.fill(Qt::white);
    desktop.setPixel(1, 1, qRgb(0, 0, 0));
    QImage flat(4, 4, QImage::Format_RGB32);
    flat.fill(Qt::black);

    struct Case
    {
        const char* platform;
        bool waylandSession;
        QImage picture;
        ScreenGrabStatus expected;
    } cases[] = {
        {"xcb", false, desktop, ScreenGrabStatus::Ok},
        {"xcb", false, flat, ScreenGrabStatus::Ok}, // a plain X screen may well be flat
        {"xcb", false, QImage(), ScreenGrabStatus::Unreadable},
        {"xcb", true, desktop, ScreenGrabStatus::Ok},              // XWayland sharing the screen
        {"xcb", true, flat, ScreenGrabStatus::NoScreenAccess},     // XWayland's blank root
        {"xcb", true, QImage(), ScreenGrabStatus::NoScreenAccess}, // nothing handed out
        {"wayland", true, QImage(), ScreenGrabStatus::NoScreenAccess},
        {"wayland-egl", true, desktop, ScreenGrabStatus::NoScreenAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform) + (c.waylandSession ? " in Wayland" : ""));
        EXPECT_EQ(JudgeScreenGrab(c.platform, c.waylandSession, c.picture), c.expected);
    }
}
