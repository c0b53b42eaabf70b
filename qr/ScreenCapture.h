#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

// The primary screen as the Scan Screen command reads it.

enum class ScreenGrabStatus
{
    Ok,
    NoScreenAccess, // a Wayland session that does not let programs copy the screen
    Unreadable,     // the copy came back empty
};

struct ScreenGrab
{
    ScreenGrabStatus status = ScreenGrabStatus::Unreadable;
    QImage picture;
};

// Copies the whole primary screen at its own pixel size. Needs a QGuiApplication.
ScreenGrab GrabPrimaryScreen();

// Judges a copy: a Wayland compositor hands out nothing, or (through XWayland)
// a blank picture, instead of the screen.
ScreenGrabStatus JudgeScreenGrab(const QString& platformName, bool waylandSession,
                                 const QImage& picture);

// The grey raster of a picture: width x height bytes, rows top to bottom, each
// the blue component of its pixel. A QR code drawn in pure blue on white
// therefore vanishes, as it always has on this station. Pictures that are not
// 32 bits per pixel are converted first.
std::vector<uint8_t> BlueChannelRaster(const QImage& picture);
