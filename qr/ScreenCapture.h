#pragma once

#include "qr/GreyPicture.h"
#include "qr/QrScan.h"

#include <QDBusConnection>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QScreen;

// The screens as the Scan Screen command reads them.

enum class ScreenGrabStatus
{
    Ok,
    NoScreenAccess,  // a Wayland session that does not let programs copy the screen
    Unreadable,      // the copy came back empty
    PortalRefused,   // the desktop (its user) did not allow the copy
    PortalEnded,     // the desktop ended the request without a copy
    PortalNoAnswer,  // the desktop did not answer in time
    PortalFailed,    // the desktop's answer was an error or no file; detail says which
    PortalUnreadable // the desktop's picture file could not be read; detail names it
};

struct ScreenGrab
{
    ScreenGrabStatus status = ScreenGrabStatus::Unreadable;
    // One grey raster per screen, the primary screen first, then the others
    // in the order the desktop lists them; a desktop portal's copy is one.
    std::vector<GreyRaster> screens;
    QString detail;
};

struct ScreenGrabOptions
{
    // The bus on which a desktop portal is asked; none: the session's,
    // reached only when a portal is asked.
    std::optional<QDBusConnection> bus;
    // How long the desktop may take to answer (its user may be asked first).
    int portalTimeoutMs = 60000;
};

// Copies every screen. In a Wayland session the desktop portal is asked, and
// so it is when the X server hands out nothing; without a portal the copy
// is judged as JudgeScreenGrab does. Screens copied directly give the blue
// component of each pixel as grey (BlueChannelRaster), each at its own
// pixel size; the portal's picture file is read like any picture
// (LoadGreyPicture). Needs a QGuiApplication; serves the thread's events
// while the desktop is asked.
ScreenGrab GrabScreens(const ScreenGrabOptions& options = ScreenGrabOptions());

// Where GrabScreens takes the screens from, chosen by ChooseScreenGrab.
struct ScreenSources
{
    std::function<ScreenGrab()> copyScreens; // every screen directly, judged
    std::function<ScreenGrab()> askPortal;   // NoScreenAccess when no portal answers
};

// A Wayland session or platform asks the portal first; without one, a
// Wayland platform has no access, while XWayland's copy is judged. Outside
// Wayland the screens are copied directly, and the portal is asked only when
// that copy comes back empty.
ScreenGrab ChooseScreenGrab(bool waylandSession, bool waylandPlatform,
                            const ScreenSources& sources);

// The screens in the order they are searched: the primary first, then the
// others as the desktop lists them.
std::vector<QScreen*> ScreensInSearchOrder();

// Searches the rasters in order and keeps the first secret found. A code that
// could not be decoded is reported only when no raster gives a secret, like
// the scan of one raster; so is a raster the decoder cannot take, unless
// another could be searched.
QrScanResult ScanRastersForOtpauthSecret(const std::vector<GreyRaster>& rasters);
// The same for a worker thread: control's cancel flag is looked at between
// the scan's passes, and the progress runs once from 0 to 100 over all the
// rasters. A cancelled scan gives NoOtpauthCode with cancelled set.
QrScanResult ScanRastersForOtpauthSecret(const std::vector<GreyRaster>& rasters,
                                         const WorkControl& control);

// Judges a copy: a Wayland compositor hands out nothing, or (through XWayland)
// a blank picture, instead of the screen.
ScreenGrabStatus JudgeScreenGrab(const QString& platformName, bool waylandSession,
                                 const QImage& picture);

// The grey raster of a picture: width x height bytes, rows top to bottom, each
// the blue component of its pixel. A QR code drawn in pure blue on white
// therefore vanishes, as it always has on this station. Pictures that are not
// 32 bits per pixel are converted first.
std::vector<uint8_t> BlueChannelRaster(const QImage& picture);
