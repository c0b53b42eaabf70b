#include "QrPictures.h"
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
    // As X servers hand out a flat screen: the unused fourth byte 0.
    QImage flatUnusedByteZero(4, 4, QImage::Format_RGB32);
    flatUnusedByteZero.fill(0u);

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
        {"xcb", true, desktop, ScreenGrabStatus::Ok},          // XWayland sharing the screen
        {"xcb", true, flat, ScreenGrabStatus::NoScreenAccess}, // XWayland's blank root
        {"xcb", true, flatUnusedByteZero, ScreenGrabStatus::NoScreenAccess},
        {"xcb", true, QImage(), ScreenGrabStatus::NoScreenAccess}, // nothing handed out
        {"wayland", true, QImage(), ScreenGrabStatus::NoScreenAccess},
        {"wayland-egl", true, desktop, ScreenGrabStatus::NoScreenAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform) + (c.waylandSession ? " in Wayland" : ""));
        EXPECT_EQ(JudgeScreenGrab(c.platform, c.waylandSession, c.picture), c.expected);
    }
}

// Which source Scan Screen takes the screens from, and what it reports.
TEST(ChooseScreenGrab, AsksThePortalOnWaylandAndWhenTheXServerHandsOutNothing)
{
    using S = ScreenGrabStatus;
    struct Case
    {
        const char* name;
        bool waylandSession;
        bool waylandPlatform;
        S direct;   // what copying the screens directly gives
        S portal;   // what the portal gives (NoScreenAccess: no portal)
        S expected; // what Scan Screen is told
        bool directAsked;
        bool portalAsked;
    } cases[] = {
        {"X11", false, false, S::Ok, S::Ok, S::Ok, true, false},
        {"X11 copy empty, portal", false, false, S::Unreadable, S::Ok, S::Ok, true, true},
        {"X11 copy empty, refused", false, false, S::Unreadable, S::PortalRefused, S::PortalRefused,
         true, true},
        {"X11 copy empty, no portal", false, false, S::Unreadable, S::NoScreenAccess, S::Unreadable,
         true, true},
        {"XWayland, portal", true, false, S::Ok, S::Ok, S::Ok, false, true},
        {"XWayland, portal refuses", true, false, S::Ok, S::PortalRefused, S::PortalRefused, false,
         true},
        {"XWayland, portal silent", true, false, S::Ok, S::PortalNoAnswer, S::PortalNoAnswer, false,
         true},
        {"XWayland sharing, no portal", true, false, S::Ok, S::NoScreenAccess, S::Ok, true, true},
        {"XWayland blank, no portal", true, false, S::NoScreenAccess, S::NoScreenAccess,
         S::NoScreenAccess, true, true},
        {"Wayland, portal", true, true, S::Ok, S::Ok, S::Ok, false, true},
        {"Wayland, no portal", true, true, S::Ok, S::NoScreenAccess, S::NoScreenAccess, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int directCalls = 0;
        int portalCalls = 0;
        ScreenSources sources;
        sources.copyScreens = [&] {
            ++directCalls;
            ScreenGrab grab;
            grab.status = c.direct;
            grab.detail = "direct";
            return grab;
        };
        sources.askPortal = [&] {
            ++portalCalls;
            ScreenGrab grab;
            grab.status = c.portal;
            grab.detail = "portal";
            return grab;
        };
        const ScreenGrab grab = ChooseScreenGrab(c.waylandSession, c.waylandPlatform, sources);
        EXPECT_EQ(grab.status, c.expected);
        EXPECT_EQ(directCalls, c.directAsked ? 1 : 0);
        EXPECT_EQ(portalCalls, c.portalAsked ? 1 : 0);
        if (c.expected == S::Ok) {
            EXPECT_EQ(grab.detail, c.portalAsked && c.portal == S::Ok ? "portal" : "direct");
        }
    }
}

// Screens are searched in order: the first secret wins, and a code that
// could not be decoded on one screen never hides a secret on another.
TEST(ScanRastersForOtpauthSecret, KeepsTheFirstSecretAndReportsFailuresOnlyWithoutOne)
{
    const std::string first = "otpauth://totp/a?secret=JBSWY3DPEHPK3PXP";
    const std::string second = "otpauth://totp/b?secret=KRSXG5CTMVRXEZLU";
    auto screen = [](const std::string& text, bool damaged) {
        Picture picture(640, 480);
        if (!text.empty()) {
            QrPlacement placement;
            placement.left = 100;
            placement.top = 100;
            placement.damaged = damaged;
            DrawQrCode(picture, text, placement);
        }
        return GreyRaster{picture.width, picture.height, picture.grey};
    };
    const GreyRaster a = screen(first, false);
    const GreyRaster b = screen(second, false);
    const GreyRaster damaged = screen(first, true);
    const GreyRaster none = screen("", false);
    const GreyRaster unusable; // a screen the decoder cannot take

    struct Case
    {
        const char* name;
        std::vector<GreyRaster> screens;
        QrScanStatus status;
        std::string secret;
    } cases[] = {
        {"a code on each screen", {a, b}, QrScanStatus::SecretFound, "JBSWY3DPEHPK3PXP"},
        {"the code on the second", {none, b}, QrScanStatus::SecretFound, "KRSXG5CTMVRXEZLU"},
        {"a damaged code first", {damaged, b}, QrScanStatus::SecretFound, "KRSXG5CTMVRXEZLU"},
        {"past an unusable screen", {unusable, b}, QrScanStatus::SecretFound, "KRSXG5CTMVRXEZLU"},
        {"only a damaged code", {none, damaged}, QrScanStatus::DecodeFailed, ""},
        {"no code", {none, none}, QrScanStatus::NoOtpauthCode, ""},
        {"no code and an unusable screen", {unusable, none}, QrScanStatus::NoOtpauthCode, ""},
        {"only unusable screens", {unusable}, QrScanStatus::RasterUnusable, ""},
        {"no screens", {}, QrScanStatus::RasterUnusable, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QrScanResult result = ScanRastersForOtpauthSecret(c.screens);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.secret, c.secret);
    }
}
