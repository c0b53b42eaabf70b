#include "DecoderMessage.h"
#include "otp/CodePreviewDialog.h"
#include "seed/Base32.h"

#include <QLabel>
#include <QTreeWidget>
#include <QtTest>
#include <stdexcept>

namespace {

// RFC 6238's keys: 20 bytes for SHA1, 32 bytes for SHA256.
const QString kSha1Seed = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
const QString kSha256Seed = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZA====";

} // namespace

class TestOtpPreviewDialog : public QObject
{
    Q_OBJECT

private slots:
    void listsTwentyOneStepsAroundNow_data();
    void listsTwentyOneStepsAroundNow();
    void refusedSeedListsNothingAndGivesTheDecodersMessage_data();
    void refusedSeedListsNothingAndGivesTheDecodersMessage();
    void enterAndEscCloseTheDialog();
};

void TestOtpPreviewDialog::listsTwentyOneStepsAroundNow_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<QString>("presentCode");
    QTest::addColumn<QString>("caption");

    // RFC 6238 Appendix B values cut to six digits; the first two keep a
    // leading zero.
    QTest::newRow("SHA1 30s") << kSha1Seed << 30 << int(OtpAlgorithm::Sha1) << qint64(1111111109)
                              << "081804"
                              << "SHA1, 30 s time step";
    QTest::newRow("SHA256 30s") << kSha256Seed << 30 << int(OtpAlgorithm::Sha256)
                                << qint64(1111111109) << "084774"
                                << "SHA256, 30 s time step";
    QTest::newRow("SHA1 60s") << kSha1Seed << 60 << int(OtpAlgorithm::Sha1) << qint64(1234567890)
                              << "713351"
                              << "SHA1, 60 s time step";
    QTest::newRow("SHA256 60s") << kSha256Seed << 60 << int(OtpAlgorithm::Sha256)
                                << qint64(1234567890) << "450756"
                                << "SHA256, 60 s time step";
}

void TestOtpPreviewDialog::listsTwentyOneStepsAroundNow()
{
    QFETCH(QString, seed);
    QFETCH(int, step);
    QFETCH(int, algorithm);
    QFETCH(qint64, now);
    QFETCH(QString, presentCode);
    QFETCH(QString, caption);

    CodePreviewDialog dialog(seed, step, 6, OtpAlgorithm(algorithm));
    QCOMPARE(dialog.FillCodeList(now), QString());
    QCOMPARE(dialog.windowTitle(), QString("One-Time Password"));
    QCOMPARE(dialog.findChild<QLabel*>("otpCaption")->text(), caption);

    auto* list = dialog.findChild<QTreeWidget*>("otpList");
    QCOMPARE(list->topLevelItemCount(), 21);
    for (int row = 0; row < 21; ++row)
        QCOMPARE(list->topLevelItem(row)->text(0), QString::number((row - 10) * step));

    QTreeWidgetItem* present = list->topLevelItem(10);
    QCOMPARE(present->text(1), presentCode);
    QCOMPARE(list->currentItem(), present);
    QCOMPARE(list->selectedItems(), QList<QTreeWidgetItem*>{present});

    // Each row is the code of its own step: the row one step back, computed a
    // step later, is the same code.
    CodePreviewDialog later(seed, step, 6, OtpAlgorithm(algorithm));
    QCOMPARE(later.FillCodeList(now + step), QString());
    QCOMPARE(later.findChild<QTreeWidget*>("otpList")->topLevelItem(9)->text(1), presentCode);
}

void TestOtpPreviewDialog::refusedSeedListsNothingAndGivesTheDecodersMessage_data()
{
    QTest::addColumn<QString>("seed");
    QTest::newRow("space") << "GEZDGNBV GY3TQOJQ";
    QTest::newRow("digit 0") << "GEZDGNB0";
    QTest::newRow("digit 8") << "GEZDGNB8";
    QTest::newRow("lower case") << "gezdgnbv";
    QTest::newRow("seven pad characters") << "G=======";
}

void TestOtpPreviewDialog::refusedSeedListsNothingAndGivesTheDecodersMessage()
{
    QFETCH(QString, seed);
    const QString expected = DecoderMessage(seed);
    QVERIFY2(!expected.isEmpty(), "the decoder should refuse this seed");

    CodePreviewDialog dialog(seed, 30, 6, OtpAlgorithm::Sha1);
    QCOMPARE(dialog.FillCodeList(1111111109), expected);
    QCOMPARE(dialog.findChild<QTreeWidget*>("otpList")->topLevelItemCount(), 0);
}

void TestOtpPreviewDialog::enterAndEscCloseTheDialog()
{
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        CodePreviewDialog dialog(kSha1Seed, 30, 6, OtpAlgorithm::Sha1);
        QCOMPARE(dialog.FillCodeList(1111111109), QString());
        dialog.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(dialog.findChild<QTreeWidget*>("otpList"), Qt::Key(key));
        QTRY_VERIFY(!dialog.isVisible());
    }
}

QTEST_MAIN(TestOtpPreviewDialog)
#include "TestOtpPreviewDialog.moc"
