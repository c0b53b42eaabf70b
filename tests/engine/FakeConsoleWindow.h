#pragma once

#include "engine/ClockTexts.h"
#include "engine/ConsoleWindow.h"
#include "engine/ThreadCall.h"
#include "tests/support/RecordingOperator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QMap>
#include <QObject>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

// A main window without widgets for the console's components. Like the real
// window it carries out every call on its own (the main) thread, a worker
// waiting until it is done, and shows messages there too, so a test meets the
// same waits and the same deadlocks the station would.
class FakeConsoleWindow : public ConsoleWindow
{
public:
    struct LogRow
    {
        QString time, serialNumber, userName, result;
    };
    struct ExportRecord
    {
        QString serialNumber, seedText, userName;
        int timeStep;
    };

    // What the window's thread does for a message: record it (and return, as
    // if the operator pressed OK at once).
    class WindowThreadOperator : public Operator
    {
    public:
        explicit WindowThreadOperator(FakeConsoleWindow& window) : m_window(window) {}
        void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
        {
            m_window.onWindowThread([&] { recorded.showMessage(text, caption, icon); });
        }
        QString askOpenFileName(const QString& filter) override
        {
            return recorded.askOpenFileName(filter);
        }
        void beep() override { recorded.beep(); }
        RecordingOperator recorded;

    private:
        FakeConsoleWindow& m_window;
    };

    FakeConsoleWindow() = default;

    // The controls and choices, read and set by the test on the main thread.
    QStringList entries;
    int selected = -1;
    bool burnEnabled = false;
    QString burnText = QStringLiteral("Burn");
    std::vector<LogRow> logRows; // newest first
    int countersShown = 0;
    int exportOpened = 0;
    std::vector<ExportRecord> exportRecords;
    QString seedEdit;
    QString userNameEdit;
    QMap<QString, QString> seedTable;
    TimingOptions timing = DefaultTiming();
    bool syncClock = true;
    bool exportCheck = false;
    std::function<bool()> burnHeld = [] { return false; };
    std::atomic<int> refreshes{0};

    RecordingOperator& messages() { return m_operator.recorded; }
    QStringList messageTexts() const { return m_operator.recorded.texts(); }

    ConsoleState& state() override { return m_state; }
    Operator& op() override { return m_operator; }

    void postTokenRefresh() override
    {
        m_thread.post([this] {
            const ConsoleTexts texts = m_state.texts();
            burnEnabled = !burnHeld() && !texts.seedText.isEmpty() && !texts.serialNumber.isEmpty();
            ++refreshes;
        });
    }

    QStringList readerEntries() override
    {
        QStringList copy;
        onWindowThread([&] { copy = entries; });
        return copy;
    }
    int selectedReaderIndex() override
    {
        int index = -1;
        onWindowThread([&] { index = selected; });
        return index;
    }
    void deleteReaderEntry(int index) override
    {
        onWindowThread([&] {
            entries.removeAt(index);
            // Like a combo box: deleting the chosen entry leaves no choice.
            if (selected == index)
                selected = -1;
            else if (selected > index)
                --selected;
        });
    }
    void appendReaderEntry(const QString& name) override
    {
        onWindowThread([&] { entries << name; });
    }
    void setBurnEnabled(bool enabled) override
    {
        onWindowThread([&] { burnEnabled = enabled; });
    }
    void setBurnText(const QString& text) override
    {
        onWindowThread([&] { burnText = text; });
    }
    void normalizeSeedText() override
    {
        onWindowThread([&] {
            QString text = seedEdit.toUpper().remove(QLatin1Char('-'));
            while (text.size() % 8 != 0)
                text += QLatin1Char('=');
            m_state.update([&](ConsoleTexts& texts) { texts.seedText = text; });
        });
    }
    void selectSeedForSerial() override
    {
        onWindowThread([&] {
            const QString serial = m_state.texts().serialNumber;
            if (serial.isEmpty() || !seedTable.contains(serial))
                return;
            setSeed(seedTable.value(serial));
            m_operator.beep();
        });
    }
    TimingOptions readTimingOptions() override
    {
        TimingOptions copy;
        onWindowThread([&] { copy = timing; });
        return copy;
    }
    bool syncClockChecked() override
    {
        bool checked = false;
        onWindowThread([&] { checked = syncClock; });
        return checked;
    }
    bool exportChecked() override
    {
        bool checked = false;
        onWindowThread([&] { checked = exportCheck; });
        return checked;
    }
    void openExportFiles() override
    {
        onWindowThread([&] { ++exportOpened; });
    }
    void appendExportRecord(const QString& serialNumber, const QString& seedText) override
    {
        onWindowThread([&] {
            if (!exportCheck)
                return;
            exportRecords.push_back({serialNumber, seedText, userNameEdit, timing.timeStep});
            m_state.update([&](ConsoleTexts& t) { t.userName = userNameEdit; });
        });
    }
    void addLogRow(const QString& serialNumber, const QString& userName,
                   const QString& result) override
    {
        onWindowThread([&] {
            logRows.insert(logRows.begin(), {LogTimeText(QDateTime::currentDateTime()),
                                             serialNumber, userName, result});
        });
    }
    void showCounters() override
    {
        onWindowThread([&] { ++countersShown; });
    }

    // A seed source placing a seed (seed edit and seed text).
    void setSeed(const QString& text)
    {
        seedEdit = text;
        m_state.update([&](ConsoleTexts& texts) { texts.seedText = text; });
    }

    void onWindowThread(const std::function<void()>& work) { m_thread.run(work); }

private:
    static TimingOptions DefaultTiming()
    {
        TimingOptions options;
        std::snprintf(options.algorithmName, sizeof options.algorithmName, "SHA1");
        return options;
    }

    ConsoleState m_state;
    ThreadCaller m_thread; // lives on the main thread: the window's thread
    WindowThreadOperator m_operator{*this};
};

// Runs the main thread's events until the condition holds or ten seconds pass,
// like QTRY_VERIFY: the workers' effects arrive through the event queue.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}
