#include "StationApplication.h"

#include "DataFolder.h"
#include "MainWindow.h"
#include "QtOperator.h"

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
    window.startReaderMonitor();
    window.exec();
    return 0;
}
