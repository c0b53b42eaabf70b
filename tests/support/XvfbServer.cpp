#include "XvfbServer.h"

#include <QDeadlineTimer>

namespace {
constexpr int kStartTimeoutMs = 20000;
}

XvfbServer::XvfbServer(XvfbScreen screen) : m_screen(screen) {}

XvfbServer::~XvfbServer()
{
    stop();
}

QString XvfbServer::start()
{
    const QString geometry =
        QString("%1x%2x%3").arg(m_screen.width).arg(m_screen.height).arg(m_screen.depth);
    // -displayfd 1: the server chooses a free display and writes its number to
    // our pipe once it is ready to accept clients.
    m_process.setProgram("Xvfb");
    m_process.setArguments({"-displayfd", "1", "-screen", "0", geometry, "-nolisten", "tcp"});
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
        const QString output = QString::fromLocal8Bit(m_process.readAllStandardError());
        stop();
        return QString("Xvfb did not announce a display within %1 ms. Its output:\n%2")
            .arg(kStartTimeoutMs)
            .arg(output);
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
