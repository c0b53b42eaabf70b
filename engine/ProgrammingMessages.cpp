#include "ProgrammingMessages.h"

#include "token/TokenResult.h"

QString ResultCodeText(int32_t result)
{
    return QStringLiteral("%1")
        .arg(static_cast<uint32_t>(result), 8, 16, QLatin1Char('0'))
        .toUpper();
}

QString AuthenticationMessage(int32_t result)
{
    if (IsAuthTriesLeft(result))
        return QStringLiteral("Authentication failed, remaining %1 times").arg(result & 0xF);
    switch (result) {
    case TOKEN_ERR_KEY_LOCKED:
        return QStringLiteral("Customer key is locked");
    case TOKEN_ERR_AUTH:
        return QStringLiteral("Authentication failed, remaining unlimited times");
    case TOKEN_ERR_CONNECT:
        return QStringLiteral("Device not connected");
    default:
        return QStringLiteral("Authentication process failed!");
    }
}

QString ConfigFailedMessage(int32_t result)
{
    return QStringLiteral("config failed![%1]").arg(ResultCodeText(result));
}

QString ProgramFailedMessage(int32_t result)
{
    return QStringLiteral("Failed to program the token! Error: %1").arg(ResultCodeText(result));
}

QString SealMessage(int32_t result)
{
    if (result == TOKEN_OK)
        return QStringLiteral("CardSeal success!");
    return QStringLiteral("CardSeal failed![%1]").arg(ResultCodeText(result));
}

QString BadClockTextMessage(const QString& clockText)
{
    return QStringLiteral("The clock \"%1\" is not a date and time of the form "
                          "YYYY-MM-DD hh:mm:ss. The token was not configured.")
        .arg(clockText);
}

QString TokenSwappedMessage(const QString& onReader, const QString& pressedFor)
{
    return QStringLiteral("The token on the reader is %1, not %2 for which Burn was pressed. "
                          "Nothing was written to it; press Burn again to program %1.")
        .arg(onReader, pressedFor);
}

QString NotRecordedResult(const QString& missingFiles)
{
    return QStringLiteral("Succeeded, not recorded in %1").arg(missingFiles);
}

QString ProgrammedNotRecordedMessage(const QString& missingFiles)
{
    return QStringLiteral("The token was programmed, but its record is missing from the export "
                          "files (%1): the seed it holds is not recorded there. Program it again "
                          "once the files can be written.")
        .arg(missingFiles);
}

QString NotInSeedFileMessage(const QString& serialNumber)
{
    return QStringLiteral("Token %1 is not in the seed file; it was not programmed.")
        .arg(serialNumber);
}

QString UserListUsedUpMessage(const QString& serialNumber)
{
    return QStringLiteral("The user list is used up: no user is left for token %1; it was not "
                          "programmed. Load the next user list to go on.")
        .arg(serialNumber);
}

QString NotProgrammedOnAnswerMessage(const QString& question)
{
    return QStringLiteral("Not programmed: the answer to \"%1\" was No.").arg(question);
}

QString AutoRunFailedMessage(const QString& serialNumber, const QString& readerName,
                             const QString& reason)
{
    const QString token = serialNumber.isEmpty() ? QStringLiteral("The token")
                                                 : QStringLiteral("Token %1").arg(serialNumber);
    return QStringLiteral("%1 on %2 was not programmed as it should be:\n%3\n\n"
                          "Auto-programming on this reader goes on when you close this message.")
        .arg(token, readerName, reason);
}

QString JournalNotFinishedMessage(const QString& serialNumber, const QString& error)
{
    return QStringLiteral("The programming journal could not record the outcome for token "
                          "%1:\n%2")
        .arg(serialNumber, error);
}

QString OutcomeHeldMessage(const QString& serialNumber, const QString& error)
{
    return JournalNotFinishedMessage(serialNumber, error) +
           QStringLiteral("\nThe station keeps the outcome and records it as soon as the journal "
                          "answers again.");
}

QString OutcomeRecordedLateMessage(const QString& serialNumber)
{
    return QStringLiteral("The outcome for token %1 is recorded in the programming journal after "
                          "all.")
        .arg(serialNumber);
}

QString OutcomesNotRecordedMessage(const QStringList& serialNumbers)
{
    return QStringLiteral("The station stops without recording the outcome for token(s) %1: the "
                          "programming journal did not answer. Their attempts stay \"writing\" "
                          "and a later start reports them.")
        .arg(serialNumbers.join(QStringLiteral(", ")));
}

QString JournalNotOpenMessage(const QString& error)
{
    return QStringLiteral("The programming journal cannot be used:\n%1\nTokens programmed now "
                          "are recorded in the export files only; a token programmed twice or "
                          "a crash between a seed and its record goes unseen.")
        .arg(error);
}
