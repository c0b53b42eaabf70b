#include "DataFolder.h"
#include "StationApplication.h"
#include "journal/JournalCommand.h"
#include "journal/JournalFiles.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Without a desktop session Qt would abort with a message about platform
// plugins; say what to do instead. The VNC road serves the window on this
// machine only: Qt's own VNC platform would offer it to the whole network.
bool HasDesktop()
{
    return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") ||
           std::getenv("WAYLAND_DISPLAY");
}

// `station journal ...` lists the programming journal: a command for a
// terminal, with no desktop and no window.
int RunJournal(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunJournalCommand(QCoreApplication::arguments().mid(2), out, err,
                             JournalDatabasePath(DataFolder()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "journal") == 0)
        return RunJournal(argc, argv);
    if (!HasDesktop()) {
        std::fprintf(stderr, "station: no desktop session (DISPLAY and WAYLAND_DISPLAY are "
                             "unset); run it with scripts/serve-over-vnc to use it over VNC "
                             "on 127.0.0.1\n");
        return 2;
    }
    StationApplication app(argc, argv);
    return app.InitInstance();
}
