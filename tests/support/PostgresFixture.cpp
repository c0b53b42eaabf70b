#include "PostgresFixture.h"

#include "ChildProgram.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

QString DataFolder(const QTemporaryDir& folder)
{
    return folder.filePath(QStringLiteral("data"));
}

} // namespace

PostgresFixture::PostgresFixture() : m_folder(QDir::tempPath() + QStringLiteral("/pg-XXXXXX"))
{
    if (!m_folder.isValid()) {
        fail("no temporary folder for the cluster: " + m_folder.errorString().toStdString());
        return;
    }
    const passwd* postgres = getpwnam("postgres");
    if (!postgres) {
        fail("no user postgres (Debian's postgresql-15 package makes it)");
        return;
    }
    // The postgres user walks into the folder and owns the cluster's data
    // and socket folders.
    const QByteArray top = QFile::encodeName(m_folder.path());
    const QByteArray data = QFile::encodeName(DataFolder(m_folder));
    const QByteArray socket = QFile::encodeName(socketFolder());
    if (chmod(top.constData(), 0755) != 0 || mkdir(data.constData(), 0700) != 0 ||
        mkdir(socket.constData(), 0755) != 0 ||
        chown(data.constData(), postgres->pw_uid, postgres->pw_gid) != 0 ||
        chown(socket.constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
        fail("cannot prepare the cluster's folder " + top.toStdString());
        return;
    }
    if (!runAsPostgres({kBin + QStringLiteral("initdb"), QStringLiteral("-D"), DataFolder(m_folder),
                        QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-A"),
                        QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                        QStringLiteral("--no-sync")}))
        return;
    if (!start())
        return;
    if (!psql(QStringLiteral("CREATE DATABASE tokens"), QStringLiteral("postgres")))
        fail(m_psqlFailure);
}

PostgresFixture::~PostgresFixture()
{
    if (m_running)
        runAsPostgres({kBin + QStringLiteral("pg_ctl"), QStringLiteral("-D"), DataFolder(m_folder),
                       QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"),
                       QStringLiteral("stop")});
}

QString PostgresFixture::socketFolder() const
{
    return m_folder.filePath(QStringLiteral("socket"));
}

QString PostgresFixture::connection(const QString& database, const QString& user) const
{
    return QStringLiteral("host=%1 dbname=%2 user=%3").arg(socketFolder(), database, user);
}

bool PostgresFixture::start()
{
    const QString options =
        QStringLiteral("-k %1 -c listen_addresses= -c max_connections=200").arg(socketFolder());
    m_running =
        runAsPostgres({kBin + QStringLiteral("pg_ctl"), QStringLiteral("-D"), DataFolder(m_folder),
                       QStringLiteral("-l"), m_folder.filePath(QStringLiteral("data/server.log")),
                       QStringLiteral("-o"), options, QStringLiteral("-w"), QStringLiteral("-t"),
                       QStringLiteral("120"), QStringLiteral("start")});
    return m_running;
}

bool PostgresFixture::stop()
{
    const bool stopped =
        runAsPostgres({kBin + QStringLiteral("pg_ctl"), QStringLiteral("-D"), DataFolder(m_folder),
                       QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                       QStringLiteral("-t"), QStringLiteral("120"), QStringLiteral("stop")});
    m_running = !stopped;
    return stopped;
}

std::optional<QString> PostgresFixture::psql(const QString& sql, const QString& database,
                                             const QString& user)
{
    ChildProgram process(QStringLiteral("/usr/bin/psql"),
                         {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                          QStringLiteral("-t"), QStringLiteral("-v"),
                          QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                          connection(database, user), QStringLiteral("-c"), sql});
    const int status = process.run();
    const QString output = QString::fromUtf8(process.output());
    if (status != 0) {
        psqlFailed("psql " + sql.toStdString() + " failed: " + process.startError().toStdString() +
                   QString::fromUtf8(process.errorOutput()).toStdString());
        return std::nullopt;
    }
    return output.trimmed();
}

bool PostgresFixture::psqlFile(const QString& path, const QString& database)
{
    ChildProgram process(QStringLiteral("/usr/bin/psql"),
                         {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                          QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                          connection(database), QStringLiteral("-f"), path});
    if (process.run() != 0)
        return psqlFailed("psql -f " + path.toStdString() +
                          " failed: " + process.startError().toStdString() +
                          QString::fromUtf8(process.errorOutput()).toStdString());
    return true;
}

bool PostgresFixture::runAsPostgres(const QStringList& command, QString* output)
{
    // The postgres user may not read the test's own working folder.
    ChildProgram process(
        QStringLiteral("/usr/sbin/runuser"),
        QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} +
            command,
        {}, m_folder.path());
    if (process.run() != 0) {
        QFile log(m_folder.filePath(QStringLiteral("data/server.log")));
        const QString logText =
            log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        return fail(command.join(QLatin1Char(' ')).toStdString() + " failed (" +
                    process.startError().toStdString() + "):\n" +
                    QString::fromUtf8(process.output() + process.errorOutput()).toStdString() +
                    logText.toStdString());
    }
    if (output)
        *output = QString::fromUtf8(process.output() + process.errorOutput());
    return true;
}

bool PostgresFixture::psqlFailed(const std::string& why)
{
    m_psqlFailure = why;
    std::fprintf(stderr, "PostgresFixture: %s\n", why.c_str());
    return false;
}

bool PostgresFixture::fail(const std::string& why)
{
    if (m_failure.empty())
        m_failure = why;
    std::fprintf(stderr, "PostgresFixture: %s\n", why.c_str());
    return false;
}
