#pragma once

#include "ConsoleState.h"
#include "Operator.h"

#include <QStringList>

struct TimingOptions
{
    int timeStep = 30;           // 30 or 60
    int displayTime = 30;        // 15, 30, 60 or 120
    char algorithmName[16] = {}; // "SHA1" or "SHA256"
};

// What the reader monitor, the token poll and the programming of one token
// need from the main window. MainWindow implements it; tests use a fake.
// Every call may come from any thread: widget work is carried out on the
// window's thread, and a calling worker waits for it (except postTokenRefresh).
class ConsoleWindow
{
public:
    virtual ~ConsoleWindow() = default;

    virtual ConsoleState& state() = 0;
    virtual Operator& op() = 0;

    // WM_TOKEN_REFRESH: the window shows the state's texts and sets Burn's
    // enabled state from them. Posted; never waits.
    virtual void postTokenRefresh() = 0;

    // Reader list 1018.
    virtual QStringList readerEntries() = 0;
    virtual int selectedReaderIndex() = 0; // -1 when nothing is selected
    virtual void deleteReaderEntry(int index) = 0;
    virtual void appendReaderEntry(const QString& name) = 0;

    // Burn button 1015.
    virtual void setBurnEnabled(bool enabled) = 0;
    virtual void setBurnText(const QString& text) = 0;

    // Seed sources: NormalizeSeedText rebuilds state().seedText from the seed
    // edit; SelectSeedForSerial applies the seed file's seed of the serial number.
    virtual void normalizeSeedText() = 0;
    virtual void selectSeedForSerial() = 0;

    // Choices read from the controls when they are used.
    virtual TimingOptions readTimingOptions() = 0;
    virtual bool syncClockChecked() = 0;
    virtual bool exportChecked() = 0;

    // Export files, log list 1060 and the counters 1008-1010.
    virtual void openExportFiles() = 0;
    // Records the token just programmed: the serial number and the normalised
    // seed text that were written to it, not what the fields hold by now.
    virtual void appendExportRecord(const QString& serialNumber, const QString& seedText) = 0;
    virtual void addLogRow(const QString& serialNumber, const QString& userName,
                           const QString& result) = 0;
    virtual void showCounters() = 0;
};
