// The operator's check, end to end: a virtual token on a private pcscd reader
// is configured and given a seed through the token commands, and the code its
// display shows now is the preview's present row for the same seed and
// choices.
#include "MainWindow.h"
#include "OtpPreviewProbe.h"
#include "PcscFixture.h"
#include "RecordingOperator.h"
#include "engine/StationKey.h"
#include "seed/Base32.h"
#include "token/TokenSession.h"

#include <QDateTime>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <thread>

namespace {

// Keeps clear of a step boundary by this much on either side, so that the
// preview's clock and the token's clock read the same step.
constexpr int64_t kMarginSeconds = 2;

// Waits, if need be, until the present step has at least the margin left on
// both the computer's clock and the token's (which may be a second apart).
void WaitForRoomInTheStep(int64_t step, int64_t tokenOffset)
{
    for (;;) {
        const int64_t now = HostTimeNow();
        bool room = true;
        for (int64_t clock : {now, now + tokenOffset}) {
            const int64_t into = ((clock % step) + step) % step;
            room = room && into >= kMarginSeconds && step - into > kMarginSeconds;
        }
        if (room)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

} // namespace

class TestPreviewMatchesToken : public QObject
{
    Q_OBJECT

public:
    explicit TestPreviewMatchesToken(PcscFixture& pcsc) : m_pcsc(pcsc) {}

private slots:
    void initTestCase();
    void presentRowIsTheTokensDisplay_data();
    void presentRowIsTheTokensDisplay();

private:
    void programToken(const QString& seed, const char* algorithm, int step);

    PcscFixture& m_pcsc;
    std::shared_ptr<VirtualToken> m_token;
};

void TestPreviewMatchesToken::initTestCase()
{
    QVERIFY2(m_pcsc.ok(), m_pcsc.failure().c_str());
    m_token = std::make_shared<VirtualToken>(VirtualTokenSettings{.serial = "TK0042"});
    QVERIFY2(m_pcsc.insert(0, m_token), m_pcsc.failure().c_str());
}

// As Burn does: in one session, authenticate, configure with the computer's
// clock, and write the seed.
void TestPreviewMatchesToken::programToken(const QString& seed, const char* algorithm, int step)
{
    const std::string reader = m_pcsc.readerName(0);
    const std::string timeText =
        QDateTime::currentDateTimeUtc().toString("yyyy/MM/dd/HH/mm/ss").toStdString();
    TokenSession session;
    QCOMPARE(session.open(reader.c_str()), TOKEN_OK);
    QCOMPARE(session.authenticate(g_customerKey), TOKEN_OK);
    QCOMPARE(session.configure(g_customerKey, algorithm, step, 30, timeText.c_str(), 0), TOKEN_OK);

    uint8_t bytes[64] = {};
    const int32_t length = Base32ToBytes(seed.toLatin1().constData(), bytes, sizeof bytes);
    QVERIFY(length > 0);
    QCOMPARE(session.writeSeed(g_customerKey, bytes, length), TOKEN_OK);
}

void TestPreviewMatchesToken::presentRowIsTheTokensDisplay_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<QString>("algorithm");
    QTest::addColumn<int>("step");

    QTest::newRow("SHA1 30s") << "JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP"
                              << "SHA1" << 30;
    QTest::newRow("SHA1 60s") << "KRUGKIDROVUWG2ZAMJZG653OEBTG66BA"
                              << "SHA1" << 60;
    QTest::newRow("SHA256 30s")
        << "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"
        << "SHA256" << 30;
    QTest::newRow("SHA256 60s") << "MFRGGZDFMZTWQ2LKNNWG23TPOBYXE43UOV3HO6DZ"
                                << "SHA256" << 60;
}

void TestPreviewMatchesToken::presentRowIsTheTokensDisplay()
{
    QFETCH(QString, seed);
    QFETCH(QString, algorithm);
    QFETCH(int, step);

    programToken(seed, algorithm.toLatin1().constData(), step);
    const VirtualTokenState token = m_token->state();
    QCOMPARE(token.algorithm, algorithm == "SHA256" ? 2 : 1);
    QCOMPARE(token.timeStep, step);
    // Synchronised from this computer's clock a moment ago.
    QVERIFY2(std::abs(token.clockOffset) <= 1, qPrintable(QString::number(token.clockOffset)));

    QTemporaryDir data;
    RecordingOperator op;
    MainWindow window(op, data.path());
    window.show();
    window.setSeedText(seed);
    window.findChild<QRadioButton*>(step == 30 ? "step30Radio" : "step60Radio")->click();
    window.findChild<QRadioButton*>(algorithm == "SHA256" ? "sha256Radio" : "sha1Radio")->click();

    WaitForRoomInTheStep(step, token.clockOffset);
    const int64_t before = HostTimeNow();
    const PreviewSeen preview = PressTest(window);
    const int64_t after = HostTimeNow();
    QCOMPARE(before / step, after / step); // the margin held: one step throughout

    QVERIFY(preview.opened);
    QCOMPARE(preview.currentRow, 10);
    QCOMPARE(preview.codes.at(10), QString::fromStdString(m_token->displayedCode(before)));
    // Neighbouring rows are the codes the token shows one step earlier and later.
    QCOMPARE(preview.codes.at(9), QString::fromStdString(m_token->displayedCode(before - step)));
    QCOMPARE(preview.codes.at(11), QString::fromStdString(m_token->displayedCode(before + step)));
}

// The private PC/SC stack comes first: the client library reads where to find
// its daemon once, at the first call.
int main(int argc, char** argv)
{
    PcscFixture pcsc;
    if (!pcsc.ok()) {
        std::fprintf(stderr, "cannot start the private pcscd: %s\n", pcsc.failure().c_str());
        return 1;
    }
    QApplication app(argc, argv);
    TestPreviewMatchesToken test(pcsc);
    return QTest::qExec(&test, argc, argv);
}

#include "TestPreviewMatchesToken.moc"
