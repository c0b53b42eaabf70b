// Seed files and pictures are read off the window's thread: the window keeps
// turning, Cancel leaves things as they were, closing the window stops the
// work, and nothing that is not a regular file blocks.
#include "BackgroundWorkDone.h"
#include "MainWindow.h"
#include "QrCodeImages.h"
#include "RecordingOperator.h"
#include "qr/GreyPicture.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <future>
#include <sys/stat.h>

namespace {

const QString kSecret = "JBSWY3DPEHPK3PXP";
const QString kEarlierSeed = "MZXW6===";
constexpr int kBigFileLines = 300'000;
constexpr int kLongWaitMs = 120'000; // the thread-sanitizer build reads slowly

// Holds the worker back, before it starts, until the test lets it go: what
// the test sees meanwhile happened while the work was still to be done.
class WorkerGate
{
public:
    explicit WorkerGate(BackgroundWork& work)
    {
        std::shared_future<void> opened = m_open.get_future().share();
        work.setWorkerStartHook([opened] { opened.wait(); });
    }
    void open() { m_open.set_value(); }

private:
    std::promise<void> m_open;
};

} // namespace

class TestBackgroundLoading : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void bigSeedFileLoadsWhileTheWindowTurns();
    void cancelKeepsThePreviousSeedFile();
    void closingTheWindowStopsTheLoad();
    void pictureIsSearchedWhileTheWindowTurns();
    void fifoGivesItsMessageWithoutBlocking_data();
    void fifoGivesItsMessageWithoutBlocking();

private:
    BackgroundWork& work() { return *m_window->findChild<BackgroundWork*>(); }
    QString seedEditText() const { return m_window->findChild<QLineEdit*>("seedEdit")->text(); }
    QString shownPath() const { return m_window->findChild<QLabel*>("seedFilePathText")->text(); }
    QString writeSeedFile(const QString& name, int lines);
    QString seedOfToken(const QString& serialNumber);
    void loadEarlierSeedFile();

    QTemporaryDir m_folder;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
    QString m_earlierPath;
};

void TestBackgroundLoading::init()
{
    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_folder.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestBackgroundLoading::cleanup()
{
    m_window.reset();
}

// Token ZP0000001 and on, each with the same seed; the big file's last token
// is the proof that the whole file arrived.
QString TestBackgroundLoading::writeSeedFile(const QString& name, int lines)
{
    QByteArray bytes;
    bytes.reserve(lines * 28);
    for (int line = 1; line <= lines; ++line)
        bytes += "ZP" + QByteArray::number(line).rightJustified(7, '0') + "," + kSecret.toLatin1() +
                 "\n";
    const QString path = m_folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The seed the window places for a token on the reader; empty: none.
QString TestBackgroundLoading::seedOfToken(const QString& serialNumber)
{
    m_window->setSeedText(QString());
    m_window->texts().update([&](WindowTexts& texts) { texts.serialNumber = serialNumber; });
    m_window->selectSeedForSerial();
    return seedEditText();
}

void TestBackgroundLoading::loadEarlierSeedFile()
{
    m_earlierPath = m_folder.filePath("earlier.csv");
    QFile file(m_earlierPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ZP9999999," + kEarlierSeed.toLatin1() + "\n");
    file.close();
    m_operator.answerNextFileDialog(m_earlierPath);
    m_window->loadSeedFile();
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QCOMPARE(m_operator.texts(), QStringList());
}

void TestBackgroundLoading::bigSeedFileLoadsWhileTheWindowTurns()
{
    const QString path = writeSeedFile("big.csv", kBigFileLines);
    WorkerGate gate(work());
    bool servedWhileBusy = false;
    // Served by the window's event loop after the command has returned; only
    // then may the worker start.
    QTimer::singleShot(0, this, [&] {
        servedWhileBusy = work().busy();
        gate.open();
    });
    m_operator.answerNextFileDialog(path);
    QTest::mouseClick(m_window->findChild<QPushButton*>("loadSeedFileButton"), Qt::LeftButton);
    QVERIFY(work().busy());

    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), kLongWaitMs);
    QVERIFY(servedWhileBusy);
    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(shownPath(), path);
    QCOMPARE(seedOfToken("ZP0300000"), kSecret);
    QCOMPARE(seedOfToken("ZP0300001"), QString());
}

// The operator's Cancel is no failure: no message, and the file loaded
// before still gives its seeds.
void TestBackgroundLoading::cancelKeepsThePreviousSeedFile()
{
    loadEarlierSeedFile();
    const QString path = writeSeedFile("big.csv", kBigFileLines);
    WorkerGate gate(work());
    m_operator.answerNextFileDialog(path);
    m_window->loadSeedFile();

    QProgressDialog* progress = nullptr;
    QTRY_VERIFY((progress = m_window->findChild<QProgressDialog*>()) && progress->isVisible());
    QVERIFY(progress->isModal());
    auto* cancel = progress->findChild<QPushButton*>();
    QVERIFY(cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    gate.open();

    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), kLongWaitMs);
    QCOMPARE(m_operator.texts(), QStringList());
    QVERIFY(!m_window->findChild<QProgressDialog*>());
    QCOMPARE(shownPath(), m_earlierPath);
    QCOMPARE(seedOfToken("ZP9999999"), kEarlierSeed);
    QCOMPARE(seedOfToken("ZP0000001"), QString());
}

// Closing the window while a file loads stops the load and waits for it,
// serving the window's events meanwhile; nothing is shown or applied.
void TestBackgroundLoading::closingTheWindowStopsTheLoad()
{
    loadEarlierSeedFile();
    const QString path = writeSeedFile("big.csv", kBigFileLines);
    WorkerGate gate(work());
    m_operator.answerNextFileDialog(path);
    m_window->loadSeedFile();
    QVERIFY(work().busy());

    // Served only while the window waits for its worker.
    bool servedWhileClosing = false;
    QTimer::singleShot(0, this, [&] {
        servedWhileClosing = work().busy();
        gate.open();
    });
    m_window->reject();

    QVERIFY(servedWhileClosing);
    QVERIFY(BackgroundWorkDone(m_window.get()));
    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(shownPath(), m_earlierPath);
    QCOMPARE(seedOfToken("ZP0000001"), QString());
}

void TestBackgroundLoading::pictureIsSearchedWhileTheWindowTurns()
{
    const QString path = m_folder.filePath("code.png");
    QVERIFY(QrCodeImage("otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP").save(path));
    m_window->setSeedText(kEarlierSeed);
    m_operator.clear();
    WorkerGate gate(work());
    bool servedWhileBusy = false;
    QTimer::singleShot(0, this, [&] {
        servedWhileBusy = work().busy();
        gate.open();
    });
    m_operator.answerNextFileDialog(path);
    m_window->loadImageFile();
    QCOMPARE(seedEditText(), QString()); // emptied at once, as before

    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), kLongWaitMs);
    QVERIFY(servedWhileBusy);
    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(m_operator.beeps(), 1);
    QCOMPARE(seedEditText(), kSecret);
    QCOMPARE(shownPath(), path);
}

void TestBackgroundLoading::fifoGivesItsMessageWithoutBlocking_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("seed file") << "seeds.csv"
                               << "Failed to load seed file!\nIt is not a regular file.";
    QTest::newRow("picture") << "code.png"
                             << QString::fromStdString(
                                    PictureStatusMessage(PictureStatus::NotRegularFile));
}

// Nobody writes to the FIFO: a reader that opened it would wait forever.
void TestBackgroundLoading::fifoGivesItsMessageWithoutBlocking()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    const QString path = m_folder.filePath(name);
    QFile::remove(path);
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    m_operator.answerNextFileDialog(path);
    if (name.endsWith(".csv"))
        m_window->loadSeedFile();
    else
        m_window->loadImageFile();

    QTRY_VERIFY_WITH_TIMEOUT(BackgroundWorkDone(m_window.get()), kLongWaitMs);
    QCOMPARE(m_operator.texts(), QStringList{message});
    QCOMPARE(m_operator.messages().front().caption, QString("ERROR"));
    QCOMPARE(seedEditText(), QString());
    QVERIFY(m_window->findChild<QLabel*>("seedFileLabel")->isHidden());
}

QTEST_MAIN(TestBackgroundLoading)
#include "TestBackgroundLoading.moc"
