#pragma once

#include "JournalAttempt.h"
#include "ProgrammingJournal.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What the station tells the operator about the journal. Times are shown in
// local time to the minute, "2026-12-10 14:05".

QString JournalLocalMinute(const QDateTime& time);

// One attempt left "writing" by a station that stopped:
// "2026-12-10 14:05, reader R: Token X may hold a seed that is recorded
// nowhere: program it again."
QString UnfinishedAttemptMessage(const JournalAttempt& attempt);

// One such line per attempt, oldest first.
QString UnfinishedAttemptsMessage(const QList<JournalAttempt>& attempts);

// The question before programming a token the journal knows as programmed:
// "Token X was programmed on 2026-12-10 14:05. Programming it again makes
// that seed invalid. Program it again?"
QString ProgramAgainQuestion(const QString& serialNumber, const QDateTime& programmed);
// In a fleet's journal, with the station that programmed it: "Token X was
// programmed on 2026-12-10 14:05 at station pc12. ..."
QString ProgramAgainQuestion(const QString& serialNumber, const ProgrammedBefore& programmed);

// Why a token is not programmed when the journal cannot record the attempt
// (beginWriting failed): a seed must not go to a token unrecorded.
// "Token X is not programmed: the programming journal cannot record it.\n<error>"
QString JournalRefusedMessage(const QString& serialNumber, const QString& error);
