#include "CKelvraApp.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Without a desktop session the station still opens: Qt serves its window
// to a VNC viewer on this machine only.
void ServeOverVncWithoutDesktop()
{
    const bool platformChosen = std::getenv("QT_QPA_PLATFORM") != nullptr;
    const bool desktop =
        std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (platformChosen || desktop)
        return;
    setenv("QT_QPA_PLATFORM", "vnc:size=1280x900:addr=127.0.0.1:port=5900", 1);
    std::printf("station: no desktop session; connect a VNC viewer to 127.0.0.1:5900\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    ServeOverVncWithoutDesktop();
    CKelvraApp app(argc, argv);
    return app.InitInstance();
}
