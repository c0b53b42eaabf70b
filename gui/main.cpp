#include "DataFolder.h"
#include "StationApplication.h"
#include "cli/CommandLine.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Without a desktop session Qt would abort with a message about platform
// plugins; say what to do instead. The VNC road serves the window on this
// machine only: Qt's own VNC platform would offer it to the whole network.
bool HasDesktop()
{
    return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") ||
           std::getenv("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    // The terminal's commands need no desktop.
    if (argc > 1 && IsStationCommand(argv[1]))
        return RunStationCommand(argc, argv, [] { return DataFolder(); });
    if (!HasDesktop()) {
        std::fprintf(stderr, "station: no desktop session (DISPLAY and WAYLAND_DISPLAY are "
                             "unset); run it with scripts/serve-over-vnc to use it over VNC "
                             "on 127.0.0.1\n");
        return 2;
    }
    StationApplication app(argc, argv);
    return app.runWindow();
}
