#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// What became of one attempt to program a token.
enum class AttemptState
{
    Writing,     // the seed may be on its way to the token; no outcome yet
    Programmed,  // the token holds the seed
    Failed,      // the token was not programmed (or the outcome is in the reason)
    Interrupted, // left "writing" by a station that stopped; the operator was told
};

// "writing", "programmed", "failed", "interrupted": the journal's stored words
// and the listing's.
QString AttemptStateName(AttemptState state);
std::optional<AttemptState> AttemptStateFromName(const QString& name);

// Why a journal refuses a call's state, the same in every journal; empty when
// it takes it. An attempt recorded after the fact has its outcome (one still
// writing is begun instead); an attempt finishes programmed or failed.
QString RecordedStateProblem(AttemptState state);
QString FinishedStateProblem(AttemptState state);

// One attempt to program a token, as the journal keeps it. It never holds the
// seed in the clear: only what an operator or an auditor needs to find the
// token again, and in a fleet's journal the seed sealed to a certificate whose
// private key no station holds.
struct JournalAttempt
{
    qint64 id = 0;
    QDateTime time; // UTC; the journal stamps the current time when it is invalid
    QString reader;
    QString serialNumber;
    QString settings; // the caller's text, e.g. "SHA1, step 30 s, display 60 s, clock synced"
    QString userName; // the user (UPN) the token's records name; empty when none
    QStringList exportFiles; // the paths the record went to
    AttemptState state = AttemptState::Writing;
    QString reason;        // why it failed or was interrupted; empty on success
    QString station;       // the station that made it, in a fleet's journal; empty otherwise
    QByteArray sealedSeed; // the seed sealed to the fleet's certificate (CMS, DER); empty when not
};
