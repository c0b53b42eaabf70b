#include "PrivateSessionBus.h"

#include <QDeadlineTimer>
#include <QFile>
#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kStartTimeoutMs = 20000;

// The session bus's usual policy, without service directories: a name that
// nobody owns stays unowned instead of starting the machine's own service.
const char* const kConfig =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateSessionBus::~PrivateSessionBus()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString PrivateSessionBus::start()
{
    if (!m_folder.isValid())
        return QString("no folder for the bus: %1").arg(m_folder.errorString());
    const QString configPath = m_folder.filePath("bus.conf");
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString(kConfig).arg(m_folder.path()).toUtf8()) < 0)
        return QString("cannot write %1: %2").arg(configPath, config.errorString());
    config.close();

    m_process.setProgram("dbus-daemon");
    m_process.setArguments(
        {"--config-file=" + configPath, "--nofork", "--nopidfile", "--print-address=1"});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that dies before its destructors run takes the daemon with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs))
        return QString("dbus-daemon did not start: %1").arg(m_process.errorString());

    QByteArray printed;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!printed.contains('\n') && m_process.state() == QProcess::Running &&
           !deadline.hasExpired()) {
        m_process.waitForReadyRead(200);
        printed += m_process.readAllStandardOutput();
    }
    m_address = QString::fromUtf8(printed).trimmed();
    if (m_address.isEmpty())
        return QString("dbus-daemon gave no address within %1 ms; its messages are in the "
                       "output above")
            .arg(kStartTimeoutMs);
    return {};
}
