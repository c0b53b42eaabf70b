#pragma once

#include <QApplication>

// The station's application: runs the main window for the life of the process.
class StationApplication : public QApplication
{
    Q_OBJECT

public:
    StationApplication(int& argc, char** argv);

    // Shows the main window until it closes; returns the process's exit code.
    int runWindow();
};
