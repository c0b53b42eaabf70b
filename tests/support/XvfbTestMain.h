#pragma once

#include "XvfbServer.h"

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <vector>

// The main() of a Qt Test that needs a real screen: its own X server with
// these screens, the window on it through xcb (never a desktop's Wayland or
// session bus), then the test's slots.
template <typename Test>
int RunQtTestOnXvfb(int argc, char** argv, std::vector<XvfbScreen> screens = {XvfbScreen()})
{
    XvfbServer xvfb(std::move(screens));
    if (const QString error = xvfb.start(); !error.isEmpty()) {
        std::fprintf(stderr, "cannot start the X server for this test: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("DISPLAY", xvfb.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
    // The private screen has no desktop session bus; told so, Qt's desktop
    // integration stays off it rather than reach for the caller's.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}
