#include "ProgramOptions.h"

#include <cstring>

const char kProgramUsage[] =
    "usage: station program --reader NAME [--reader NAME...]\n"
    "                       [--seed-file FILE | --random 32|64 [--users FILE]]\n"
    "                       [--algorithm SHA1|SHA256] [--step 30|60] [--display 30|60|120]\n"
    "                       [--no-clock] [--export DIR] [--pskc [--pskc-key FILE]] [--auto]\n"
    "                       [--journal CONNINFO|FILE] [--seal-to CERT]\n"
    "\n"
    "Programs the token on each reader now, or with --auto every token presented\n"
    "from now on until Ctrl+C (the token under way is finished first). Each\n"
    "token's outcome is one JSON line on standard output; messages go to standard\n"
    "error. Records go to the export files in the station's Data folder, or DIR;\n"
    "each token's user is the seed file's third column, or with --users the next\n"
    "line of FILE (one user a line; --auto stops when every user has a token);\n"
    "with --pskc also to a PSKC file, its seeds encrypted under the pre-shared key\n"
    "(32 hexadecimal digits) in FILE with --pskc-key.\n"
    "The journal is journal.sqlite beside the records, or with --journal a\n"
    "fleet's journal on PostgreSQL (a libpq connection string or URI, such as\n"
    "\"service=tokens\" or postgresql://host/tokens) or another SQLite file.\n"
    "With --seal-to, the journal keeps each seed sealed to the X.509\n"
    "certificate CERT (CMS), committed before the seed is sent.\n"
    "Exit status: 0 when every token was programmed and recorded, 1 when one\n"
    "was not, 2 for a mistake in the command.\n";

namespace {

// The value after an option, or nothing when it is missing.
std::optional<QString> ValueAfter(const QStringList& arguments, qsizetype& index)
{
    if (index + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(++index);
}

} // namespace

std::optional<ProgramOptions> ParseProgramOptions(const QStringList& arguments, QString& problem)
{
    ProgramOptions options;
    std::strcpy(options.timing.algorithmName, "SHA1");
    bool sourceGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments.at(i);
        auto fail = [&](const QString& why) {
            problem = why;
            return std::nullopt;
        };
        if (option == QLatin1String("--auto")) {
            options.automatic = true;
            continue;
        }
        if (option == QLatin1String("--no-clock")) {
            options.syncClock = false;
            continue;
        }
        if (option == QLatin1String("--pskc")) {
            options.pskc = true;
            continue;
        }
        static const QStringList kWithValue = {
            QStringLiteral("--reader"),  QStringLiteral("--seed-file"),
            QStringLiteral("--random"),  QStringLiteral("--algorithm"),
            QStringLiteral("--step"),    QStringLiteral("--display"),
            QStringLiteral("--export"),  QStringLiteral("--pskc-key"),
            QStringLiteral("--journal"), QStringLiteral("--seal-to"),
            QStringLiteral("--users")};
        if (!kWithValue.contains(option))
            return fail(QStringLiteral("unknown option: %1").arg(option));
        const std::optional<QString> value = ValueAfter(arguments, i);
        if (!value)
            return fail(QStringLiteral("%1 needs a value").arg(option));
        if (option == QLatin1String("--reader")) {
            options.readers << *value;
        } else if (option == QLatin1String("--seed-file") || option == QLatin1String("--random")) {
            if (sourceGiven)
                return fail(QStringLiteral("give --seed-file or --random, once"));
            sourceGiven = true;
            if (option == QLatin1String("--seed-file")) {
                options.source = SeedSource::SeedFile;
                options.seedFile = *value;
            } else if (*value == QLatin1String("32") || *value == QLatin1String("64")) {
                options.source =
                    *value == QLatin1String("32") ? SeedSource::Random32 : SeedSource::Random64;
            } else {
                return fail(QStringLiteral("--random takes 32 or 64"));
            }
        } else if (option == QLatin1String("--algorithm")) {
            if (*value != QLatin1String("SHA1") && *value != QLatin1String("SHA256"))
                return fail(QStringLiteral("--algorithm takes SHA1 or SHA256"));
            std::strcpy(options.timing.algorithmName, value->toLatin1().constData());
        } else if (option == QLatin1String("--step")) {
            if (*value != QLatin1String("30") && *value != QLatin1String("60"))
                return fail(QStringLiteral("--step takes 30 or 60"));
            options.timing.timeStep = value->toInt();
        } else if (option == QLatin1String("--display")) {
            if (*value != QLatin1String("30") && *value != QLatin1String("60") &&
                *value != QLatin1String("120"))
                return fail(QStringLiteral("--display takes 30, 60 or 120"));
            options.timing.displayTime = value->toInt();
        } else if (option == QLatin1String("--pskc-key")) {
            options.pskcKeyFile = *value;
        } else if (option == QLatin1String("--users")) {
            options.usersFile = *value;
        } else if (option == QLatin1String("--journal")) {
            if (value->isEmpty())
                return fail(QStringLiteral("--journal needs a connection string or a file"));
            options.journal = *value;
        } else if (option == QLatin1String("--seal-to")) {
            options.sealTo = *value;
        } else {
            options.exportFolder = *value;
        }
    }
    if (options.readers.isEmpty()) {
        problem = QStringLiteral("--reader is needed (station readers lists them)");
        return std::nullopt;
    }
    if (!options.usersFile.isEmpty() && options.source == SeedSource::SeedFile) {
        problem = QStringLiteral("--users goes with random seeds: a seed file names each "
                                 "token's user in its third column");
        return std::nullopt;
    }
    if (!options.pskcKeyFile.isEmpty() && !options.pskc) {
        problem = QStringLiteral("--pskc-key goes with --pskc");
        return std::nullopt;
    }
    if (options.readers.removeDuplicates() > 0) {
        problem = QStringLiteral("a reader is named twice");
        return std::nullopt;
    }
    return options;
}
