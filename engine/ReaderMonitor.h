#pragma once

#include "ConsoleWindow.h"
#include "CycleThread.h"

#include <QStringList>
#include <string>

// Keeps the reader list in step with the readers the platform reports, about
// every 50 ms, and tells the operator when there is none or none is chosen.
class ReaderMonitor
{
public:
    explicit ReaderMonitor(ConsoleWindow& window);

    // Window's thread.
    void start();
    void stopAndWait();
    bool running() const { return m_thread.running(); }

    // One cycle of the monitor, on the monitor's thread.
    void ReaderMonitorProc();

private:
    void ShowNoReader();
    // entries: the list as it stands, kept in step with the changes made.
    void DropGoneReaders(const QString& readerListText, QStringList& entries);
    void AddNewReaders(const QStringList& names, QStringList& entries);

    ConsoleWindow& m_window;
    CycleThread m_thread;
};

// The names of a reader list text: every name is followed by "[E]".
QStringList SplitReaderList(const QString& readerListText);
