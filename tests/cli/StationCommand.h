#pragma once

// The station's program running one terminal command in a child process,
// and the virtual tokens its tests present: shared by the command line's
// tests.
#include "VirtualToken.h"
#include "seed/Base32.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

inline constexpr uint8_t kAuthenticate = 0xCE;
inline constexpr uint8_t kWriteSeed = 0xC5;

// The program running one command, its output gathered as it comes.
class StationCommand
{
public:
    explicit StationCommand(const QStringList& arguments)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { m_out += m_process.readAllStandardOutput(); });
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { m_err += m_process.readAllStandardError(); });
        m_process.start(QStringLiteral(STATION_PROGRAM), arguments);
    }
    ~StationCommand()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Serves the output until condition holds or the program ends (20 s at most).
    bool waitUntil(const std::function<bool()>& condition)
    {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        for (auto signal : {&QProcess::readyReadStandardOutput, &QProcess::readyReadStandardError})
            QObject::connect(&m_process, signal, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        deadline.start(20000);
        while (!condition()) {
            if (!deadline.isActive() || m_process.state() == QProcess::NotRunning)
                return condition();
            loop.exec();
        }
        return true;
    }
    bool waitForEvents(int count)
    {
        return waitUntil([&] { return events().size() >= count; });
    }
    bool waitForError(const QString& text)
    {
        return waitUntil([&] { return errorText().contains(text); });
    }
    void interrupt(int signal = SIGINT)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
    }
    // Waits for the end; the exit status, or -1 when it did not end normally.
    int finish()
    {
        waitUntil([] { return false; });
        m_process.waitForFinished(20000);
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QList<QJsonObject> events() const
    {
        QList<QJsonObject> events;
        for (const QByteArray& line : m_out.split('\n'))
            if (!line.isEmpty())
                events << QJsonDocument::fromJson(line).object();
        return events;
    }
    QByteArray output() const { return m_out; }
    QString errorText() const { return QString::fromUtf8(m_err); }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

inline std::shared_ptr<VirtualToken> Token(const std::string& serial)
{
    VirtualTokenSettings settings;
    settings.serial = serial;
    return std::make_shared<VirtualToken>(settings);
}

inline std::vector<uint8_t> SeedBytes(const QString& text)
{
    const ByteString bytes = DecodeBase32(text.toStdString());
    return {bytes.begin(), bytes.end()};
}

// Waits until the token has received a command with instruction ins.
inline bool WaitForCommand(const VirtualToken& token, uint8_t ins)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& command : token.received())
            if (command.size() > 1 && command[1] == ins)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
