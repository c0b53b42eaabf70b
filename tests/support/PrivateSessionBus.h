#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A D-Bus session bus of the test's own: a dbus-daemon with a configuration
// written here, listening in a private folder and activating no services,
// so that nothing of the machine's desktop answers on it.
//
//     PrivateSessionBus bus;
//     if (QString error = bus.start(); !error.isEmpty())
//         fail loudly with error;          // never skip
//     qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
//
// The daemon is stopped when the object goes away.
class PrivateSessionBus
{
public:
    PrivateSessionBus() = default;
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Starts the daemon and waits for its address. Empty on success,
    // otherwise what went wrong.
    QString start();

    QString address() const { return m_address; }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_address;
};
