// Thread sanitizer suppressions for the station's program and its tests, read by the
// sanitizer's runtime when it starts (other builds never call it).
//
// Qt (with its X11 platform, libxcb, GLib and libdbus) and pcsc-lite come from Debian without the
// sanitizer: their own locks are invisible to it, so memory they free or synchronise inside the
// library is not judged here. The station's code, and Qt's inline code compiled into it, still is.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Test.so.6\n"
           "called_from_lib:libQt6XcbQpa.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libdbus-1.so.3\n" // under Qt's D-Bus, the desktop portal's road
           "called_from_lib:libxcb.so.1\n"
           "called_from_lib:libglib-2.0.so.0\n"
           // pcsc-lite's client keeps one process-wide table of reader states and
           // fills it under the lock of whichever context asks; the station's
           // readers each wait on a context of their own, as PC/SC allows.
           "called_from_lib:libpcsclite.so.1\n"
           // The test portal, made on the main thread, is handed to Qt D-Bus's own
           // thread under Qt's futex locks, which the sanitizer cannot see.
           "race:FakeScreenshotPortal::metaObject\n"
           // glibc's time zone setup behind localtime_r
           "race:tzset_internal\n";
}
