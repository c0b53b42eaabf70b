// The fleet's journal at scale, on a private PostgreSQL 15 cluster
// (tests/support/PostgresFixture: Unix socket, the server's defaults):
//   1. lastProgrammedBy on a journal of ROWS rows (default 1,000,000; one
//      token in ten programmed twice), median and 99th percentile of 1,001
//      calls on random serials;
//   2. `station journal --serial S` on it (RunJournalCommand in the process:
//      open, query, print), median of 21;
//   3. `station export` of SEEDS sealed seeds (default 10,000; RSA 2048
//      certificate), b32 and pskc, one run each.
//
//   build/release/bench/bench_fleet_journal [ROWS] [SEEDS]
#include "PostgresFixture.h"
#include "cli/ExportCommand.h"
#include "journal/JournalCommand.h"
#include "journal/PostgresJournal.h"
#include "journal/SeedSeal.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[size_t(double(values.size() - 1) * share)];
}

int Fail(const std::string& what)
{
    std::fprintf(stderr, "bench_fleet_journal: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int seeds = argc > 2 ? std::atoi(argv[2]) : 10000;
    QCoreApplication app(argc, argv);
    PostgresFixture postgres;
    if (!postgres.ok())
        return Fail(postgres.failure());
    auto journal = PostgresJournal::open(postgres.connection(), QStringLiteral("bench"));
    if (!journal.ok())
        return Fail(journal.error().toStdString());

    // The rows as stations leave them: serial BN0000000..., one in ten twice.
    const auto filled = postgres.psql(
        QStringLiteral(
            "INSERT INTO attempts (time, reader, serial, settings, export_files, state, reason, "
            "station, writer_pid, finished) SELECT now() - (%1 - i) * interval '1 second', "
            "'Reader A', 'BN' || lpad((i % %2)::text, 7, '0'), 'SHA1, step 30 s, display 30 s, "
            "clock synced', '{}', 'programmed', '', 'pc' || (i % 100), 0, now() FROM "
            "generate_series(1, %1) i; ANALYZE attempts")
            .arg(rows)
            .arg(rows - rows / 10));
    if (!filled)
        return Fail(postgres.failure());

    std::vector<double> last;
    for (int i = 0; i < 1001; ++i) {
        const QString serial = QStringLiteral("BN%1").arg(
            QRandomGenerator::global()->bounded(rows - rows / 10), 7, 10, QLatin1Char('0'));
        const auto start = Clock::now();
        const auto answer = journal.value()->lastProgrammedBy(serial);
        last.push_back(Ms(Clock::now() - start));
        if (!answer.ok() || !answer.value())
            return Fail("lastProgrammedBy " + serial.toStdString());
    }
    std::printf("lastProgrammedBy on %d rows: median %.3f ms, 99th percentile %.3f ms (1,001 "
                "calls)\n",
                rows, Percentile(last, 0.5), Percentile(last, 0.99));

    std::vector<double> listing;
    for (int i = 0; i < 21; ++i) {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const auto start = Clock::now();
        const int status =
            RunJournalCommand({QStringLiteral("--serial"), QStringLiteral("BN0000042"),
                               QStringLiteral("--journal"), postgres.connection()},
                              outStream, errStream, QString());
        listing.push_back(Ms(Clock::now() - start));
        if (status != 0)
            return Fail(err.toStdString());
    }
    std::printf("station journal --serial S on %d rows (open, query, print): median %.2f ms "
                "(21 runs)\n",
                rows, Percentile(listing, 0.5));

    // The vault: SEEDS sealed seeds in a database of their own.
    QTemporaryDir folder;
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-nodes", "-newkey", "rsa:2048", "-subj", "/CN=fleet", "-days",
                   "30", "-keyout", folder.filePath("key.pem"), "-out",
                   folder.filePath("cert.pem")});
    if (!openssl.waitForFinished(-1) || openssl.exitCode() != 0)
        return Fail("openssl req");
    if (!postgres.psql(QStringLiteral("CREATE DATABASE vault"), QStringLiteral("postgres")))
        return Fail(postgres.failure());
    auto vault = PostgresJournal::open(postgres.connection(QStringLiteral("vault")),
                                       QStringLiteral("bench"));
    auto seal = SeedSeal::load(folder.filePath("cert.pem"));
    if (!vault.ok() || !seal.ok())
        return Fail("vault");
    for (int i = 0; i < seeds; ++i) {
        JournalAttempt attempt;
        attempt.reader = QStringLiteral("Reader A");
        attempt.serialNumber = QStringLiteral("VT%1").arg(i, 7, 10, QLatin1Char('0'));
        attempt.settings = QStringLiteral("SHA1, step 30 s, display 30 s, clock synced");
        const auto begun = BeginSealedWriting(*vault.value(), attempt, seal.value().get(),
                                              QStringLiteral("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"));
        if (!begun.ok() ||
            !vault.value()->finish(begun.value(), AttemptState::Programmed, {}, {}).ok())
            return Fail("filling the vault");
    }
    for (const char* format : {"b32", "pskc"}) {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const auto start = Clock::now();
        const int status =
            RunExportCommand({"--journal", postgres.connection(QStringLiteral("vault")), "--key",
                              folder.filePath("key.pem"), "--format", format, "--out",
                              folder.filePath(QStringLiteral("out-") + format)},
                             outStream, errStream);
        const double took = Ms(Clock::now() - start);
        if (status != 0)
            return Fail(err.toStdString());
        std::printf("station export --format %s of %d sealed seeds: %.2f s\n", format, seeds,
                    took / 1000);
    }
    return 0;
}
