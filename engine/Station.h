#pragma once

#include "CycleThread.h"
#include "MessageCollector.h"
#include "Operator.h"
#include "ReaderEvents.h"
#include "TimingOptions.h"
#include "UserAssignments.h"
#include "journal/JournalAttempt.h"
#include "seed/ByteString.h"
#include "seed/ExportFiles.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

class ProgrammingJournal;
class SeedSeal;
class PskcExport;
class SeedTable;
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
    bool exportPskc = false; // with exportRecord: the PSKC file gets the record too
    QString userName;
    // Auto-programming: the token is whichever one was presented, and its
    // seed is chosen once its serial number is read (seedText is empty).
    bool automatic = false;
};

// Where auto-programming takes each token's seed.
enum class SeedSource
{
    Random32, // a fresh random seed of 32 Base32 characters per token
    Random64, // ... of 64 characters
    SeedFile, // the seed file's seed for the token's serial number
};

// Auto-programming on one reader: every token presented is programmed with
// these settings, without a press.
struct AutoProgramming
{
    SeedSource source = SeedSource::Random32;
    const SeedTable* seedFile = nullptr; // SeedFile: outlives the station's auto mode
    TimingOptions timing;
    bool syncClock = true;
    bool exportRecord = true;
    bool exportPskc = false;
    // Each token's user (UPN): the seed file's for the token when it names
    // one; else, for a random seed, the next of users when set (a token
    // that finds none left is not programmed); else userName, which is
    // empty unless the same user goes to every token.
    QString userName;
    UserAssignments* users = nullptr; // outlives the station's auto mode
    // A failure shows a message that holds the reader until it is closed
    // (the window); off where the outcome is reported otherwise.
    bool holdOnFailure = true;
};

// What became of one attempt to program a token, for the log's status line
// and the command line's report.
struct TokenOutcome
{
    enum class Result
    {
        Programmed,  // holds its seed, recorded in every export file asked for
        NotRecorded, // holds its seed, but a record is missing (see reason)
        Failed,      // not programmed (see reason)
    };
    QString readerName;
    QString serialNumber; // empty when no token could be read
    Result result = Result::Failed;
    bool automatic = false;
    bool again = false;      // this token was programmed before: that seed is void now
    QString userName;        // the user its records name; empty when none
    QString reason;          // why it failed or what misses its record; empty otherwise
    QStringList exportFiles; // the files that hold its record
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
    // The journal every attempt goes to, shared by the stations; set before
    // start(), it outlives the station. Without one, the station knows only
    // the tokens it programmed itself as programmed before.
    void setJournal(ProgrammingJournal* journal) { m_journal = journal; }
    // Seeds go to the journal sealed to the fleet's certificate (none: unsealed).
    void setSeedSeal(const SeedSeal* seal) { m_seedSeal = seal; }
    // The PSKC file a request with exportPskc records into, shared like the
    // export files; set before start(), it outlives the station.
    void setPskcExport(PskcExport* pskc) { m_pskc = pskc; }

    // Any thread; each returns at once, the work is done on the station's thread.
    void burn(const BurnRequest& request);
    // Turns auto-programming on (with its settings) or off. It applies to
    // tokens presented from now on; a token already on the reader is left
    // as it is. A failure shows a message naming the token and the reason,
    // and this reader programs nothing more until the operator closes it.
    void setAutoProgramming(std::optional<AutoProgramming> settings);
    std::optional<AutoProgramming> autoProgramming() const;
    // Programs the token on the reader now with those settings, as one
    // automatic run; tokenDone tells the outcome (a failure when no token
    // is there). For the command line.
    void programPresent(const AutoProgramming& settings);
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
    // An attempt to program a token ended (pressed or automatic).
    void tokenDone(const TokenOutcome& outcome);
    // A new set of export files was created; hexPath names its first file.
    void exportSetOpened(const QString& hexPath);

private:
    enum class Request
    {
        Burn,
        ProgramPresent,
        Seal
    };
    struct Pending
    {
        Request kind = Request::Burn;
        BurnRequest burn;
        AutoProgramming settings; // ProgramPresent
    };

    // The watching thread.
    void watchOnce();
    void serveRequests();
    void watchCard(DWORD eventState);
    bool detectToken();
    bool readTokenInfo(TokenSession& session, QByteArray& serial, QString& clock);
    void showNoCard();
    void updateComputerClock();
    void setTexts(const TokenTexts& texts);

    // Programming, on the watching thread (StationProgramming.cpp).
    struct Run;
    void runBurn(const BurnRequest& request);
    // An automatic run on the token presented; false when no token could
    // be read (then nothing was attempted). requested: asked for by
    // programPresent, so a token that cannot be read is a failure too.
    bool runAuto(const AutoProgramming& settings, bool requested);
    void program(Run& run);
    bool checkSeed(Run& run);
    bool chooseAutoSeed(Run& run, const AutoProgramming& settings);
    QString chooseAutoUser(Run& run, const AutoProgramming& settings);
    void giveBackUser(Run& run);
    bool openAndCheckToken(Run& run, TokenSession& session);
    bool confirmRun(Run& run, TokenSession& session);
    bool configureToken(Run& run, TokenSession& session);
    bool programToken(Run& run, TokenSession& session);
    bool journalBeforeWrite(Run& run, TokenSession& session);
    void journalOutcome(Run& run, const TokenOutcome& outcome);
    bool sendHeldOutcomes();
    void giveUpHeldOutcomes();
    QString recordPskc(Run& run, TokenOutcome& outcome);
    int32_t authenticateCard(TokenSession& session, const QString& serialNumber, Operator& tell);
    void endRun(Run& run);
    void finishAttempt(Run& run, bool succeeded);
    // Runs work on the export files and tells when it created a new set.
    template <typename Work> auto withExportFiles(Work work);
    void disarm();
    void runSeal();

    const QString m_readerName;
    const QByteArray m_readerNameUtf8;
    const char* const m_customerKey;
    Operator& m_operator;
    ExportFiles& m_exportFiles;
    ProgrammingJournal* m_journal = nullptr;
    const SeedSeal* m_seedSeal = nullptr;
    PskcExport* m_pskc = nullptr;

    mutable std::mutex m_lock; // guards the members below it up to m_auto
    TokenTexts m_texts;
    StationTally m_tally;
    std::deque<Pending> m_requests;
    std::optional<AutoProgramming> m_auto;
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
    QSet<QString> m_programmed;     // tokens this station programmed
    // Outcomes of tokens whose seed was sent but whose finish the journal
    // did not take (a server gone), oldest first. Dropping one would leave
    // a programmed token "writing", later reported as interrupted.
    struct HeldOutcome
    {
        qint64 journalId = 0;
        QString serialNumber;
        AttemptState state = AttemptState::Programmed;
        QString reason;
        QStringList exportFiles;
    };
    std::deque<HeldOutcome> m_heldOutcomes;
    bool m_autoOnPresent = false; // auto-programming was on when the card came
    bool m_firstLook = true;      // the card now seen may have been there before

    CycleThread m_thread; // last: it ends before the members it reaches go away
};
