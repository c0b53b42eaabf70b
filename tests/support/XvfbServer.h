#pragma once

#include <QProcess>
#include <QString>
#include <vector>

// A private X server for a test that needs a real screen (the screen scan).
//
//     XvfbServer xvfb({1280, 1024, 24});
//     if (QString error = xvfb.start(); !error.isEmpty())
//         fail loudly with error;            // never skip
//     qputenv("DISPLAY", xvfb.display().toUtf8());
//     qputenv("QT_QPA_PLATFORM", "xcb");     // before the QApplication exists
//
// Xvfb picks a free display number itself (-displayfd), so test processes
// running side by side never share a screen. The server is stopped when the
// object goes away, also when the test fails.
struct XvfbScreen
{
    int width = 1280;
    int height = 1024;
    int depth = 24;
};

class XvfbServer
{
public:
    explicit XvfbServer(XvfbScreen screen = XvfbScreen());
    // Several X screens on one display (":N.0", ":N.1", ...); Qt's xcb
    // platform shows each as a QScreen of its own, the first the primary.
    explicit XvfbServer(std::vector<XvfbScreen> screens);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server and waits until it accepts clients. Returns an empty
    // text on success, otherwise what went wrong (the server's own messages
    // go to this process's standard error).
    QString start();

    // ":N" once started.
    QString display() const { return m_display; }

private:
    void stop();

    std::vector<XvfbScreen> m_screens;
    QProcess m_process;
    QString m_display;
};
