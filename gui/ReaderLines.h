#pragma once

#include "Operator.h"
#include "Station.h"
#include "seed/ExportFiles.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

// The window's production line: one line per reader the platform lists, each
// with the station that watches it while its Connect is checked, its token's
// texts and its counters. It is the window's model of the readers, without
// widgets: the window shows it and passes it the operator's choices.
//
// Window's thread only. Stopping a station serves the thread's events (a
// message that station shows must be answered), so any call may arrive
// while another is under way; the lines settle to what the operator asked
// for last.
class ReaderLines : public QObject
{
    Q_OBJECT

public:
    // customerKey and exportFiles are shared by every station and outlive
    // this object.
    ReaderLines(const char* customerKey, Operator& op, ExportFiles& exportFiles);
    ~ReaderLines() override;
    ReaderLines(const ReaderLines&) = delete;
    ReaderLines& operator=(const ReaderLines&) = delete;

    // The platform's list (every name followed by "[E]"), or no list at all
    // (no service). A reader no longer listed keeps its line while its
    // station runs, since it waits for its reader to come back; otherwise the
    // line goes, its counts staying in the totals.
    void followList(const QString& readerListText);
    void listFailed();

    // The lines in the order the platform first listed their readers.
    QStringList names() const;
    bool contains(const QString& readerName) const;

    // Connect checked or not for a reader's line: its station is made and
    // started, or stopped (after the run under way) and dropped. connected
    // says what was asked last; station says whether it runs.
    void setConnected(const QString& readerName, bool connected);
    bool connected(const QString& readerName) const;
    // Stops every station and connects no more, until resume.
    void stopAll();
    void resume() { m_shutDown = false; }

    // The line the window's single-token controls act on; empty for none.
    // The choice is the operator's: a line that goes leaves none chosen.
    void setCurrent(const QString& readerName);
    QString current() const { return m_current; }

    // The station of a line, null while it is not connected.
    Station* station(const QString& readerName) const;
    TokenTexts texts(const QString& readerName) const;
    StationTally tally(const QString& readerName) const;
    // Every attempt of this window, on every line there is or was.
    StationTally total() const;

    // The journal every station connected from now on records into; it
    // outlives this object. Null for none.
    void setJournal(ProgrammingJournal* journal) { m_journal = journal; }
    // The fleet's certificate the stations connected from now on seal their
    // seeds to; it outlives this object. Null: seeds are not sealed.
    void setSeedSeal(const SeedSeal* seal) { m_seedSeal = seal; }
    // The PSKC file of the stations connected from now on; outlives this object.
    void setPskcExport(PskcExport* pskc) { m_pskc = pskc; }

    // Given to every station connected now or later; nullopt turns it off.
    void setAutoProgramming(std::optional<AutoProgramming> settings);
    const std::optional<AutoProgramming>& autoProgramming() const { return m_auto; }

signals:
    // Lines came or went, or were connected or disconnected.
    void linesChanged();
    // A line's texts or counters changed.
    void lineChanged(const QString& readerName);
    // What the stations tell, with the reader they come from.
    void tokenRead(const QString& readerName, const QString& serialNumber);
    void armedChanged(const QString& readerName, bool armed);
    void attemptRecorded(const QString& readerName, const QString& serialNumber,
                         const QString& userName, const QString& result);
    void burnDone(const QString& readerName);
    void tokenDone(const TokenOutcome& outcome);
    void exportSetOpened(const QString& hexPath);

private:
    struct Line
    {
        QString readerName;
        bool listed = true;
        bool wanted = false; // Connect checked
        std::unique_ptr<Station> station;
        StationTally tally; // carried over to the line's next station
    };

    Line* find(const QString& readerName);
    const Line* find(const QString& readerName) const;
    void settle();
    void start(Line& line);
    void stop(const QString& readerName);
    void dropIdleUnlisted();
    void updateTally(const QString& readerName);

    const char* const m_customerKey;
    ProgrammingJournal* m_journal = nullptr;
    const SeedSeal* m_seedSeal = nullptr;
    PskcExport* m_pskc = nullptr;
    Operator& m_operator;
    ExportFiles& m_exportFiles;
    std::vector<Line> m_lines;
    StationTally m_dropped; // counts of lines that went
    QString m_current;
    std::optional<AutoProgramming> m_auto;
    bool m_settling = false;
    bool m_shutDown = false;
};
