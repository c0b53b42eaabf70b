#include "DecoderMessage.h"
#include "MainWindow.h"
#include "OtpPreviewProbe.h"
#include "RecordingOperator.h"
#include "otp/CodePreviewDialog.h"
#include "otp/CodeWindow.h"
#include "seed/Base32.h"
#include "seed/SeedText.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

namespace {

QStringList ExpectedCodes(const QString& canonicalSeed, qint64 now, int step,
                          OtpAlgorithm algorithm)
{
    const ByteString key = DecodeBase32(canonicalSeed.toStdString());
    QStringList codes;
    for (const CodeRow& row : ComputeCodeWindow(key, now, step, 6, algorithm))
        codes << QString::fromStdString(FormatCode(row.code, 6));
    return codes;
}

} // namespace

class TestOtpPreviewCommand : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void previewFollowsTheWindowsChoices_data();
    void previewFollowsTheWindowsChoices();
    void emptySeedOpensNothing();
    void refusedSeedShowsTheDecodersMessageAndOpensNothing();

private:
    void typeSeed(const QString& text);

    QTemporaryDir m_data;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
};

void TestOtpPreviewCommand::init()
{
    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_data.path());
    m_window->show();
}

void TestOtpPreviewCommand::cleanup()
{
    m_window.reset();
}

void TestOtpPreviewCommand::typeSeed(const QString& text)
{
    QTest::mouseClick(m_window->findChild<QPushButton*>("editButton"), Qt::LeftButton);
    auto* edit = m_window->findChild<QLineEdit*>("seedEdit");
    edit->clear();
    QTest::keyClicks(edit, text);
}

void TestOtpPreviewCommand::previewFollowsTheWindowsChoices_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("canonical");
    QTest::addColumn<QString>("stepRadio");
    QTest::addColumn<QString>("algorithmRadio");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("algorithm");

    const QString seed = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
    QTest::newRow("SHA1 30s") << seed << seed << "step30Radio"
                              << "sha1Radio" << 30 << int(OtpAlgorithm::Sha1);
    QTest::newRow("SHA256 30s") << seed << seed << "step30Radio"
                                << "sha256Radio" << 30 << int(OtpAlgorithm::Sha256);
    QTest::newRow("SHA1 60s") << seed << seed << "step60Radio"
                              << "sha1Radio" << 60 << int(OtpAlgorithm::Sha1);
    QTest::newRow("SHA256 60s") << seed << seed << "step60Radio"
                                << "sha256Radio" << 60 << int(OtpAlgorithm::Sha256);
    // Typed the way people copy seeds: lower case in groups, unpadded.
    QTest::newRow("lower case with dashes") << "gezd-gnbv-gy3t-qojq-gezd-g"
                                            << "GEZDGNBVGY3TQOJQGEZDG==="
                                            << "step30Radio"
                                            << "sha1Radio" << 30 << int(OtpAlgorithm::Sha1);
}

void TestOtpPreviewCommand::previewFollowsTheWindowsChoices()
{
    QFETCH(QString, typed);
    QFETCH(QString, canonical);
    QFETCH(QString, stepRadio);
    QFETCH(QString, algorithmRadio);
    QFETCH(int, step);
    QFETCH(int, algorithm);

    typeSeed(typed);
    QTest::mouseClick(m_window->findChild<QRadioButton*>(stepRadio), Qt::LeftButton);
    QTest::mouseClick(m_window->findChild<QRadioButton*>(algorithmRadio), Qt::LeftButton);

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const PreviewSeen seen = PressTest(*m_window);
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    QVERIFY(seen.opened);
    QVERIFY(m_operator.messages().empty());
    QCOMPARE(seen.caption, QString("%1, %2 s time step")
                               .arg(algorithm == int(OtpAlgorithm::Sha256) ? "SHA256" : "SHA1")
                               .arg(step));
    QCOMPARE(seen.offsets.size(), 21);
    QCOMPARE(seen.offsets.first(), QString::number(-10 * step));
    QCOMPARE(seen.offsets.last(), QString::number(10 * step));
    QCOMPARE(seen.currentRow, 10);
    // The clock was read once, somewhere between the two readings here.
    const QStringList early = ExpectedCodes(canonical, before, step, OtpAlgorithm(algorithm));
    const QStringList late = ExpectedCodes(canonical, after, step, OtpAlgorithm(algorithm));
    QVERIFY2(seen.codes == early || seen.codes == late, qPrintable(seen.codes.join(' ')));
    // The edit keeps what the operator typed.
    QCOMPARE(m_window->findChild<QLineEdit*>("seedEdit")->text(), typed);
}

void TestOtpPreviewCommand::emptySeedOpensNothing()
{
    for (const QString& typed : {QString(), QString("-"), QString("--")}) {
        typeSeed(typed);
        QVERIFY(!PressTest(*m_window).opened);
        QVERIFY(m_operator.messages().empty());
    }
}

void TestOtpPreviewCommand::refusedSeedShowsTheDecodersMessageAndOpensNothing()
{
    for (const QString& typed : {QString("GEZDGNB0"), QString("GEZD GNBV"), QString("GEZ=GNBV")}) {
        m_operator.clear();
        typeSeed(typed);
        QVERIFY(!PressTest(*m_window).opened);
        const auto messages = m_operator.messages();
        QCOMPARE(messages.size(), size_t(1));
        QCOMPARE(messages[0].text, DecoderMessage(NormalizeSeedText(typed)));
        QCOMPARE(messages[0].caption, QString("ERROR"));
    }
}

QTEST_MAIN(TestOtpPreviewCommand)
#include "TestOtpPreviewCommand.moc"
