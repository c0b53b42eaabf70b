// Scan Screen against a real X display: Xvfb, started here with two screens,
// the main window on the first and windows showing QR codes beside it or on
// the second. There may be no window manager, so minimising need not hide
// the main window: the windows are placed apart.
#include "BackgroundWorkDone.h"
#include "MainWindow.h"
#include "QrCodeImages.h"
#include "RecordingOperator.h"
#include "XvfbTestMain.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>
#include <algorithm>
#include <cstdio>

namespace {

const QString kSecret = "JBSWY3DPEHPK3PXP";
const std::string kOtpauth = "otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP&issuer=Station";
const QString kOtherSecret = "KRSXG5CTMVRXEZLU";
const std::string kOtherOtpauth = "otpauth://totp/Station:bob?secret=KRSXG5CTMVRXEZLU";

QScreen* SecondScreen()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens)
        if (screen != QGuiApplication::primaryScreen())
            return screen;
    return nullptr;
}

} // namespace

class TestScanScreen : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void findsTheSecretOfACodeOnTheScreen();
    void pureBlueCodeIsNotFound();
    void findsACodeOnTheSecondScreen();
    void primaryScreenComesFirst();

private:
    // Shows the code on the given screen (the primary by default).
    void showCode(const QImage& code, QScreen* screen = nullptr);

    QTemporaryDir m_data;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
    std::vector<std::unique_ptr<QLabel>> m_codeWindows;
};

void TestScanScreen::init()
{
    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_data.path());
    m_window->move(0, 0);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->setSeedText("MFRGGZDFMZTWQ2LK"); // an earlier seed, to see it replaced
    m_operator.clear();
}

void TestScanScreen::cleanup()
{
    m_codeWindows.clear();
    m_window.reset();
}

// Shows the code in its own window in the screen's bottom-right corner, away
// from the main window, and waits until the screen really shows it.
void TestScanScreen::showCode(const QImage& code, QScreen* screen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    auto window = std::make_unique<QLabel>();
    window->setScreen(screen);
    window->setPixmap(QPixmap::fromImage(code));
    window->setFixedSize(code.size());
    const QRect area = screen->geometry();
    window->move(area.right() - code.width() - 40, area.bottom() - code.height() - 40);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->screen(), screen);
    QVERIFY2(screen != m_window->screen() ||
                 !m_window->frameGeometry().intersects(window->frameGeometry()),
             "the screen is too small to show the code beside the main window");

    // The code's top-left module is dark (in blue or black).
    const QPoint corner = window->mapToGlobal(QPoint(16 + 1, 16 + 1)) - area.topLeft();
    QTRY_VERIFY(screen->grabWindow(0, corner.x(), corner.y(), 1, 1).toImage().pixel(0, 0) ==
                code.pixel(17, 17));
    m_codeWindows.push_back(std::move(window));
}

void TestScanScreen::findsTheSecretOfACodeOnTheScreen()
{
    showCode(QrCodeImage(kOtpauth));
    QSignalSpy states(m_window->windowHandle(), &QWindow::windowStateChanged);

    m_window->scanScreen();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), kSecret);
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

    m_window->scanScreen();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), QStringList{"No QR Code found on the screen!"});
    QCOMPARE(m_operator.messages().front().caption, QString("ERROR"));
    QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), QString());
    QVERIFY(!m_window->isMinimized());
}

// Before, only the primary screen was searched.
void TestScanScreen::findsACodeOnTheSecondScreen()
{
    QScreen* second = SecondScreen();
    QVERIFY2(second, "the X server shows only one screen");
    QCOMPARE(second->devicePixelRatio(),
             qreal(std::max(1, qEnvironmentVariableIntValue("STATION_SCREEN_RATIO"))));
    showCode(QrCodeImage(kOtpauth), second);

    m_window->scanScreen();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), kSecret);
    QCOMPARE(m_operator.beeps(), 1);
    QVERIFY(!m_window->isMinimized());
}

// With a code on each screen, the primary screen's is taken, whatever order
// the screens were made in; scanning again gives the same code.
void TestScanScreen::primaryScreenComesFirst()
{
    QScreen* second = SecondScreen();
    QVERIFY2(second, "the X server shows only one screen");
    showCode(QrCodeImage(kOtherOtpauth), second);
    showCode(QrCodeImage(kOtpauth));

    for (int scan = 0; scan < 2; ++scan) {
        m_window->scanScreen();
        QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);
        QCOMPARE(m_operator.texts(), QStringList());
        QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), kSecret);
    }
}

// The X server must exist before the application connects to it. Two X
// screens on one display: the second is smaller, so the screens differ.
int main(int argc, char** argv)
{
    XvfbScreen first;
    first.depth = qEnvironmentVariableIntValue("STATION_XVFB_DEPTH");
    if (first.depth == 0)
        first.depth = 24;
    XvfbScreen second = first;
    second.width = 800;
    second.height = 600;
    // At a device pixel ratio of 2 the screens have twice the pixels, so the
    // windows keep their room; the codes are then searched at 8 pixels per
    // module, as the screen shows them.
    const int ratio = std::max(1, qEnvironmentVariableIntValue("STATION_SCREEN_RATIO"));
    for (XvfbScreen* screen : {&first, &second}) {
        screen->width *= ratio;
        screen->height *= ratio;
    }
    if (ratio != 1)
        qputenv("QT_SCREEN_SCALE_FACTORS", QByteArray::number(ratio));
    return RunQtTestOnXvfb<TestScanScreen>(argc, argv, {first, second});
}

#include "TestScanScreen.moc"
