#pragma once

#include <QDBusConnection>
#include <QString>

// A copy of the screen from the desktop portal (org.freedesktop.portal.Screenshot
// on org.freedesktop.portal.Desktop), the way a Wayland desktop hands one out:
// the desktop asks its user for permission and answers with a picture file.

enum class PortalScreenshotStatus
{
    Taken,    // path names the picture file the desktop wrote
    NoPortal, // nothing on the bus answers for the portal or its Screenshot call
    Refused,  // the desktop's user did not allow it (response 1)
    Ended,    // the desktop ended the request without a picture (response 2)
    NoAnswer, // no answer within the time allowed
    Failed,   // an error from the portal, or an answer without a file; detail says which
};

struct PortalScreenshot
{
    PortalScreenshotStatus status = PortalScreenshotStatus::NoPortal;
    QString path;
    QString detail;
};

// Asks the portal on bus for a copy of the whole screen, without the
// portal's own interactive choice of an area. Returns when the desktop answers
// or after timeoutMs. Meanwhile the calling thread keeps serving its events
// (windows keep painting, timers and queued calls run), all but user input,
// which waits until the answer is in. The picture file belongs to the desktop
// and its user: it is never removed here.
PortalScreenshot TakePortalScreenshot(const QDBusConnection& bus, int timeoutMs);
