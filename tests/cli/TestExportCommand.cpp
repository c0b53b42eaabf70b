// `station export` from a fleet's sealed vault on a private PostgreSQL
// server: the files read back by readers of their own (Python's csv module,
// pskctool and python-pskc), a vault entry opened with the openssl command
// alone, a wrong key that writes nothing, and a write that fails leaving
// no file behind.
#include "ChildProgram.h"
#include "ExportCommand.h"
#include "FleetKey.h"
#include "PostgresFixture.h"
#include "PskcReaders.h"
#include "QtPrinters.h"
#include "journal/PostgresJournal.h"
#include "journal/SeedSeal.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// RFC 6238's seed, and the letters a to t, in Base32 and hexadecimal.
const QString kSeed1 = QStringLiteral("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
const QString kHex1 = QStringLiteral("3132333435363738393031323334353637383930");
const QString kSeed2 = QStringLiteral("MFRGGZDFMZTWQ2LKNNWG23TPOBYXE43U");
const QString kHex2 = QStringLiteral("6162636465666768696A6B6C6D6E6F7071727374");

// Runs a program to its end; its standard output, or a failure with what it said.
::testing::AssertionResult RunProgram(const QString& program, const QStringList& args,
                                      QByteArray* output = nullptr)
{
    ChildProgram process(program, args);
    if (process.run() != 0)
        return ::testing::AssertionFailure()
               << program.toStdString() << " " << args.join(' ').toStdString()
               << " failed: " << process.startError().toStdString()
               << process.errorOutput().toStdString();
    if (output)
        *output = process.output();
    return ::testing::AssertionSuccess();
}

struct CommandRun
{
    int status = -1;
    QString out;
    QString err;
};

class ExportCommandTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { server() = std::make_unique<PostgresFixture>(); }
    static void TearDownTestSuite() { server().reset(); }
    static std::unique_ptr<PostgresFixture>& server()
    {
        static std::unique_ptr<PostgresFixture> fixture;
        return fixture;
    }

    // A vault as two stations left it: TK0701 once, TK0702 twice (the
    // token holds the newer seed), TK0703 failed.
    void SetUp() override
    {
        ASSERT_TRUE(server()->ok()) << server()->failure();
        ASSERT_TRUE(m_folder.isValid());
        static int databases = 0;
        m_database = QStringLiteral("vault_%1").arg(++databases);
        ASSERT_TRUE(server()->psql(QStringLiteral("CREATE DATABASE %1").arg(m_database),
                                   QStringLiteral("postgres")))
            << server()->failure();
        ASSERT_EQ(MakeFleetKey(m_folder.path()), QString());
        auto seal = SeedSeal::load(path("cert.pem"));
        ASSERT_TRUE(seal.ok()) << seal.error().toStdString();
        auto journal = PostgresJournal::open(connection(), QStringLiteral("pc12"));
        ASSERT_TRUE(journal.ok()) << journal.error().toStdString();
        struct Row
        {
            const char* serial;
            QString seed;
            const char* user;
            const char* settings;
            AttemptState outcome;
        };
        const Row rows[] = {
            {"TK0702", QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"), "", "SHA1, step 30 s",
             AttemptState::Programmed},
            {"TK0701", kSeed1, "anna.berg@example.com", "SHA1, step 30 s, display 60 s",
             AttemptState::Programmed},
            {"TK0702", kSeed2, "", "SHA256, step 60 s, display 60 s", AttemptState::Programmed},
            {"TK0703", kSeed1, "", "SHA1, step 30 s", AttemptState::Failed},
        };
        for (const Row& row : rows) {
            JournalAttempt attempt;
            attempt.reader = QStringLiteral("Reader A");
            attempt.serialNumber = QString::fromLatin1(row.serial);
            attempt.settings = QString::fromLatin1(row.settings);
            attempt.userName = QString::fromLatin1(row.user);
            const JournalResult<qint64> begun =
                BeginSealedWriting(*journal.value(), attempt, seal.value().get(), row.seed);
            ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
            ASSERT_TRUE(journal.value()->finish(begun.value(), row.outcome, {}, {}).ok());
        }
    }

    QString connection() const { return server()->connection(m_database); }
    QString path(const char* name) const { return m_folder.filePath(QString::fromLatin1(name)); }

    CommandRun exportVault(const QStringList& more)
    {
        CommandRun run;
        QTextStream out(&run.out);
        QTextStream err(&run.err);
        run.status = RunExportCommand(QStringList{QStringLiteral("--journal"), connection(),
                                                  QStringLiteral("--key"), path("key.pem")} +
                                          more,
                                      out, err);
        out.flush();
        err.flush();
        return run;
    }

    // The one file export wrote into folder.
    static QString OnlyFile(const QString& folder)
    {
        const QStringList files = QDir(folder).entryList(QDir::Files);
        EXPECT_EQ(files.size(), 1) << files.join(' ').toStdString();
        return files.isEmpty() ? QString() : QDir(folder).filePath(files.first());
    }

    QTemporaryDir m_folder;
    QString m_database;
};

// The rows of a CSV file as Python's csv module reads them.
QList<QStringList> PythonCsvRows(const QString& file)
{
    QByteArray output;
    EXPECT_TRUE(
        RunProgram(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("import csv, json, sys; print(json.dumps(list(csv.reader("
                                   "open(sys.argv[1], newline='', encoding='utf-8')))))"),
                    file},
                   &output));
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(output).array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields << field.toString();
        rows << fields;
    }
    return rows;
}

TEST_F(ExportCommandTest, ExportCsvFormatsReadBackByPythonCsv)
{
    struct Case
    {
        const char* format;
        const char* suffix;
        QList<QStringList> rows;
    };
    const Case cases[] = {
        {"hex", ".hex.csv", {{"TK0701", kHex1}, {"TK0702", kHex2}}},
        {"b32", ".b32.csv", {{"TK0701", kSeed1}, {"TK0702", kSeed2}}},
        {"azure",
         ".azure.csv",
         {{"UPN", "Serial Number", "Secret Key", "Time Interval", "Manufacturer", "Model"},
          {"anna.berg@example.com", "TK0701", kSeed1, "30", "Morvane", "Zentoka"},
          {"", "TK0702", kSeed2, "60", "Morvane", "Zentoka"}}},
    };
    for (const Case& c : cases) {
        const QString out = m_folder.filePath(QStringLiteral("out-") + c.format);
        const CommandRun run =
            exportVault({QStringLiteral("--format"), QString::fromLatin1(c.format),
                         QStringLiteral("--out"), out});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QString file = OnlyFile(out);
        EXPECT_TRUE(file.endsWith(QLatin1String(c.suffix))) << file.toStdString();
        EXPECT_TRUE(run.out.contains(file)) << run.out.toStdString();
        EXPECT_EQ(PythonCsvRows(file), c.rows) << c.format;
    }
    // One serial, and a date after every attempt.
    const QString one = m_folder.filePath(QStringLiteral("one"));
    CommandRun run =
        exportVault({QStringLiteral("--format"), QStringLiteral("b32"), QStringLiteral("--serial"),
                     QStringLiteral("TK0702"), QStringLiteral("--out"), one});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(PythonCsvRows(OnlyFile(one)), (QList<QStringList>{{"TK0702", kSeed2}}));
    const QString none = m_folder.filePath(QStringLiteral("none"));
    run = exportVault({QStringLiteral("--format"), QStringLiteral("b32"), QStringLiteral("--since"),
                       QStringLiteral("2999-01-01"), QStringLiteral("--out"), none});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_FALSE(QDir(none).exists());
}

TEST_F(ExportCommandTest, ExportPskcReadBackByPskctoolAndPythonPskc)
{
    const QString keyHex = QStringLiteral("00112233445566778899aabbccddeeff");
    QFile keyFile(path("pskc.key"));
    ASSERT_TRUE(keyFile.open(QIODevice::WriteOnly));
    keyFile.write(keyHex.toLatin1() + '\n');
    keyFile.close();
    const QString out = m_folder.filePath(QStringLiteral("pskc"));
    const CommandRun run =
        exportVault({QStringLiteral("--format"), QStringLiteral("pskc"),
                     QStringLiteral("--pskc-key"), path("pskc.key"), QStringLiteral("--out"), out});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QByteArray seed1 = QByteArray::fromHex(kHex1.toLatin1());
    const QByteArray seed2 = QByteArray::fromHex(kHex2.toLatin1());
    auto bytes = [](const QByteArray& b) {
        return ByteString(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size()));
    };
    ExpectDocumentHolds(OnlyFile(out),
                        {{QStringLiteral("TK0701"), bytes(seed1), QStringLiteral("SHA1"), 6, 30},
                         {QStringLiteral("TK0702"), bytes(seed2), QStringLiteral("SHA256"), 6, 60}},
                        keyHex, QStringLiteral("Pre-shared-key"));
}

TEST_F(ExportCommandTest, ExportVaultEntryOpensWithTheOpensslCommandAlone)
{
    for (const QString& keyType : {QStringLiteral("rsa"), QStringLiteral("ec")}) {
        const QString folder = m_folder.filePath(keyType);
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(MakeFleetKey(folder, keyType), QString());
        auto seal = SeedSeal::load(folder + QStringLiteral("/cert.pem"));
        ASSERT_TRUE(seal.ok()) << seal.error().toStdString();
        const JournalResult<QByteArray> sealed = seal.value()->seal(kSeed1.toLatin1());
        ASSERT_TRUE(sealed.ok()) << sealed.error().toStdString();
        QFile entry(folder + QStringLiteral("/entry.der"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(sealed.value());
        entry.close();
        QByteArray opened;
        ASSERT_TRUE(RunProgram(QStringLiteral("openssl"),
                               {QStringLiteral("cms"), QStringLiteral("-decrypt"),
                                QStringLiteral("-inform"), QStringLiteral("DER"),
                                QStringLiteral("-in"), entry.fileName(), QStringLiteral("-inkey"),
                                folder + QStringLiteral("/key.pem")},
                               &opened));
        EXPECT_EQ(opened, kSeed1.toLatin1()) << keyType.toStdString();
        EXPECT_FALSE(sealed.value().contains(kSeed1.toLatin1()));
    }
}

TEST_F(ExportCommandTest, ExportWithAWrongOrMissingKeyWritesNothing)
{
    ASSERT_TRUE(QDir().mkpath(m_folder.filePath(QStringLiteral("other"))));
    ASSERT_EQ(MakeFleetKey(m_folder.filePath(QStringLiteral("other"))), QString());
    struct Case
    {
        QString key;
        QString says;
    };
    const Case cases[] = {
        {m_folder.filePath(QStringLiteral("other/key.pem")),
         QStringLiteral("cannot be opened with this key")},
        {m_folder.filePath(QStringLiteral("missing.pem")), QStringLiteral("cannot be read")},
        {path("cert.pem"), QStringLiteral("is not a private key")},
    };
    for (const Case& c : cases) {
        const QString out = m_folder.filePath(QStringLiteral("refused"));
        CommandRun run;
        QTextStream stdOut(&run.out);
        QTextStream err(&run.err);
        run.status = RunExportCommand({QStringLiteral("--journal"), connection(),
                                       QStringLiteral("--key"), c.key, QStringLiteral("--format"),
                                       QStringLiteral("hex"), QStringLiteral("--out"), out},
                                      stdOut, err);
        err.flush();
        EXPECT_EQ(run.status, 1) << c.key.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_FALSE(QDir(out).exists()) << "nothing is written";
    }
}

// A disk that fills up while the run is written (a file size limit stands in
// for it): the command fails, and no file, whole or partial, nor a temporary
// one, is left that could be taken for the export.
TEST_F(ExportCommandTest, ExportThatCannotBeWrittenLeavesNoFile)
{
    for (const char* format : {"hex", "azure", "pskc"}) {
        const QString out = m_folder.filePath(QStringLiteral("full-") + format);
        rlimit previous{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit full{40, previous.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
        const CommandRun run = exportVault({QStringLiteral("--format"), QString::fromLatin1(format),
                                            QStringLiteral("--out"), out});
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
        std::signal(SIGXFSZ, handler);
        EXPECT_EQ(run.status, 1) << format << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String("Failed to write"))) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains(QLatin1String("Exported"))) << run.out.toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList())
            << format;
    }
}

} // namespace
