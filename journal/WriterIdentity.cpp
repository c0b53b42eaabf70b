#include "WriterIdentity.h"

#include <QFile>
#include <QStringList>
#include <unistd.h>

namespace {

QByteArray ReadSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096);
}

QString BootId()
{
    return QString::fromLatin1(ReadSmallFile(QStringLiteral("/proc/sys/kernel/random/boot_id")))
        .trimmed();
}

// The start time in clock ticks since boot of a running process: the 22nd
// field of /proc/<pid>/stat, the 20th after the command name (which may hold
// spaces and parentheses, hence the last ")"). Empty for a process that is
// gone, or dead and not yet reaped (state Z or X).
QString StartTime(qint64 pid)
{
    const QByteArray stat = ReadSmallFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype end = stat.lastIndexOf(')');
    if (end < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(end + 2).split(' ');
    if (fields.size() <= 19 || fields[0] == "Z" || fields[0] == "X")
        return {};
    return QString::fromLatin1(fields[19]);
}

} // namespace

QString CurrentWriter()
{
    const QString boot = BootId();
    const qint64 pid = ::getpid();
    const QString start = StartTime(pid);
    if (boot.isEmpty() || start.isEmpty())
        return {};
    return QStringLiteral("%1 %2 %3").arg(boot).arg(pid).arg(start);
}

bool WriterMayBeRunning(const QString& writer)
{
    const QStringList parts = writer.split(QLatin1Char(' '));
    if (parts.size() != 3 || parts[0] != BootId())
        return false;
    bool isNumber = false;
    const qint64 pid = parts[1].toLongLong(&isNumber);
    return isNumber && pid > 0 && StartTime(pid) == parts[2];
}
