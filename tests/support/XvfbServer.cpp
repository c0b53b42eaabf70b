#include "XvfbServer.h"

#include <QDeadlineTimer>

namespace {
constexpr int kStartTimeoutMs = 20000;
}

XvfbServer::XvfbServer(XvfbScreen screen) : m_screens{screen} {}

XvfbServer::XvfbServer(std::vector<XvfbScreen> screens) : m_screens(std::move(screens)) {}

XvfbServer::~XvfbServer()
{
    stop();
}

QString XvfbServer::start()
{
    QStringList arguments{"-displayfd", "1"};
    for (size_t i = 0; i < m_screens.size(); ++i) {
        const XvfbScreen& screen = m_screens[i];
        arguments << "-screen" << QString::number(i)
                  << QString("%1x%2x%3").arg(screen.width).arg(screen.height).arg(screen.depth);
    }
    arguments << "-nolisten"
              << "tcp";
    // -displayfd 1: the server chooses a free display and writes its number to
    // our pipe once it is ready to accept clients.
    m_process.setProgram("Xvfb");
    // The server's complaints go straight to the test's own output, where a
    // failing run shows them; a pipe nobody drains could stall the server.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs))
        return QString("Xvfb did not start: %1").arg(m_process.errorString());

    QByteArray announced;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!announced.contains('\n')) {
        if (m_process.state() != QProcess::Running || deadline.hasExpired())
            break;
        m_process.waitForReadyRead(200);
        announced += m_process.readAllStandardOutput();
    }
    bool ok = false;
    const int number = announced.trimmed().toInt(&ok);
    if (!ok) {
        const QString state = m_process.state() == QProcess::Running
                                  ? QString("still running")
                                  : QString("exited with %1").arg(m_process.exitCode());
        stop();
        return QString("Xvfb did not announce a display within %1 ms (%2); its messages are "
                       "in the output above")
            .arg(kStartTimeoutMs)
            .arg(state);
    }
    m_display = QString(":%1").arg(number);
    return {};
}

void XvfbServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
