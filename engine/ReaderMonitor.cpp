#include "ReaderMonitor.h"

#include "token/CardTransport.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {
const QString kEndOfName = QStringLiteral("[E]");
}

QStringList SplitReaderList(const QString& readerListText)
{
    QStringList names;
    qsizetype from = 0;
    for (qsizetype end = readerListText.indexOf(kEndOfName); end >= 0;
         end = readerListText.indexOf(kEndOfName, from)) {
        names << readerListText.mid(from, end - from);
        from = end + kEndOfName.size();
    }
    return names;
}

ReaderMonitor::ReaderMonitor(ConsoleWindow& window) : m_window(window), m_thread(50ms) {}

void ReaderMonitor::start()
{
    m_thread.start([this] { ReaderMonitorProc(); });
}

void ReaderMonitor::stopAndWait()
{
    m_thread.stopAndWait();
}

void ReaderMonitor::ReaderMonitorProc()
{
    std::string listed;
    if (ListReaders(listed) != 0) {
        // No service or no reader: the list empties, the Tips line keeps its text.
        for (int i = static_cast<int>(m_window.readerEntries().size()) - 1; i >= 0; --i)
            m_window.deleteReaderEntry(i);
        m_window.state().update([](ConsoleTexts& texts) {
            texts.serialNumber.clear();
            texts.tokenClock.clear();
            texts.computerClock.clear();
        });
    } else {
        const QString readerListText = QString::fromStdString(listed);
        if (readerListText.isEmpty()) {
            ShowNoReader();
        } else if (m_window.selectedReaderIndex() < 0) {
            m_window.state().update([](ConsoleTexts& texts) {
                texts.tips = QStringLiteral("Please select a card reader.");
            });
            m_window.postTokenRefresh();
        }
        // The list changes only here, so one look at it serves the whole cycle.
        QStringList entries = m_window.readerEntries();
        DropGoneReaders(readerListText, entries);
        AddNewReaders(SplitReaderList(readerListText), entries);
    }
    m_window.postTokenRefresh();
}

void ReaderMonitor::ShowNoReader()
{
    m_window.state().update([](ConsoleTexts& texts) {
        texts.serialNumber.clear();
        texts.tokenClock.clear();
        texts.computerClock.clear();
        texts.tips = QStringLiteral("No card reader detected.");
    });
    g_detectPending = 1;
    g_programPending = 1;
    m_window.postTokenRefresh();
}

void ReaderMonitor::DropGoneReaders(const QString& readerListText, QStringList& entries)
{
    // A plain substring test: an entry stays while its text is part of any
    // listed name.
    for (int i = static_cast<int>(entries.size()) - 1; i >= 0; --i) {
        if (!readerListText.contains(entries[i])) {
            m_window.deleteReaderEntry(i);
            entries.removeAt(i);
        }
    }
}

void ReaderMonitor::AddNewReaders(const QStringList& names, QStringList& entries)
{
    for (const QString& name : names) {
        if (!entries.contains(name, Qt::CaseSensitive)) {
            m_window.appendReaderEntry(name);
            entries << name;
        }
    }
}
