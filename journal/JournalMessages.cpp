#include "JournalMessages.h"

#include <QStringList>

QString JournalLocalMinute(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString UnfinishedAttemptMessage(const JournalAttempt& attempt)
{
    // A fleet's journal names the station the reader is on.
    const QString reader =
        attempt.station.isEmpty()
            ? attempt.reader
            : QStringLiteral("%1 at station %2").arg(attempt.reader, attempt.station);
    return QStringLiteral("%1, reader %2: Token %3 may hold a seed that is recorded nowhere: "
                          "program it again.")
        .arg(JournalLocalMinute(attempt.time), reader, attempt.serialNumber);
}

QString UnfinishedAttemptsMessage(const QList<JournalAttempt>& attempts)
{
    QStringList lines;
    for (const JournalAttempt& attempt : attempts)
        lines << UnfinishedAttemptMessage(attempt);
    return lines.join(QLatin1Char('\n'));
}

QString ProgramAgainQuestion(const QString& serialNumber, const ProgrammedBefore& programmed)
{
    if (programmed.station.isEmpty())
        return ProgramAgainQuestion(serialNumber, programmed.time);
    return QStringLiteral("Token %1 was programmed on %2 at station %3. Programming it again "
                          "makes that seed invalid. Program it again?")
        .arg(serialNumber, JournalLocalMinute(programmed.time), programmed.station);
}

QString ProgramAgainQuestion(const QString& serialNumber, const QDateTime& programmed)
{
    return QStringLiteral("Token %1 was programmed on %2. Programming it again makes that seed "
                          "invalid. Program it again?")
        .arg(serialNumber, JournalLocalMinute(programmed));
}

QString JournalRefusedMessage(const QString& serialNumber, const QString& error)
{
    return QStringLiteral("Token %1 is not programmed: the programming journal cannot record "
                          "it.\n%2")
        .arg(serialNumber, error);
}
