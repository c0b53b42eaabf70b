#include "PostgresFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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
    psql(QStringLiteral("CREATE DATABASE tokens"), QStringLiteral("postgres"));
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
    QProcess process;
    process.start(QStringLiteral("/usr/bin/psql"),
                  {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                   QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                   QStringLiteral("-d"), connection(database, user), QStringLiteral("-c"), sql});
    process.waitForFinished(-1);
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        fail("psql " + sql.toStdString() +
             " failed: " + QString::fromUtf8(process.readAllStandardError()).toStdString());
        return std::nullopt;
    }
    return output.trimmed();
}

bool PostgresFixture::psqlFile(const QString& path, const QString& database)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/psql"),
                  {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                   QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), connection(database),
                   QStringLiteral("-f"), path});
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return fail("psql -f " + path.toStdString() +
                    " failed: " + QString::fromUtf8(process.readAllStandardError()).toStdString());
    return true;
}

bool PostgresFixture::runAsPostgres(const QStringList& command, QString* output)
{
    QProcess process;
    // The postgres user may not read the test's own working folder.
    process.setWorkingDirectory(m_folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(
        QStringLiteral("/usr/sbin/runuser"),
        QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} +
            command);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        QFile log(m_folder.filePath(QStringLiteral("data/server.log")));
        const QString logText =
            log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        return fail(command.join(QLatin1Char(' ')).toStdString() + " failed (" +
                    process.errorString().toStdString() + "):\n" +
                    QString::fromUtf8(process.readAll()).toStdString() + logText.toStdString());
    }
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return true;
}

bool PostgresFixture::fail(const std::string& why)
{
    if (m_failure.empty())
        m_failure = why;
    std::fprintf(stderr, "PostgresFixture: %s\n", why.c_str());
    return false;
}
