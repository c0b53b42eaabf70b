// Scan Screen against a real X screen: Xvfb, started here, with the main
// window and a second window showing a QR code side by side. There may be no
// window manager, so minimising need not hide the main window: the two are
// placed apart.
#include "MainWindow.h"
#include "QrCodeImages.h"
#include "RecordingOperator.h"
#include "XvfbServer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>
#include <cstdio>

namespace {

const QString kSecret = "JBSWY3DPEHPK3PXP";
const std::string kOtpauth = "otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP&issuer=Station";

} // namespace

class TestScanScreen : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void findsTheSecretOfACodeOnTheScreen();
    void pureBlueCodeIsNotFound();

private:
    void showCode(const QImage& code);

    QTemporaryDir m_data;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QLabel> m_codeWindow;
};

void TestScanScreen::init()
{
    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_data.path());
    m_window->move(0, 0);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->SetSeedText("MFRGGZDFMZTWQ2LK"); // an earlier seed, to see it replaced
    m_operator.clear();
}

void TestScanScreen::cleanup()
{
    m_codeWindow.reset();
    m_window.reset();
}

// Shows the code in its own window in the screen's bottom-right corner, away
// from the main window, and waits until the screen really shows it.
void TestScanScreen::showCode(const QImage& code)
{
    m_codeWindow = std::make_unique<QLabel>();
    m_codeWindow->setPixmap(QPixmap::fromImage(code));
    m_codeWindow->setFixedSize(code.size());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    m_codeWindow->move(screen.right() - code.width() - 40, screen.bottom() - code.height() - 40);
    m_codeWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_codeWindow.get()));
    QVERIFY2(!m_window->frameGeometry().intersects(m_codeWindow->frameGeometry()),
             "the screen is too small to show the code beside the main window");

    // The code's top-left module is dark (in blue or black).
    const QPoint corner = m_codeWindow->mapToGlobal(QPoint(16 + 1, 16 + 1));
    QTRY_VERIFY(QGuiApplication::primaryScreen()
                    ->grabWindow(0, corner.x(), corner.y(), 1, 1)
                    .toImage()
                    .pixel(0, 0) == code.pixel(17, 17));
}

void TestScanScreen::findsTheSecretOfACodeOnTheScreen()
{
    showCode(QrCodeImage(kOtpauth));
    QSignalSpy states(m_window->windowHandle(), &QWindow::windowStateChanged);

    m_window->OnScanScreen();

    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), kSecret);
    QCOMPARE(m_window->state().texts().seedText, kSecret);
    QCOMPARE(m_operator.beeps(), 1);
    // Out of the way while the screen was copied, back afterwards.
    QVERIFY(!states.isEmpty());
    QCOMPARE(states.first().first().value<Qt::WindowState>(), Qt::WindowMinimized);
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
}

// The screen is read by its blue component alone: blue modules on white are
// as bright as the white around them.
void TestScanScreen::pureBlueCodeIsNotFound()
{
    QrLook blue;
    blue.dark = QColor(0, 0, 255);
    showCode(QrCodeImage(kOtpauth, blue));

    m_window->OnScanScreen();

    QCOMPARE(m_operator.texts(), QStringList{"No QR Code found on the screen!"});
    QCOMPARE(m_operator.messages().front().caption, QString("ERROR"));
    QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), QString());
    QCOMPARE(m_window->state().texts().seedText, QString());
    QVERIFY(!m_window->isMinimized());
}

// The X server must exist before the application connects to it.
int main(int argc, char** argv)
{
    XvfbScreen screen;
    screen.depth = qEnvironmentVariableIntValue("STATION_XVFB_DEPTH");
    if (screen.depth == 0)
        screen.depth = 24;
    XvfbServer xvfb(screen);
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
    TestScanScreen test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestScanScreen.moc"
