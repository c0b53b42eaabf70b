#include "qr/ScreenCapture.h"

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

bool IsUniform(const QImage& picture)
{
    const QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb first = pixels.pixel(0, 0);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        if (!std::all_of(line, line + pixels.width(), [first](QRgb p) { return p == first; }))
            return false;
    }
    return true;
}

} // namespace

ScreenGrab GrabPrimaryScreen()
{
    ScreenGrab grab;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen)
        grab.picture = screen->grabWindow(0).toImage();
    grab.status =
        JudgeScreenGrab(QGuiApplication::platformName(), IsWaylandSession(), grab.picture);
    if (grab.status != ScreenGrabStatus::Ok)
        grab.picture = QImage();
    return grab;
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
