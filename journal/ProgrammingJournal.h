#pragma once

#include "JournalAttempt.h"
#include "JournalResult.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// When a token was last programmed, and where.
struct ProgrammedBefore
{
    QDateTime time;  // UTC
    QString station; // the station that programmed it; empty when the journal is one machine's
};

// The journal of programming attempts: every token the station sends a seed
// to, whether it was programmed, failed, or the station stopped on the way.
// A seed is written once and never read back, and the authentication server
// binds a serial number to one seed; the journal is how the station sees a
// token programmed twice and a seed that reached a token but no export file.
//
// The caller's road for one token:
//   1. lastProgrammed(serial): a date means the token already holds a seed
//      the server may know; ask the operator (ProgramAgainQuestion).
//   2. beginWriting(attempt): when it fails, do not program the token (the
//      seed would be recorded nowhere). Send the seed only after it returns.
//   3. finish(id, Programmed or Failed, reason, the export files written).
// An attempt that ends before any seed is sent (wrong token, no key) is
// recordAttempt()ed with its outcome. At start, unfinished() lists the rows
// a stopped station left "writing" (UnfinishedAttemptsMessage); once the
// operator has seen them, markInterrupted() keeps them from being shown at
// every start.
//
// Every call returns whether it reached the disk and, when not, why. The
// calls are safe from several threads; several stations may share one
// journal. journal/README.md says how a server database shared by several
// machines takes this interface's place.
class ProgrammingJournal
{
public:
    virtual ~ProgrammingJournal() = default;

    // Records the attempt as "writing" and returns its id once the row is on
    // the disk. attempt.state and attempt.id are ignored.
    virtual JournalResult<qint64> beginWriting(const JournalAttempt& attempt) = 0;

    // Gives a "writing" attempt its outcome: Programmed or Failed, the reason
    // (empty on success) and the export files the record went to. An attempt
    // already marked interrupted takes the outcome too (its writer was alive
    // after all); one already finished, or unknown, is an error.
    virtual JournalResult<void> finish(qint64 id, AttemptState state, const QString& reason,
                                       const QStringList& exportFiles) = 0;

    // Records an attempt that ended before any seed was sent, with its outcome
    // (attempt.state: anything but Writing).
    virtual JournalResult<qint64> recordAttempt(const JournalAttempt& attempt) = 0;

    // When the token with this serial number was last programmed; nullopt
    // when it never was (failed, interrupted and unfinished attempts do not
    // count: no seed of theirs is recorded anywhere).
    virtual JournalResult<std::optional<QDateTime>> lastProgrammed(const QString& serialNumber) = 0;

    // The same, with the station that programmed it when the journal is
    // shared by a fleet (empty in one machine's journal).
    virtual JournalResult<std::optional<ProgrammedBefore>>
    lastProgrammedBy(const QString& serialNumber)
    {
        JournalResult<std::optional<QDateTime>> last = lastProgrammed(serialNumber);
        if (!last.ok())
            return JournalError{last.error()};
        if (!last.value())
            return std::optional<ProgrammedBefore>();
        return std::optional<ProgrammedBefore>(ProgrammedBefore{*last.value(), QString()});
    }

    // The attempts left "writing" by a station that is no longer running,
    // oldest first. Attempts still being written by a running station (this
    // one or another sharing the journal) are not listed.
    virtual JournalResult<QList<JournalAttempt>> unfinished() = 0;

    // Marks these "writing" attempts "interrupted", after the operator was told.
    virtual JournalResult<void> markInterrupted(const QList<qint64>& ids) = 0;

    // The attempts since that time (all when nullopt) for that serial number
    // (all when empty), oldest first.
    virtual JournalResult<QList<JournalAttempt>> list(const std::optional<QDateTime>& since,
                                                      const QString& serialNumber) = 0;
};
