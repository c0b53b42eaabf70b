#include "BackgroundWorkDone.h"
#include "MainWindow.h"
#include "QrCodeImages.h"
#include "RecordingOperator.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kSecret = "JBSWY3DPEHPK3PXP";
const std::string kOtpauth = "otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP&issuer=Station";

const QString kIncorrectFile = "Incorrect QR code file!";
const QString kDecodeFailed = "QR : Failed to decode!";

} // namespace

class TestQrImportCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loadImageFilePlacesTheSecret_data();
    void loadImageFilePlacesTheSecret();
    void failedLoadShowsItsMessagesAndLeavesTheSeedEmpty_data();
    void failedLoadShowsItsMessagesAndLeavesTheSeedEmpty();
    void cancelledDialogEmptiesTheSeedQuietly();
    void rasterWithoutPixelsIsRefused();

private:
    // format: as Qt names it, or "GIF"; by default the name's suffix decides.
    QString save(const QImage& picture, const QString& name, const char* format = nullptr);
    QString seedEditText() const { return m_window->findChild<QLineEdit*>("seedEdit")->text(); }
    void placeSeedBeforehand();

    QTemporaryDir m_folder;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
};

void TestQrImportCommands::init()
{
    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_folder.path());
    m_window->show();
}

void TestQrImportCommands::cleanup()
{
    m_window.reset();
}

QString TestQrImportCommands::save(const QImage& picture, const QString& name, const char* format)
{
    const QString path = m_folder.filePath(name);
    const bool gif = format ? qstrcmp(format, "GIF") == 0 : name.endsWith(".gif");
    const bool saved = gif ? SaveAsGif(picture, path) : picture.save(path, format);
    return saved ? path : QString();
}

// An earlier seed, so that a test can see the command empty it.
void TestQrImportCommands::placeSeedBeforehand()
{
    m_window->setSeedText("MFRGGZDFMZTWQ2LK");
    m_operator.clear();
}

void TestQrImportCommands::loadImageFilePlacesTheSecret_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("seed");

    const QImage code = QrCodeImage(kOtpauth);
    QTest::newRow("PNG") << code << "code.png"
                         << "PNG" << kSecret;
    QTest::newRow("JPEG") << code << "code.jpg"
                          << "JPG" << kSecret;
    QTest::newRow("BMP") << code << "code.bmp"
                         << "BMP" << kSecret;
    QTest::newRow("GIF") << code << "code.gif"
                         << "GIF" << kSecret;
    // The file's contents decide, not its name.
    QTest::newRow("PNG named .jpg") << code << "really-a-png.jpg"
                                    << "PNG" << kSecret;
    QTest::newRow("GIF without a suffix") << code << "code"
                                          << "GIF" << kSecret;
    QTest::newRow("lower-case secret kept as written")
        << QrCodeImage("otpauth://totp/x?secret=jbswy3dpehpk3pxp") << "lower.png"
        << "PNG"
        << "jbswy3dpehpk3pxp";
    QTest::newRow("light on dark") << Inverted(code) << "dark.png"
                                   << "PNG" << kSecret;
    QTest::newRow("web address beside it")
        << PicturesInRow({QrCodeImage("https://example.org/enrol"), code}) << "two.png"
        << "PNG" << kSecret;
}

void TestQrImportCommands::loadImageFilePlacesTheSecret()
{
    QFETCH(QImage, picture);
    QFETCH(QString, name);
    QFETCH(QString, format);
    QFETCH(QString, seed);

    const QString path = save(picture, name, format.toLatin1().constData());
    QVERIFY(!path.isEmpty());
    placeSeedBeforehand();
    m_operator.answerNextFileDialog(path);

    m_window->loadImageFile();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(m_operator.beeps(), 1);
    QCOMPARE(seedEditText(), seed);
    QVERIFY(m_window->findChild<QPushButton*>("testButton")->isEnabled());
    // The picture's path is shown where a seed file's would be.
    QVERIFY(m_window->findChild<QLabel*>("seedFileLabel")->isVisible());
    QVERIFY(m_window->findChild<QLabel*>("seedFilePathText")->isVisible());
    QCOMPARE(m_window->findChild<QLabel*>("seedFilePathText")->text(), path);
    QVERIFY(m_operator.filters().last().startsWith("PNG Files (*.png);;JPG Files (*.jpg"));
}

void TestQrImportCommands::failedLoadShowsItsMessagesAndLeavesTheSeedEmpty_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no code") << "blank.png" << QStringList{kIncorrectFile};
    QTest::newRow("only a web address") << "web.png" << QStringList{kIncorrectFile};
    QTest::newRow("otpauth without a secret") << "nosecret.png" << QStringList{kIncorrectFile};
    QTest::newRow("damaged code") << "damaged.png" << QStringList{kDecodeFailed, kIncorrectFile};
    QTest::newRow("not a picture") << "notes.png" << QStringList{kIncorrectFile};
    QTest::newRow("missing file") << "missing.png" << QStringList{kIncorrectFile};
}

void TestQrImportCommands::failedLoadShowsItsMessagesAndLeavesTheSeedEmpty()
{
    QFETCH(QString, fileName);
    QFETCH(QStringList, messages);

    QImage blank(200, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    save(blank, "blank.png");
    save(QrCodeImage("https://example.org/enrol"), "web.png");
    save(QrCodeImage("otpauth://totp/Station:alice?issuer=Station"), "nosecret.png");
    save(DamagedCode(QrCodeImage(kOtpauth)), "damaged.png");
    QFile notes(m_folder.filePath("notes.png"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("secret=JBSWY3DPEHPK3PXP\n");
    notes.close();

    // A picture loaded earlier keeps its path on display.
    const QString earlier = save(QrCodeImage(kOtpauth), "earlier.png");
    m_operator.answerNextFileDialog(earlier);
    m_window->loadImageFile();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);
    placeSeedBeforehand();

    m_operator.answerNextFileDialog(m_folder.filePath(fileName));
    m_window->loadImageFile();
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), messages);
    for (const auto& message : m_operator.messages())
        QCOMPARE(message.caption, QString("ERROR"));
    QCOMPARE(m_operator.beeps(), 0);
    QCOMPARE(seedEditText(), QString());
    QVERIFY(!m_window->findChild<QPushButton*>("testButton")->isEnabled());
    QCOMPARE(m_window->findChild<QLabel*>("seedFilePathText")->text(), earlier);
}

void TestQrImportCommands::cancelledDialogEmptiesTheSeedQuietly()
{
    placeSeedBeforehand();
    m_window->loadImageFile(); // no answer queued: the dialog is cancelled
    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), 60000);

    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(seedEditText(), QString());
    QVERIFY(!m_window->findChild<QLabel*>("seedFileLabel")->isVisible());
}

void TestQrImportCommands::rasterWithoutPixelsIsRefused()
{
    const uint8_t pixel = 0;
    for (auto [width, height] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-4, 4}}) {
        m_operator.clear();
        QVERIFY(!m_window->importSeedFromQr(&pixel, width, height));
        QCOMPARE(m_operator.texts(), QStringList{"QR : Failed to allocate video memory!"});
    }
}

QTEST_MAIN(TestQrImportCommands)
#include "TestQrImportCommands.moc"
