#include "qr/ScreenCapture.h"

#include "qr/ScreenshotPortal.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <algorithm>

namespace {

bool IsWaylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Colour only: the fourth byte of a 32-bit screen pixel carries nothing, and
// X servers leave it 0 where QImage::pixel() reports 0xff.
bool IsUniform(const QImage& picture)
{
    constexpr QRgb kColour = 0x00ffffffu;
    const QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb first = pixels.pixel(0, 0) & kColour;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        if (!std::all_of(line, line + pixels.width(),
                         [first](QRgb p) { return (p & kColour) == first; }))
            return false;
    }
    return true;
}

GreyRaster ToRaster(const QImage& picture)
{
    GreyRaster raster;
    raster.pixels = BlueChannelRaster(picture);
    raster.width = picture.width();
    raster.height = picture.height();
    return raster;
}

// Each screen at its own pixel size: grabWindow gives device pixels, so a
// screen at 200 % is searched at its full resolution. A screen whose copy
// comes back empty is passed over; the others are still searched.
ScreenGrab GrabEveryScreen(const QString& platform, bool waylandSession)
{
    ScreenGrab grab;
    const std::vector<QScreen*> screens = ScreensInSearchOrder();
    if (screens.empty()) {
        grab.status = JudgeScreenGrab(platform, waylandSession, QImage());
        return grab;
    }
    bool withheld = false;
    for (QScreen* screen : screens) {
        const QImage picture = screen->grabWindow(0).toImage();
        switch (JudgeScreenGrab(platform, waylandSession, picture)) {
        case ScreenGrabStatus::Ok:
            grab.screens.push_back(ToRaster(picture));
            break;
        case ScreenGrabStatus::NoScreenAccess:
            withheld = true;
            break;
        default:
            break;
        }
    }
    if (!grab.screens.empty())
        grab.status = ScreenGrabStatus::Ok;
    else
        grab.status = withheld ? ScreenGrabStatus::NoScreenAccess : ScreenGrabStatus::Unreadable;
    return grab;
}

// NoScreenAccess when no portal answers.
ScreenGrab GrabThroughPortal(const ScreenGrabOptions& options)
{
    ScreenGrab grab;
    const PortalScreenshot shot = TakePortalScreenshot(
        options.bus ? *options.bus : QDBusConnection::sessionBus(), options.portalTimeoutMs);
    grab.detail = shot.detail;
    switch (shot.status) {
    case PortalScreenshotStatus::Taken: {
        GreyRaster raster;
        if (LoadGreyPicture(QFile::encodeName(shot.path).toStdString(), raster)) {
            grab.status = ScreenGrabStatus::Ok;
            grab.screens.push_back(std::move(raster));
        } else {
            grab.status = ScreenGrabStatus::PortalUnreadable;
            grab.detail = shot.path;
        }
        break;
    }
    case PortalScreenshotStatus::NoPortal:
        grab.status = ScreenGrabStatus::NoScreenAccess;
        break;
    case PortalScreenshotStatus::Refused:
        grab.status = ScreenGrabStatus::PortalRefused;
        break;
    case PortalScreenshotStatus::Ended:
        grab.status = ScreenGrabStatus::PortalEnded;
        break;
    case PortalScreenshotStatus::NoAnswer:
        grab.status = ScreenGrabStatus::PortalNoAnswer;
        break;
    case PortalScreenshotStatus::Failed:
        grab.status = ScreenGrabStatus::PortalFailed;
        break;
    }
    return grab;
}

} // namespace

std::vector<QScreen*> ScreensInSearchOrder()
{
    std::vector<QScreen*> order;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        order.push_back(primary);
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            order.push_back(screen);
    return order;
}

ScreenGrab ChooseScreenGrab(bool waylandSession, bool waylandPlatform, const ScreenSources& sources)
{
    if (waylandSession || waylandPlatform) {
        ScreenGrab grab = sources.askPortal();
        if (grab.status != ScreenGrabStatus::NoScreenAccess || waylandPlatform)
            return grab;
        // No portal: XWayland may still share the screen with its clients.
    }
    ScreenGrab grab = sources.copyScreens();
    if (grab.status == ScreenGrabStatus::Unreadable && !waylandSession) {
        // The X server handed out nothing; a desktop portal may still.
        ScreenGrab portal = sources.askPortal();
        if (portal.status != ScreenGrabStatus::NoScreenAccess)
            return portal;
    }
    return grab;
}

ScreenGrab GrabScreens(const ScreenGrabOptions& options)
{
    const bool waylandSession = IsWaylandSession();
    const QString platform = QGuiApplication::platformName();
    ScreenSources sources;
    sources.copyScreens = [&] { return GrabEveryScreen(platform, waylandSession); };
    sources.askPortal = [&] { return GrabThroughPortal(options); };
    return ChooseScreenGrab(waylandSession, platform.startsWith(QLatin1String("wayland")), sources);
}

QrScanResult ScanRastersForOtpauthSecret(const std::vector<GreyRaster>& rasters)
{
    return ScanRastersForOtpauthSecret(rasters, WorkControl());
}

QrScanResult ScanRastersForOtpauthSecret(const std::vector<GreyRaster>& rasters,
                                         const WorkControl& control)
{
    bool searched = false;
    bool decodeFailed = false;
    bool outOfMemory = false;
    const int count = static_cast<int>(rasters.size());
    for (int index = 0; index < count; ++index) {
        const GreyRaster& raster = rasters[static_cast<size_t>(index)];
        WorkControl part;
        part.cancel = control.cancel;
        if (control.progress)
            part.progress = [&control, index, count](int percent) {
                control.report((index * 100 + percent) / count);
            };
        QrScanResult result =
            ScanRasterForOtpauthSecret(raster.pixels.data(), raster.width, raster.height, part);
        if (result.cancelled || control.cancelled()) {
            QrScanResult stopped;
            stopped.cancelled = true;
            return stopped;
        }
        switch (result.status) {
        case QrScanStatus::SecretFound:
            return result;
        case QrScanStatus::NoOtpauthCode:
            searched = true;
            break;
        case QrScanStatus::DecodeFailed:
            decodeFailed = true;
            break;
        case QrScanStatus::OutOfMemory:
            outOfMemory = true;
            break;
        case QrScanStatus::RasterUnusable:
            break;
        }
    }
    QrScanResult result;
    if (decodeFailed)
        result.status = QrScanStatus::DecodeFailed;
    else if (outOfMemory)
        result.status = QrScanStatus::OutOfMemory;
    else if (searched)
        result.status = QrScanStatus::NoOtpauthCode;
    else
        result.status = QrScanStatus::RasterUnusable;
    return result;
}

ScreenGrabStatus JudgeScreenGrab(const QString& platformName, bool waylandSession,
                                 const QImage& picture)
{
    if (platformName.startsWith(QLatin1String("wayland")))
        return ScreenGrabStatus::NoScreenAccess;
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return waylandSession ? ScreenGrabStatus::NoScreenAccess : ScreenGrabStatus::Unreadable;
    // Through XWayland the root window holds none of the native Wayland
    // windows: the copy is one flat colour, which no real desktop is.
    if (waylandSession && IsUniform(picture))
        return ScreenGrabStatus::NoScreenAccess;
    return ScreenGrabStatus::Ok;
}

std::vector<uint8_t> BlueChannelRaster(const QImage& picture)
{
    // Only these two formats store a pixel as one QRgb word; any other is
    // converted rather than read past its end or with its bytes misplaced.
    const bool rgbWords =
        picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32;
    const QImage pixels = rgbWords ? picture : picture.convertToFormat(QImage::Format_RGB32);
    const int width = pixels.width();
    const int height = pixels.height();
    std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        uint8_t* out = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<uint8_t>(qBlue(line[x]));
    }
    return grey;
}
