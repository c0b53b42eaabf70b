#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// What the operator reads when programming a token goes wrong (or right).

inline const QString kErrorCaption = QStringLiteral("ERROR");
inline const QString kHintsCaption = QStringLiteral("Hints");
inline const QString kProductCaption = QStringLiteral("Zentoka/Pelarin");

// A token result code as the station shows it: eight upper-case hex digits.
QString ResultCodeText(int32_t result);

// The message for a refused authentication (result not 0).
QString AuthenticationMessage(int32_t result);

QString ConfigFailedMessage(int32_t result);
QString ProgramFailedMessage(int32_t result);
QString SealMessage(int32_t result);
QString BadClockTextMessage(const QString& clockText);

inline const QString kNoTokenMessage = QStringLiteral("No token or card detected!");
inline const QString kNoSeedMessage = QStringLiteral("No seed found!");
inline const QString kProgrammedMessage = QStringLiteral("Token successfully programmed!");

// Asked before a Burn press spends a token's last try of the customer key.
inline const QString kLastTryQuestion =
    QStringLiteral("One attempt is left; a wrong key then locks the token for good. Try anyway?");

// Burn was pressed for one token, and another is on the reader now.
QString TokenSwappedMessage(const QString& onReader, const QString& pressedFor);

// A programmed token whose record is missing from some export files: the
// log row's result, and the message in place of the plain success.
QString NotRecordedResult(const QString& missingFiles);
QString ProgrammedNotRecordedMessage(const QString& missingFiles);

// Auto-programming: the log row of a token programmed a second time (the
// seed it held before is void), and why a token was not programmed.
inline const QString kProgrammedAgainResult = QStringLiteral("Succeeded, programmed again");
inline const QString kRandomFailedMessage =
    QStringLiteral("The random number generator failed; no seed was made.");
QString NotInSeedFileMessage(const QString& serialNumber);
QString UserListUsedUpMessage(const QString& serialNumber);
QString NotProgrammedOnAnswerMessage(const QString& question);
// The message that holds a reader after an automatic run failed.
QString AutoRunFailedMessage(const QString& serialNumber, const QString& readerName,
                             const QString& reason);

// The journal could not take an attempt's outcome: the token's row stays as
// it was ("writing" for a seed that was sent).
QString JournalNotFinishedMessage(const QString& serialNumber, const QString& error);
// The same for a token the seed was sent to: the station keeps the outcome
// and sends it before its next journal call.
QString OutcomeHeldMessage(const QString& serialNumber, const QString& error);
// A kept outcome reached the journal after all.
QString OutcomeRecordedLateMessage(const QString& serialNumber);
// The station stopped still keeping outcomes the journal never took.
QString OutcomesNotRecordedMessage(const QStringList& serialNumbers);

// The journal could not be opened or read at the start.
QString JournalNotOpenMessage(const QString& error);
