#include "JournalReach.h"

#include <QFileInfo>
#include <libpq-fe.h>

namespace {
// Long enough for a server across a site's network, short enough that a
// window closing while a probe runs does not seem to hang.
constexpr const char* kProbeTimeoutSeconds = "5";

JournalResult<void> ProbeServer(const QString& connection)
{
    const QByteArray conninfo = connection.toUtf8();
    // The connection string is expanded first; the probe's own timeout then
    // overrides one it may name.
    const char* const keywords[] = {"dbname", "connect_timeout", nullptr};
    const char* const values[] = {conninfo.constData(), kProbeTimeoutSeconds, nullptr};
    switch (PQpingParams(keywords, values, 1)) {
    case PQPING_OK:
        return {};
    case PQPING_REJECT:
        return JournalError{QStringLiteral("the server is starting, stopping or in recovery")};
    case PQPING_NO_RESPONSE:
        return JournalError{QStringLiteral("the server does not answer")};
    case PQPING_NO_ATTEMPT:
        break;
    }
    return JournalError{QStringLiteral("the connection string is not valid")};
}

JournalResult<void> CheckFile(const QString& path)
{
    const QFileInfo file(path);
    if (file.exists())
        return file.isFile() && file.isWritable()
                   ? JournalResult<void>()
                   : JournalError{QStringLiteral("the file cannot be written")};
    const QFileInfo folder(file.absolutePath());
    return folder.isDir() && folder.isWritable()
               ? JournalResult<void>()
               : JournalError{QStringLiteral("its folder cannot be written")};
}
} // namespace

JournalResult<void> CheckJournalReachable(const JournalLocation& location)
{
    if (location.isServer())
        return ProbeServer(location.given);
    return CheckFile(location.given.isEmpty() ? location.defaultPath : location.given);
}
