#include "StationApplication.h"

#include "DataFolder.h"
#include "MainWindow.h"
#include "QtOperator.h"

#include <QSettings>

StationApplication::StationApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Zentoka/Pelarin Programmer"));
    setApplicationVersion(QStringLiteral("1.1"));
}

int StationApplication::runWindow()
{
    QtOperator op;
    MainWindow window(op, DataFolder());
    op.setWindow(&window);
    // The user's own settings file, under $XDG_CONFIG_HOME (~/.config).
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zentoka"),
                       QStringLiteral("Pelarin Programmer"));
    window.useSettings(&settings);
    window.startReaderMonitor();
    window.exec();
    return 0;
}
