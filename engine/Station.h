#pragma once

#include "CycleThread.h"
#include "Operator.h"
#include "ReaderEvents.h"
#include "TimingOptions.h"
#include "seed/ByteString.h"
#include "seed/ExportFiles.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

class TokenSession;

// What the station shows of the token on its reader.
struct TokenTexts
{
    QString serialNumber;  // empty when no token has been read
    QString tokenClock;    // as read from the token, UTC
    QString computerClock; // UTC, refreshed with each read and clock sync
    QString tips;          // the status line
};

// The attempt counters and the user name last written to the export files.
struct StationTally
{
    int total = 0;
    int success = 0;
    int fail = 0;
    QString userName;
};

// One Burn press: the token it was pressed for and everything the window's
// controls said at that moment.
struct BurnRequest
{
    QString serialNumber; // the token shown when Burn was pressed
    QString seedText;     // the seed edit's text; the station normalises it
    TimingOptions timing;
    bool syncClock = true;
    bool exportRecord = false;
    QString userName;
};

// The station on one reader: it watches the reader, reads each token
// presented, and programs the token a Burn press was made for, recording
// the outcome. It owns its watching thread, its PC/SC context, its state and
// its counters; the window observes it through its signals, which come from
// the station's thread (connect them queued).
//
// The watching thread sleeps in the platform's wait until the reader or its
// card changes, or a request (Burn, Stop, Seal, stopping) wakes it. A token
// is known as new by the platform's event count, so one lifted and presented
// again while the station was busy (a message open, a command running) is
// read again. All the commands of one programming run go over one connection
// in one transaction, and nothing is written to a token other than the one
// Burn was pressed for.
class Station : public QObject
{
    Q_OBJECT

public:
    // customerKey: 32 hexadecimal characters, read-only for the station's
    // life. exportFiles is shared by every station and outlives them.
    Station(QString readerName, const char* customerKey, Operator& op, ExportFiles& exportFiles,
            StationTally tally = {});
    ~Station() override;

    // Window's thread. stopAndWait finishes a programming run under way,
    // then ends the watching; meanwhile it serves the calling thread's
    // events, so a message the station is showing there can be answered.
    void start();
    void stopAndWait();

    // Any thread; each returns at once, the work is done on the station's thread.
    void burn(const BurnRequest& request);
    // Stop: disarms, or keeps a run under way from writing its seed.
    void stopProgramming();
    void seal();

    QString readerName() const { return m_readerName; }
    TokenTexts texts() const;
    StationTally tally() const;
    bool armed() const { return m_armed; }

signals:
    void textsChanged();
    // A token was read: the window puts the seed file's seed for it in place.
    void tokenRead(const QString& serialNumber);
    // Programming armed ("Stop") or not ("Burn").
    void armedChanged(bool armed);
    // A finished attempt for the log: serial number, user name, result.
    void attemptRecorded(const QString& serialNumber, const QString& userName,
                         const QString& result);
    void tallyChanged();
    // The work of a Burn press is over, whatever its outcome.
    void burnDone();
    // A new set of export files was created; hexPath names its first file.
    void exportSetOpened(const QString& hexPath);

private:
    enum class Request
    {
        Burn,
        Seal
    };

    // The watching thread.
    void WatchOnce();
    void ServeRequests();
    void WatchCard(DWORD eventState);
    bool DetectToken();
    void ShowNoCard();
    void UpdateComputerClock();
    void SetTexts(const TokenTexts& texts);

    // Programming, on the watching thread (StationProgramming.cpp).
    void RunBurn(const BurnRequest& request);
    bool ConfigureToken(TokenSession& session, const BurnRequest& request);
    bool ProgramToken(TokenSession& session, const BurnRequest& request, const QString& seedText,
                      const ByteString& seed);
    int32_t AuthenticateCard(TokenSession& session, const QString& serialNumber);
    void EndRun();
    void FinishAttempt(bool succeeded, const BurnRequest& request, const QString& seedText);
    // Runs work on the export files and tells when it created a new set.
    template <typename Work> auto WithExportFiles(Work work);
    void Disarm();
    void RunSeal();

    const QString m_readerName;
    const QByteArray m_readerNameUtf8;
    const char* const m_customerKey;
    Operator& m_operator;
    ExportFiles& m_exportFiles;

    mutable std::mutex m_lock; // guards the members below it up to m_requests
    TokenTexts m_texts;
    StationTally m_tally;
    std::deque<std::pair<Request, BurnRequest>> m_requests;
    bool m_runActive = false; // a Burn press is being served

    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_stopRequested{false};

    // Owned by the watching thread.
    ReaderEvents m_events;
    DWORD m_readerState = SCARD_STATE_UNAWARE;
    std::optional<DWORD> m_cardEvents; // event count of the card last seen
    bool m_detectPending = true;
    bool m_serviceLost = false;
    QMap<QString, int> m_triesLeft; // tries a token reported after a refused key

    CycleThread m_thread; // last: it ends before the members it reaches go away
};
