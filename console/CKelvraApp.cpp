#include "CKelvraApp.h"

#include "CKelvraDlg.h"
#include "QtOperator.h"

CKelvraApp::CKelvraApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Zentoka/Pelarin Programmer"));
    setApplicationVersion(QStringLiteral("1.1"));
}

int CKelvraApp::InitInstance()
{
    QtOperator op;
    CKelvraDlg window(op, applicationDirPath() + QStringLiteral("/Data"));
    op.setWindow(&window);
    window.StartReaderMonitor();
    window.exec();
    return 0;
}
