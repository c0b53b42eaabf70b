// Scan Screen where the desktop keeps the screen to itself (Wayland): the copy
// comes from a desktop portal, here one of the tests' own on a private
// session bus, under the offscreen platform.
#include "BackgroundWorkDone.h"
#include "FakeScreenshotPortal.h"
#include "MainWindow.h"
#include "PrivateSessionBus.h"
#include "QrCodeImages.h"
#include "RecordingOperator.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>
#include <cstdio>
#include <functional>

Q_DECLARE_METATYPE(FakeScreenshotPortal::Answer)

namespace {

const QString kSecret = "JBSWY3DPEHPK3PXP";
const std::string kOtpauth = "otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP&issuer=Station";
const QString kUseAFile = "Save the QR code as a picture and use \"Load Image File\" instead.";
const QString kNoScreenAccess =
    "This Wayland session does not let the station read the screen.\n" + kUseAFile;

// A window that says when it is painted.
class PaintProbe : public QWidget
{
public:
    std::function<void()> painted;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (painted)
            painted();
    }
};

} // namespace

class TestScanScreenPortal : public QObject
{
    Q_OBJECT

public:
    explicit TestScanScreenPortal(QString busAddress) : m_busAddress(std::move(busAddress)) {}

private slots:
    void init();
    void cleanup();
    void portalPictureGivesTheSecret();
    void portalWithoutUsablePictureTellsWhy_data();
    void portalWithoutUsablePictureTellsWhy();
    void portalThatNeverAnswersTimesOut();
    void windowKeepsPaintingWhileTheDesktopAsks();
    void withoutPortalTheOldMessageStays();

private:
    QString save(const QImage& picture, const QString& name);
    QString seedEditText() const { return m_window->findChild<QLineEdit*>("seedEdit")->text(); }
    void scanExpecting(const QStringList& messages, const QString& seed);

    QString m_busAddress;
    QTemporaryDir m_folder;
    RecordingOperator m_operator;
    std::unique_ptr<FakeScreenshotPortal> m_portal;
    std::unique_ptr<MainWindow> m_window;
    QString m_codePath;
};

void TestScanScreenPortal::init()
{
    qputenv("XDG_SESSION_TYPE", "wayland");
    m_portal = std::make_unique<FakeScreenshotPortal>();
    const QString error = m_portal->start(m_busAddress);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_codePath = save(QrCodeImage(kOtpauth), "Screenshot.png");

    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_folder.path());
    // Off the offscreen platform's screen, out of its copies.
    m_window->move(5000, 5000);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->setSeedText("MFRGGZDFMZTWQ2LK"); // an earlier seed, to see it replaced
    m_operator.clear();
}

void TestScanScreenPortal::cleanup()
{
    m_window.reset();
    m_portal.reset();
}

QString TestScanScreenPortal::save(const QImage& picture, const QString& name)
{
    const QString path = m_folder.filePath(name);
    return picture.save(path, "PNG") ? path : QString();
}

// Scans and checks what the operator sees; the window is back either way.
void TestScanScreenPortal::scanExpecting(const QStringList& messages, const QString& seed)
{
    m_window->scanScreen();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), messages);
    for (const auto& message : m_operator.messages())
        QCOMPARE(message.caption, QString("ERROR"));
    QCOMPARE(seedEditText(), seed);
    QCOMPARE(m_operator.beeps(), seed.isEmpty() ? 0 : 1);
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
}

// The desktop's picture is read like a picture file; the file is the
// desktop's and its user's, so it stays where it is.
void TestScanScreenPortal::portalPictureGivesTheSecret()
{
    m_portal->answerWith(FakeScreenshotPortal::Answer::Picture, m_codePath);

    scanExpecting({}, kSecret);

    QCOMPARE(m_portal->requests(), 1);
    const QVariantMap options = m_portal->lastOptions();
    QCOMPARE(options.value("interactive"), QVariant(false));
    QVERIFY(!options.value("handle_token").toString().isEmpty());
    QVERIFY(QFile::exists(m_codePath));
}

void TestScanScreenPortal::portalWithoutUsablePictureTellsWhy_data()
{
    QTest::addColumn<FakeScreenshotPortal::Answer>("answer");
    QTest::addColumn<QString>("pathOrUri"); // a file name in the test's folder for Picture
    QTest::addColumn<QString>("message");   // "%1": the path of that file

    using Answer = FakeScreenshotPortal::Answer;
    QTest::newRow("user refuses") << Answer::Refuse << QString()
                                  << "The desktop did not let the station read the screen.";
    QTest::newRow("ended otherwise")
        << Answer::End << QString()
        << "The desktop ended the request to read the screen without a copy.";
    QTest::newRow("file is no picture")
        << Answer::Picture << "notes.png"
        << "The desktop's copy of the screen could not be read:\n%1";
    QTest::newRow("file is missing") << Answer::Picture << "gone.png"
                                     << "The desktop's copy of the screen could not be read:\n%1";
    QTest::newRow("not a local file")
        << Answer::Uri << "https://example.org/shot.png"
        << "The desktop could not copy the screen: the answer names no local file: "
           "https://example.org/shot.png";
    QTest::newRow("no address") << Answer::Uri << QString()
                                << "The desktop could not copy the screen: the answer names no "
                                   "picture file";
    QTest::newRow("picture without a code") << Answer::Picture << "blank.png"
                                            << "No QR Code found on the screen!";
}

void TestScanScreenPortal::portalWithoutUsablePictureTellsWhy()
{
    QFETCH(FakeScreenshotPortal::Answer, answer);
    QFETCH(QString, pathOrUri);
    QFETCH(QString, message);

    if (answer == FakeScreenshotPortal::Answer::Picture) {
        pathOrUri = m_folder.filePath(pathOrUri);
        if (pathOrUri.endsWith("notes.png")) {
            QFile notes(pathOrUri);
            QVERIFY(notes.open(QIODevice::WriteOnly));
            notes.write("not a picture at all\n");
        } else if (pathOrUri.endsWith("blank.png")) {
            QImage blank(640, 480, QImage::Format_RGB32);
            blank.fill(Qt::white);
            QVERIFY(blank.save(pathOrUri));
        }
        if (message.contains("%1"))
            message = message.arg(pathOrUri);
    }
    m_portal->answerWith(answer, pathOrUri);

    scanExpecting({message}, QString());
    QCOMPARE(m_portal->requests(), 1);
}

// A desktop that never answers: the station gives up after its time, says
// so, and takes its question back.
void TestScanScreenPortal::portalThatNeverAnswersTimesOut()
{
    m_portal->answerWith(FakeScreenshotPortal::Answer::Silent);
    m_window->setScreenPortalTimeout(300);

    scanExpecting(
        {"The desktop did not answer the request to read the screen within 1 s.\n" + kUseAFile},
        QString());
    QTRY_COMPARE(m_portal->closes(), 1);
}

// While the desktop asks its user, the station's windows keep painting: the
// portal here answers only once a window has painted after the request came
// in, so a frozen window would end in the time-out instead.
void TestScanScreenPortal::windowKeepsPaintingWhileTheDesktopAsks()
{
    PaintProbe probe;
    probe.resize(100, 100);
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));

    bool answered = false;
    m_portal->answerWith(FakeScreenshotPortal::Answer::Silent);
    connect(m_portal.get(), &FakeScreenshotPortal::requested, &probe, [&probe] { probe.update(); });
    probe.painted = [&] {
        if (m_portal->requests() == 1 && !answered) {
            answered = true;
            m_portal->answerNow(m_codePath);
        }
    };
    m_window->setScreenPortalTimeout(60000);

    scanExpecting({}, kSecret);
    QVERIFY(answered);
}

// A bus on which nothing answers for the portal: the station says, as
// before, that this desktop keeps the screen to itself.
void TestScanScreenPortal::withoutPortalTheOldMessageStays()
{
    m_portal->stop();
    // The whole screen one flat colour, as XWayland's copy of a Wayland
    // desktop is: a window reaching past every edge, so that neither its
    // frame nor the offscreen platform's undrawn ground shows.
    QWidget blank;
    blank.setAutoFillBackground(true);
    blank.setPalette(QPalette(Qt::black));
    blank.setGeometry(QGuiApplication::primaryScreen()->geometry().adjusted(-10, -10, 10, 10));
    blank.show();
    QVERIFY(QTest::qWaitForWindowExposed(&blank));

    scanExpecting({kNoScreenAccess}, QString());
}

// The bus must exist before the application's first D-Bus call.
int main(int argc, char** argv)
{
    PrivateSessionBus bus;
    if (const QString error = bus.start(); !error.isEmpty()) {
        std::fprintf(stderr, "cannot start a session bus for this test: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    qunsetenv("WAYLAND_DISPLAY");

    QApplication app(argc, argv);
    TestScanScreenPortal test(bus.address());
    return QTest::qExec(&test, argc, argv);
}

#include "TestScanScreenPortal.moc"
