// The window as a production line: every reader with its own line, and each
// token presented programmed without a press.
#include "PskcReaders.h"
#include "StationUnderTest.h"
#include "tests/support/BackgroundWorkDone.h"

#include <QComboBox>
#include <QFile>
#include <QStandardItemModel>
#include <set>

namespace {

QLabel* OutcomeLabel(const StationUnderTest& station)
{
    return station.child<QLabel>("outcomeText");
}

QColor OutcomeBackground(const StationUnderTest& station)
{
    return OutcomeLabel(station)->palette().color(QPalette::Window);
}

void CheckAutoProgramming(StationUnderTest& station, bool on)
{
    auto* check = station.child<QCheckBox>("autoProgramCheck");
    if (check->isChecked() != on)
        QTest::mouseClick(check, Qt::LeftButton);
}

// serial -> seed text, from the Base32 export file.
std::map<QString, QString> RecordedSeeds(const StationUnderTest& station)
{
    std::map<QString, QString> seeds;
    for (const QString& line : station.exportLines(".b32.csv"))
        seeds[line.section(',', 0, 0)] = line.section(',', 1);
    return seeds;
}

} // namespace

// Two readers, tokens presented and lifted on each in turn: each line counts
// its own tokens, every token holds a seed of its own and its record says
// so. A reader connected after auto-programming was turned on gets it too,
// and a timing changed meanwhile applies to the next tokens.
TEST(ProductionLine, TwoReadersProgramEachTokenPresented)
{
    StationUnderTest station(1);
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    QTest::keyClicks(station.child<QLineEdit>("userNameEdit"), "line@example.org");
    station.child<QRadioButton>("step60Radio")->setChecked(true);
    ASSERT_TRUE(station.connectTo(0));
    CheckAutoProgramming(station, true);
    ASSERT_TRUE(station.connectTo(1)); // after: it gets auto-programming as it connects

    struct Presented
    {
        std::shared_ptr<VirtualToken> token;
        int slot;
        int timeStep;
    };
    std::vector<Presented> tokens;
    auto presentAndWait = [&](const std::string& serial, int slot, const QString& counters,
                              int timeStep) {
        auto token = StationUnderTest::Token(serial);
        ASSERT_TRUE(station.present(token, slot)) << serial;
        ASSERT_TRUE(StationUnderTest::waitFor([&] {
            return station.lineCounters(slot) == counters;
        })) << serial
            << ": " << station.lineCounters(slot).toStdString();
        // The outcome comes after the counters.
        const QString outcome =
            QString::fromStdString("Programmed " + serial + " on " + station.pcsc.readerName(slot));
        EXPECT_TRUE(StationUnderTest::waitFor([&] {
            return OutcomeLabel(station)->text() == outcome;
        })) << OutcomeLabel(station)->text().toStdString();
        ASSERT_TRUE(station.lift(slot));
        tokens.push_back({token, slot, timeStep});
    };
    presentAndWait("PL0001", 0, "1/1/0", 60);
    presentAndWait("PL0002", 1, "1/1/0", 60);
    station.child<QRadioButton>("step30Radio")->setChecked(true); // re-applied to both lines
    presentAndWait("PL0003", 0, "2/2/0", 30);
    presentAndWait("PL0004", 1, "2/2/0", 30);

    EXPECT_EQ(station.counters(), "4/4/0");
    EXPECT_EQ(OutcomeBackground(station), QColor(0x4c, 0xc2, 0x4c)); // green
    EXPECT_TRUE(station.op.recorded.texts().isEmpty());              // a success asks nothing
    const std::map<QString, QString> recorded = RecordedSeeds(station);
    ASSERT_EQ(recorded.size(), 4u);
    std::set<std::vector<uint8_t>> seeds;
    for (const Presented& presented : tokens) {
        const VirtualTokenState state = presented.token->state();
        const QString serial = QString::fromStdString(state.serial);
        ASSERT_TRUE(recorded.count(serial)) << state.serial;
        EXPECT_EQ(recorded.at(serial).size(), 32) << state.serial;
        EXPECT_EQ(state.seed, StationUnderTest::SeedBytes(recorded.at(serial))) << state.serial;
        EXPECT_EQ(state.timeStep, presented.timeStep) << state.serial;
        seeds.insert(state.seed);
    }
    EXPECT_EQ(seeds.size(), 4u);
    EXPECT_TRUE(station.seedShown().isEmpty()); // a random seed is never shown

    // Newest on top, each row naming its token, user and reader.
    ASSERT_TRUE(station.waitForRows(4));
    for (int row = 0; row < 4; ++row) {
        const Presented& presented = tokens[3 - row];
        EXPECT_EQ(
            station.logRow(row).mid(1),
            (QStringList{QString::fromStdString(presented.token->state().serial),
                         "line@example.org", "Succeeded", station.readerName(presented.slot)}));
    }
}

// Off, a token presented is only read; on, a token already on the reader
// is left alone, and the next one presented is programmed.
TEST(ProductionLine, AutoOffOnlyReads)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto read = StationUnderTest::Token("PR0001");
    ASSERT_TRUE(station.present(read));
    CheckAutoProgramming(station, true);
    // The station sees the lift only after whatever it did with the token.
    ASSERT_TRUE(station.lift());
    EXPECT_TRUE(read->state().seed.empty());
    EXPECT_FALSE(read->state().configured);
    EXPECT_EQ(station.lineCounters(0), "0/0/0");

    CheckAutoProgramming(station, false);
    ASSERT_TRUE(station.present(read));
    ASSERT_TRUE(station.lift());
    EXPECT_TRUE(read->state().seed.empty());
    EXPECT_EQ(station.counters(), "0/0/0");
    EXPECT_TRUE(station.attemptRows().isEmpty());
    EXPECT_TRUE(OutcomeLabel(station)->text().isEmpty());
}

// The seed file by serial number: a listed token gets its own seed; one
// the file does not list is refused, told in a message that holds the
// reader until answered, and shown red on the status line.
TEST(ProductionLine, SeedFileSourceRefusesATokenTheFileDoesNotList)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    auto* source = station.child<QComboBox>("autoSourceCombo");
    auto* model = qobject_cast<QStandardItemModel*>(source->model());
    EXPECT_FALSE(model->item(2)->isEnabled()); // no seed file yet

    const QString path = QDir(station.data.path()).filePath("seeds.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("PS0001,JBSWY3DPEHPK3PXP\r\nPS0002,GEZDGNBVGY3TQOJQ\r\n");
    file.close();
    station.op.recorded.answerNextFileDialog(path);
    QTest::mouseClick(station.child<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return BackgroundWorkDone(station.window.get()); }));
    ASSERT_TRUE(model->item(2)->isEnabled());
    source->setCurrentIndex(2);
    ASSERT_TRUE(station.connectTo(0));
    CheckAutoProgramming(station, true);

    auto listed = StationUnderTest::Token("PS0002");
    ASSERT_TRUE(station.present(listed));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.lineCounters(0) == "1/1/0"; }));
    EXPECT_EQ(listed->state().seed, StationUnderTest::SeedBytes("GEZDGNBVGY3TQOJQ"));
    EXPECT_TRUE(StationUnderTest::waitFor([&] {
        return OutcomeLabel(station)->text() == "Programmed PS0002 on " + station.readerName(0);
    }));
    ASSERT_TRUE(station.lift());

    auto unlisted = StationUnderTest::Token("PS0009");
    ASSERT_TRUE(station.present(unlisted));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.lineCounters(0) == "2/1/1"; }));
    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return OutcomeLabel(station)->text().startsWith("Failed"); }));
    EXPECT_EQ(OutcomeLabel(station)->text(),
              "Failed PS0009: Token PS0009 is not in the seed file; it was not programmed.");
    EXPECT_EQ(OutcomeBackground(station), QColor(0xe8, 0x3b, 0x3b)); // red
    EXPECT_TRUE(unlisted->state().seed.empty());
    // The one message, answered by the operator, names token, reader and reason.
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.op.recorded.texts().size() == 1; }));
    const QString message = station.op.recorded.texts().first();
    EXPECT_TRUE(message.contains("PS0009") && message.contains(station.readerName(0)) &&
                message.contains("not in the seed file"))
        << message.toStdString();
    EXPECT_EQ(station.logRow(0).mid(1),
              (QStringList{"PS0009", "", "Failed", station.readerName(0)}));
}

// Export PSKC: the set gets its PSKC document beside the CSV files, one the
// independent readers accept, holding the seed the token holds.
TEST(ProductionLine, BurnWithExportPskcDeliversThePskcDocument)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    station.child<QCheckBox>("pskcCheck")->setChecked(true);
    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("PK0001");
    ASSERT_TRUE(station.present(token));
    station.setSeed("JBSWY3DPEHPK3PXP");
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/1/0"; }));

    const QStringList files = QDir(station.data.path()).entryList({"*.pskc.xml"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    PskcRecord record;
    record.serialNumber = "PK0001";
    const std::vector<uint8_t> seed = token->state().seed;
    record.seed = ByteString(seed.data(), seed.size());
    record.algorithm = "SHA1";
    ExpectDocumentHolds(QDir(station.data.path()).filePath(files.first()), {record});
}
