#include "JournalCommand.h"

#include "JournalFiles.h"
#include "JournalLocation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

namespace {

struct JournalQuery
{
    std::optional<QDateTime> since;
    QString serialNumber;
    QString journal;      // --journal; empty: the Data folder's
    QString exportFolder; // empty: the station's Data folder
    bool json = false;
    bool help = false;
};

QString ProgramName()
{
    return QCoreApplication::instance()
               ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
               : QStringLiteral("station");
}

QString Usage()
{
    return QStringLiteral("Usage: %1 journal [--export DIR] [--since DATE] [--serial SERIAL] "
                          "[--json] [--journal CONNINFO|FILE]")
        .arg(ProgramName());
}

QString Help(const QString& databasePath)
{
    return Usage() + QStringLiteral(R"(
Lists the programming journal, oldest first: every attempt to program a token,
with its time, reader, serial number, user (the UPN its records name),
settings, export files and outcome (writing, programmed, failed or
interrupted).

  --export DIR     the journal that station program --export DIR kept in DIR,
                   instead of the one in the station's Data folder
  --since DATE     only the attempts since DATE: YYYY-MM-DD (from local
                   midnight) or an ISO 8601 date and time, such as
                   2026-12-10T14:05 (local time) or 2026-12-10T13:05:00Z
  --serial SERIAL  only the attempts on the token with this serial number
  --json           one JSON object per line: id, time (ISO 8601 UTC), reader,
                   serial, user, settings, exportFiles, state, reason (and station,
                   in a fleet's journal)
  --journal J      the journal to list: a fleet's journal on PostgreSQL (a
                   libpq connection string or URI, such as "service=tokens")
                   or a SQLite file
  --help           this text

The journal: %1
)")
                         .arg(databasePath);
}

// Parses args into query; an empty text, or why they are refused.
QString ParseArguments(const QStringList& args, JournalQuery& query)
{
    bool sinceSeen = false;
    bool serialSeen = false;
    bool journalSeen = false;
    bool exportSeen = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        std::optional<QString> value;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        }
        const bool takesValue =
            name == QLatin1String("--since") || name == QLatin1String("--serial") ||
            name == QLatin1String("--journal") || name == QLatin1String("--export");
        if (!takesValue && value)
            return QStringLiteral("%1 takes no value.").arg(name);
        if (takesValue && !value) {
            if (i + 1 >= args.size())
                return QStringLiteral("%1 needs a value.").arg(name);
            value = args[++i];
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            query.help = true;
        } else if (name == QLatin1String("--json")) {
            query.json = true;
        } else if (name == QLatin1String("--since")) {
            if (sinceSeen)
                return QStringLiteral("--since is given twice.");
            sinceSeen = true;
            query.since = ParseJournalSince(*value);
            if (!query.since)
                return QStringLiteral("--since %1 is not a date (YYYY-MM-DD) nor an ISO 8601 "
                                      "date and time (YYYY-MM-DDThh:mm[:ss][Z]).")
                    .arg(*value);
        } else if (name == QLatin1String("--serial")) {
            if (serialSeen)
                return QStringLiteral("--serial is given twice.");
            serialSeen = true;
            if (value->isEmpty())
                return QStringLiteral("--serial needs a serial number.");
            query.serialNumber = *value;
        } else if (name == QLatin1String("--journal")) {
            if (journalSeen)
                return QStringLiteral("--journal is given twice.");
            journalSeen = true;
            if (value->isEmpty())
                return QStringLiteral("--journal needs a connection string or a file.");
            query.journal = *value;
        } else if (name == QLatin1String("--export")) {
            if (exportSeen)
                return QStringLiteral("--export is given twice.");
            exportSeen = true;
            if (value->isEmpty())
                return QStringLiteral("--export needs a folder.");
            query.exportFolder = *value;
        } else {
            return QStringLiteral("unknown argument %1.").arg(name);
        }
    }
    if (journalSeen && exportSeen)
        return QStringLiteral("--journal and --export each name a journal: give one.");
    return {};
}

// A field on one line of the text listing: control characters (a reader name
// or a reason could hold a line break) are shown escaped, so that one
// attempt stays one line.
QString OneLine(const QString& text)
{
    QString line;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            line += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            line += QStringLiteral("\\t");
        else if (c == QLatin1Char('\\'))
            line += QStringLiteral("\\\\");
        else if (c.category() == QChar::Other_Control)
            line += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

void WriteText(const QList<JournalAttempt>& attempts, QTextStream& out)
{
    if (attempts.isEmpty()) {
        out << "No programming attempts recorded.\n";
        return;
    }
    QList<QStringList> rows{{QStringLiteral("ID"), QStringLiteral("TIME"), QStringLiteral("STATE"),
                             QStringLiteral("SERIAL"), QStringLiteral("USER"),
                             QStringLiteral("READER"), QStringLiteral("SETTINGS"),
                             QStringLiteral("REASON"), QStringLiteral("EXPORT FILES")}};
    for (const JournalAttempt& attempt : attempts)
        rows << QStringList{
            QString::number(attempt.id),
            attempt.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            AttemptStateName(attempt.state),
            OneLine(attempt.serialNumber),
            attempt.userName.isEmpty() ? QStringLiteral("-") : OneLine(attempt.userName),
            OneLine(attempt.reader),
            OneLine(attempt.settings),
            OneLine(attempt.reason),
            OneLine(attempt.exportFiles.join(QStringLiteral(", ")))};
    // A fleet's journal says which station made each attempt.
    const bool fleet = std::any_of(attempts.begin(), attempts.end(),
                                   [](const JournalAttempt& a) { return !a.station.isEmpty(); });
    if (fleet) {
        rows[0].insert(4, QStringLiteral("STATION"));
        for (qsizetype row = 1; row < rows.size(); ++row)
            rows[row].insert(4, OneLine(attempts[row - 1].station));
    }
    QList<qsizetype> widths(rows[0].size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype column = 0; column < row.size(); ++column)
            line += row[column].leftJustified(widths[column] + 2);
        out << line.trimmed() << '\n';
    }
}

void WriteJson(const QList<JournalAttempt>& attempts, QTextStream& out)
{
    for (const JournalAttempt& attempt : attempts) {
        QJsonObject object{
            {QStringLiteral("id"), attempt.id},
            {QStringLiteral("time"), attempt.time.toUTC().toString(Qt::ISODateWithMs)},
            {QStringLiteral("reader"), attempt.reader},
            {QStringLiteral("serial"), attempt.serialNumber},
            {QStringLiteral("user"), attempt.userName},
            {QStringLiteral("settings"), attempt.settings},
            {QStringLiteral("exportFiles"), QJsonArray::fromStringList(attempt.exportFiles)},
            {QStringLiteral("state"), AttemptStateName(attempt.state)},
            {QStringLiteral("reason"), attempt.reason},
        };
        if (!attempt.station.isEmpty())
            object[QStringLiteral("station")] = attempt.station;
        out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << '\n';
    }
}

} // namespace

std::optional<QDateTime> ParseJournalSince(const QString& given)
{
    // "2026-12-10 14:05", as people write it, is the ISO form with a space.
    QString text = given;
    if (text.size() > 10 && text[10] == QLatin1Char(' '))
        text[10] = QLatin1Char('T');
    static const QRegularExpression dateOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    static const QRegularExpression dateTime(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}(:\\d{2}(\\.\\d{1,3})?)?"
                       "(Z|[+-]\\d{2}:?\\d{2})?$"));
    QDateTime time;
    if (dateOnly.match(text).hasMatch()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid())
            time = date.startOfDay();
    } else if (dateTime.match(text).hasMatch()) {
        time = QDateTime::fromString(text, Qt::ISODateWithMs);
    }
    if (!time.isValid())
        return std::nullopt;
    return time.toUTC();
}

int RunJournalCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                      const QString& databasePath)
{
    JournalQuery query;
    if (const QString problem = ParseArguments(args, query); !problem.isEmpty()) {
        err << ProgramName() << " journal: " << problem << '\n' << Usage() << '\n';
        return 2;
    }
    const QString path =
        query.exportFolder.isEmpty() ? databasePath : JournalDatabasePath(query.exportFolder);
    if (query.help) {
        out << Help(path);
        return 0;
    }
    const JournalLocation location{query.journal, path};
    QList<JournalAttempt> attempts;
    // Listing does not create the journal: a station that never programmed
    // a token has none. A folder named on the command line without one is
    // a mistyped name or the wrong folder: listing nothing would read as
    // "no token was programmed there".
    const QFileInfo file(location.given.isEmpty() ? path : location.given);
    if (!query.exportFolder.isEmpty() && !file.exists() && !file.isSymLink()) {
        err << ProgramName() << " journal: "
            << (QFileInfo(query.exportFolder).isDir()
                    ? QStringLiteral("there is no programming journal in %1 (%2 is missing).")
                          .arg(query.exportFolder, file.fileName())
                    : QStringLiteral("there is no folder %1.").arg(query.exportFolder))
            << '\n';
        return 1;
    }
    if (location.isServer() || file.exists() || file.isSymLink()) {
        JournalResult<std::unique_ptr<ProgrammingJournal>> journal = OpenJournal(location);
        if (!journal.ok()) {
            err << ProgramName() << " journal: " << journal.error() << '\n';
            return 1;
        }
        JournalResult<QList<JournalAttempt>> listed =
            journal.value()->list(query.since, query.serialNumber);
        if (!listed.ok()) {
            err << ProgramName() << " journal: " << listed.error() << '\n';
            return 1;
        }
        attempts = std::move(listed).value();
    }
    if (query.json)
        WriteJson(attempts, out);
    else
        WriteText(attempts, out);
    out.flush();
    return 0;
}
