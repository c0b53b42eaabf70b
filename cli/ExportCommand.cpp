#include "ExportCommand.h"

#include "engine/SeedForToken.h"
#include "journal/JournalCommand.h"
#include "journal/PostgresJournal.h"
#include "journal/SeedSeal.h"
#include "journal/SqliteJournal.h"
#include "seed/ExportFiles.h"
#include "seed/PskcFile.h"
#include "seed/PskcKey.h"
#include "seed/SecretText.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: station export --journal CONNINFO|FILE --key KEY.pem [--since DATE] [--serial S]\n"
    "                      --format hex|b32|azure|pskc [--pskc-key FILE] --out DIR";

const char kHelp[] = R"(
Writes the authentication server's import file from a journal's sealed seeds:
the newest programmed seed of each token, opened with the vault's private key.

  --journal CONNINFO|FILE  the fleet's journal (a libpq connection string or
                      URI) or a station's SQLite journal file
  --key KEY.pem       the private key of the fleet's certificate (PEM)
  --since DATE        only tokens programmed since DATE (YYYY-MM-DD or ISO 8601)
  --serial S          only the token with this serial number
  --format F          hex, b32 or azure (the station's CSV files), or pskc
  --pskc-key FILE     encrypt the PSKC file's seeds under the key in FILE
  --out DIR           the folder the file goes to (made the owner's only)
)";

struct ExportQuery
{
    QString journal;
    QString keyPath;
    std::optional<QDateTime> since;
    QString serialNumber;
    QString format;
    QString pskcKeyPath;
    QString outFolder;
    bool help = false;
};

QString ParseArguments(const QStringList& args, ExportQuery& query)
{
    static const QStringList kWithValue = {
        QStringLiteral("--journal"), QStringLiteral("--key"),    QStringLiteral("--since"),
        QStringLiteral("--serial"),  QStringLiteral("--format"), QStringLiteral("--pskc-key"),
        QStringLiteral("--out")};
    QStringList seen;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& name = args[i];
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            query.help = true;
            continue;
        }
        if (!kWithValue.contains(name))
            return QStringLiteral("unknown argument %1.").arg(name);
        if (seen.contains(name))
            return QStringLiteral("%1 is given twice.").arg(name);
        seen << name;
        if (i + 1 >= args.size() || args[i + 1].isEmpty())
            return QStringLiteral("%1 needs a value.").arg(name);
        const QString value = args[++i];
        if (name == QLatin1String("--journal"))
            query.journal = value;
        else if (name == QLatin1String("--key"))
            query.keyPath = value;
        else if (name == QLatin1String("--serial"))
            query.serialNumber = value;
        else if (name == QLatin1String("--pskc-key"))
            query.pskcKeyPath = value;
        else if (name == QLatin1String("--out"))
            query.outFolder = value;
        else if (name == QLatin1String("--format"))
            query.format = value;
        else if (!(query.since = ParseJournalSince(value)))
            return QStringLiteral("--since %1 is not a date (YYYY-MM-DD) nor an ISO 8601 date "
                                  "and time.")
                .arg(value);
    }
    if (query.help)
        return {};
    for (const char* needed : {"--journal", "--key", "--format", "--out"})
        if (!seen.contains(QLatin1String(needed)))
            return QStringLiteral("%1 is needed.").arg(QLatin1String(needed));
    if (!QStringList{"hex", "b32", "azure", "pskc"}.contains(query.format))
        return QStringLiteral("--format takes hex, b32, azure or pskc.");
    if (!query.pskcKeyPath.isEmpty() && query.format != QLatin1String("pskc"))
        return QStringLiteral("--pskc-key goes with --format pskc.");
    return {};
}

// One token's seed out of the vault; its text is wiped with it.
struct OpenedSeed
{
    JournalAttempt attempt;
    QString seedText;
    QString algorithm = QStringLiteral("SHA1");
    int timeStep = 30;
    ~OpenedSeed() { WipeText(seedText); }
};

// The algorithm and time step from the settings the journal keeps
// ("SHA1, step 30 s, display 60 s, clock synced").
void ReadSettings(OpenedSeed& seed)
{
    static const QRegularExpression settings(QStringLiteral("^(SHA\\d+), step (\\d+) s"));
    const QRegularExpressionMatch match = settings.match(seed.attempt.settings);
    if (match.hasMatch()) {
        seed.algorithm = match.captured(1);
        seed.timeStep = match.captured(2).toInt();
    }
}

class Progress
{
public:
    Progress(QTextStream& err, const char* what, qsizetype total)
        : m_err(err), m_what(what), m_total(total), m_terminal(isatty(STDERR_FILENO) == 1)
    {}
    void step(qsizetype done)
    {
        if (m_terminal && (done % 100 == 0 || done == m_total)) {
            m_err << '\r' << m_what << ' ' << done << '/' << m_total;
            if (done == m_total)
                m_err << '\n';
            m_err.flush();
        }
    }

private:
    QTextStream& m_err;
    const char* m_what;
    const qsizetype m_total;
    const bool m_terminal;
};

// Writes the CSV file of the asked format in one go, synced once; the path
// written, or why not (and then no file of that name is there).
QString WriteCsv(const std::vector<std::unique_ptr<OpenedSeed>>& seeds, const ExportQuery& query,
                 QString& path)
{
    std::vector<ExportRecord> records;
    records.reserve(seeds.size());
    for (const auto& seed : seeds)
        records.push_back(
            {seed->attempt.userName, seed->attempt.serialNumber, seed->seedText, seed->timeStep});
    const ExportFiles::File file = query.format == QLatin1String("hex") ? ExportFiles::File::Hex
                                   : query.format == QLatin1String("b32")
                                       ? ExportFiles::File::B32
                                       : ExportFiles::File::Azure;
    const QString error =
        ExportFiles::WriteRun(query.outFolder, QDateTime::currentDateTime(), file, records, path);
    for (ExportRecord& record : records)
        WipeText(record.seedText);
    if (error.isEmpty())
        return {};
    return QStringLiteral("Failed to write the seed file %1\n%2").arg(path, error);
}

QString WritePskc(const std::vector<std::unique_ptr<OpenedSeed>>& seeds, const ExportQuery& query,
                  QString& path)
{
    std::optional<PskcKey> key;
    if (!query.pskcKeyPath.isEmpty()) {
        QFile keyFile(query.pskcKeyPath);
        if (!keyFile.open(QIODevice::ReadOnly))
            return QStringLiteral("The PSKC key file %1 cannot be read: %2")
                .arg(query.pskcKeyPath, keyFile.errorString());
        QByteArray bytes = keyFile.read(4096);
        QString text = QString::fromLatin1(bytes).trimmed();
        WipeText(bytes);
        QString problem;
        key = ParsePskcKey(text, &problem);
        WipeText(text);
        if (!key)
            return problem;
    }
    path = PskcFile::PathFor(query.outFolder, QDateTime::currentDateTime());
    PskcFile file(path, std::move(key));
    QList<PskcRecord> records;
    records.reserve(qsizetype(seeds.size()));
    for (const auto& seed : seeds) {
        PskcRecord record;
        record.serialNumber = seed->attempt.serialNumber;
        record.seed = DecodeSeedForToken(seed->seedText).bytes;
        record.algorithm = seed->algorithm;
        record.timeStep = seed->timeStep;
        records.append(std::move(record));
    }
    if (const QString error = file.appendAll(records); !error.isEmpty())
        return QStringLiteral("Failed to write the PSKC file %1\n%2").arg(path, error);
    return {};
}

// The newest sealed seeds of the journal there: the fleet's server, or a
// station's SQLite file (which must exist: an export creates no journal).
JournalResult<QList<JournalAttempt>> NewestSeeds(const ExportQuery& query)
{
    if (IsServerJournalName(query.journal)) {
        auto journal = PostgresJournal::open(query.journal, QStringLiteral("export"));
        if (!journal.ok())
            return JournalError{journal.error()};
        return journal.value()->newestSeeds(query.since, query.serialNumber);
    }
    if (!QFileInfo(query.journal).isFile())
        return JournalError{
            QStringLiteral("The programming journal %1 does not exist.").arg(query.journal)};
    auto journal = SqliteJournal::open(query.journal);
    if (!journal.ok())
        return JournalError{journal.error()};
    return journal.value()->newestSeeds(query.since, query.serialNumber);
}

} // namespace

int RunExportCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    ExportQuery query;
    if (const QString problem = ParseArguments(args, query); !problem.isEmpty()) {
        err << "station export: " << problem << '\n' << kUsage << '\n';
        return 2;
    }
    if (query.help) {
        out << kUsage << kHelp;
        return 0;
    }
    auto fail = [&err](const QString& why) {
        err << "station export: " << why << '\n';
        err.flush();
        return 1;
    };
    auto key = SeedVaultKey::load(query.keyPath);
    if (!key.ok())
        return fail(key.error());
    auto newest = NewestSeeds(query);
    if (!newest.ok())
        return fail(newest.error());

    // Every entry is opened before a byte is written: a wrong key writes nothing.
    std::vector<std::unique_ptr<OpenedSeed>> seeds;
    QStringList unsealed;
    Progress opening(err, "Opening", newest.value().size());
    qsizetype done = 0;
    for (const JournalAttempt& attempt : newest.value()) {
        opening.step(++done);
        if (attempt.sealedSeed.isEmpty()) {
            unsealed << attempt.serialNumber;
            continue;
        }
        JournalResult<QByteArray> opened = key.value()->open(attempt.sealedSeed);
        if (!opened.ok())
            return fail(QStringLiteral("The vault's entry of token %1 (attempt %2): %3 No file "
                                       "is written.")
                            .arg(attempt.serialNumber)
                            .arg(attempt.id)
                            .arg(opened.error()));
        auto seed = std::make_unique<OpenedSeed>();
        seed->attempt = attempt;
        seed->seedText = QString::fromLatin1(opened.value());
        WipeText(opened.value());
        if (DecodeSeedForToken(seed->seedText).bytes.empty())
            return fail(QStringLiteral("The vault's entry of token %1 (attempt %2) does not hold "
                                       "a seed. No file is written.")
                            .arg(attempt.serialNumber)
                            .arg(attempt.id));
        ReadSettings(*seed);
        seeds.push_back(std::move(seed));
    }
    QStringList unsure;
    for (const auto& seed : seeds)
        if (seed->attempt.state != AttemptState::Programmed)
            unsure << seed->attempt.serialNumber;
    if (!unsure.isEmpty())
        err << "station export: the station programming these tokens stopped after it sent the "
               "seed; each may hold the seed exported or its earlier one: program them again to "
               "be sure: "
            << unsure.join(QStringLiteral(", ")) << '\n';
    if (!unsealed.isEmpty())
        err << "station export: " << unsealed.size()
            << " token(s) were last programmed by a station that does not seal seeds; their "
               "seeds are not in the vault: "
            << unsealed.join(QStringLiteral(", ")) << '\n';
    if (seeds.empty()) {
        out << "No sealed seeds to export.\n";
        return 0;
    }
    QString path;
    const QString error = query.format == QLatin1String("pskc") ? WritePskc(seeds, query, path)
                                                                : WriteCsv(seeds, query, path);
    if (!error.isEmpty())
        return fail(error);
    out << "Exported " << seeds.size() << " token(s) to " << path << '\n';
    return 0;
}
