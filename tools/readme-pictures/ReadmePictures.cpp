// The README's pictures of the real window, made again whenever the window
// changes (scripts/readme-pictures): on a private X server (Xvfb), with a
// private pcscd, its virtual readers and virtual tokens, the window
//   1. programs a token presented to its reader (window.png);
//   2. programs each token presented to two readers at once, without a
//      press, each for the next user of a user list (production-line.png).
// Each picture is the window as the X server shows it.
//   readme-pictures OUTPUT_FOLDER
#include "StationUnderTest.h"
#include "XvfbServer.h"

#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdio>

namespace {

int Fail(const QString& what)
{
    std::fprintf(stderr, "readme-pictures: %s\n", qPrintable(what));
    return 1;
}

// The window's pixels from the X server, once every change is painted.
bool SaveWindow(QWidget& window, const QString& path)
{
    QCoreApplication::processEvents();
    window.repaint();
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return !shot.isNull() && shot.save(path, "PNG");
}

void CheckAutoProgramming(StationUnderTest& station)
{
    auto* check = station.child<QCheckBox>("autoProgramCheck");
    if (!check->isChecked())
        QTest::mouseClick(check, Qt::LeftButton);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return Fail(QStringLiteral("usage: readme-pictures OUTPUT_FOLDER"));
    const QDir output(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(output.path()))
        return Fail(QStringLiteral("cannot make %1").arg(output.path()));
    XvfbServer xvfb({1280, 1024, 24});
    if (const QString error = xvfb.start(); !error.isEmpty())
        return Fail(QStringLiteral("no X server: %1").arg(error));
    qputenv("DISPLAY", xvfb.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");

    StationUnderTest station(1); // two readers
    if (!station.pcsc.ok())
        return Fail(QString::fromStdString("no private pcscd: " + station.pcsc.failure()));
    if (!QTest::qWaitForWindowExposed(station.window.get()))
        return Fail(QStringLiteral("the window was not shown"));

    // 1. A token on the first reader, programmed with a seed and Burn.
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    QTest::keyClicks(station.child<QLineEdit>("userNameEdit"), "operator@example.org");
    station.setSeed(QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"));
    if (!station.connectTo(0) || !station.present(StationUnderTest::Token("TK0001")) ||
        !station.pressBurn() || !StationUnderTest::waitFor([&] {
            return station.counters() == "1/1/0" && station.burnButton()->isEnabled();
        }))
        return Fail(QStringLiteral("the token was not programmed"));
    if (!SaveWindow(*station.window, output.filePath(QStringLiteral("window.png"))))
        return Fail(QStringLiteral("window.png could not be written"));
    if (!station.lift(0))
        return Fail(QStringLiteral("the token was not lifted"));

    // 2. Both readers programming each token presented, a random seed and
    // the next user of the list each.
    QTemporaryDir lists;
    QFile users(lists.filePath(QStringLiteral("users.txt")));
    if (!users.open(QIODevice::WriteOnly) ||
        users.write("ana@example.org\nben@example.org\ncara@example.org\ndev@example.org\n") < 0)
        return Fail(QStringLiteral("the user list could not be written"));
    users.close();
    station.op.recorded.answerNextFileDialog(users.fileName());
    QTest::mouseClick(station.child<QPushButton>("loadUserListButton"), Qt::LeftButton);
    if (!StationUnderTest::waitFor([&] {
            return station.child<QLabel>("userListText")->text().startsWith("Next user: ana");
        }))
        return Fail(QStringLiteral("the user list did not load"));
    CheckAutoProgramming(station);
    if (!station.connectTo(1))
        return Fail(QStringLiteral("the second reader did not connect"));
    for (auto [serial, slot, counters] :
         {std::tuple{"TK0002", 0, "2/2/0"}, std::tuple{"TK0003", 1, "1/1/0"}}) {
        if (!station.present(StationUnderTest::Token(serial), slot) ||
            !StationUnderTest::waitFor([&] { return station.lineCounters(slot) == counters; }))
            return Fail(QStringLiteral("%1 was not programmed").arg(QLatin1String(serial)));
    }
    if (!StationUnderTest::waitFor([&] { return station.counters() == "3/3/0"; }) ||
        !SaveWindow(*station.window, output.filePath(QStringLiteral("production-line.png"))))
        return Fail(QStringLiteral("production-line.png could not be written"));
    std::printf("readme-pictures: window.png and production-line.png in %s\n",
                qPrintable(output.path()));
    return 0;
}
