// The operator's road: tokens presented one after another, one Burn each,
// each found afterwards holding exactly what the window said it wrote.
#include "StationUnderTest.h"

#include <QFile>
#include <cstdlib>

namespace {

const QString kProgrammed = QStringLiteral("Token successfully programmed!");

QString ToHex(const std::vector<uint8_t>& bytes)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size()))
                                   .toHex()
                                   .toUpper());
}

} // namespace

TEST(OperatorsRoad, ThreeTokensOneAfterAnother)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    EXPECT_FALSE(station.burnButton()->isEnabled()); // no token, no seed

    station.child<QCheckBox>("exportCheck")->setChecked(true);
    station.child<QLineEdit>("userNameEdit")->setText("ana@example.org");

    // First token: a random seed, the starting choices (SHA1, 30 s, 30 s).
    auto first = StationUnderTest::Token("ZP10000001");
    ASSERT_TRUE(station.present(first)) << station.pcsc.failure();
    EXPECT_EQ(station.text("tipsText"), "Token or card detected");
    EXPECT_EQ(station.text("tokenClockText").size(), 19);
    EXPECT_EQ(station.text("computerClockText").size(), 19);
    QTest::mouseClick(station.child<QWidget>("randomButton"), Qt::LeftButton);
    const QString firstSeed = station.seedShown();
    ASSERT_EQ(firstSeed.size(), 32);

    // The order of a success: export record and log row before the message,
    // the counters after it.
    int rowsAtMessage = -1;
    QString successAtMessage;
    qsizetype exportLinesAtMessage = -1;
    station.op.whenShown = [&](const QString& text) {
        if (text != kProgrammed)
            return;
        rowsAtMessage = station.attemptRows().size();
        successAtMessage = station.text("successCount");
        exportLinesAtMessage = station.exportLines(".b32.csv").size();
    };
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(station.waitForRows(1));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/1/0"; }));
    EXPECT_EQ(rowsAtMessage, 1);
    EXPECT_EQ(successAtMessage, "0");
    EXPECT_EQ(exportLinesAtMessage, 1);
    station.op.whenShown = nullptr;

    VirtualTokenState state = first->state();
    EXPECT_EQ(state.seed, StationUnderTest::SeedBytes(firstSeed));
    EXPECT_EQ(state.algorithm, 1);
    EXPECT_EQ(state.timeStep, 30);
    EXPECT_EQ(state.displayTime, 30);
    EXPECT_LE(std::abs(state.clockOffset), 2);
    EXPECT_EQ(station.logRow(0).mid(1),
              (QStringList{"ZP10000001", "ana@example.org", "Succeeded", station.readerName(0)}));
    EXPECT_TRUE(station.logRow(0).value(0).endsWith(' '));
    // The log says where the records go, once, when the set is created.
    QStringList placesTold;
    for (int i = 0; i < station.log()->topLevelItemCount(); ++i)
        if (station.log()->topLevelItem(i)->text(1).isEmpty())
            placesTold << station.log()->topLevelItem(i)->text(3);
    ASSERT_EQ(placesTold.size(), 1);
    EXPECT_TRUE(placesTold.front().startsWith("Export files Seed-"))
        << placesTold.front().toStdString();
    EXPECT_TRUE(
        placesTold.front().endsWith(".*.csv in " + QDir::toNativeSeparators(station.data.path())))
        << placesTold.front().toStdString();
    EXPECT_EQ(station.burnButton()->text(), "Burn");
    EXPECT_EQ(station.op.recorded.texts(), QStringList{kProgrammed});
    EXPECT_EQ(station.op.recorded.messages().front().caption, "Zentoka/Pelarin");

    // Left on the reader, it is neither read nor programmed again: over a few
    // poll cycles the token receives nothing.
    const auto commandsAfterWrite = first->received().size();
    QTest::qWait(300);
    EXPECT_EQ(first->received().size(), commandsAfterWrite);
    EXPECT_EQ(station.attemptRows().size(), 1);

    // Second token: SHA256, 60 s step, 120 s display, a 64-character seed.
    ASSERT_TRUE(station.lift());
    auto second = StationUnderTest::Token("ZP10000002");
    ASSERT_TRUE(station.present(second));
    station.child<QRadioButton>("sha256Radio")->setChecked(true);
    station.child<QRadioButton>("step60Radio")->setChecked(true);
    station.child<QRadioButton>("display120Radio")->setChecked(true);
    station.setSeed(QString(64, 'C'));
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(station.waitForRows(2));
    state = second->state();
    EXPECT_EQ(state.seed, StationUnderTest::SeedBytes(QString(64, 'C')));
    EXPECT_EQ(state.seed.size(), 40u);
    EXPECT_EQ(state.algorithm, 2);
    EXPECT_EQ(state.timeStep, 60);
    EXPECT_EQ(state.displayTime, 120);
    EXPECT_LE(std::abs(state.clockOffset), 2);

    // Third token: Sync Token Clock cleared keeps the token's own clock, an
    // hour behind, as it was read; typed in lower case with dashes.
    ASSERT_TRUE(station.lift());
    station.child<QRadioButton>("sha1Radio")->setChecked(true);
    station.child<QRadioButton>("step30Radio")->setChecked(true);
    station.child<QRadioButton>("display60Radio")->setChecked(true);
    station.child<QCheckBox>("syncClockCheck")->setChecked(false);
    auto third = StationUnderTest::Token("ZP10000003", -3600);
    ASSERT_TRUE(station.present(third));
    station.setSeed("jbsw-y3dp-ehpk-3pxp");
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(station.waitForRows(3));
    state = third->state();
    EXPECT_EQ(state.seed, StationUnderTest::SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(state.displayTime, 60);
    EXPECT_LE(state.clockOffset, -3600);
    EXPECT_GE(state.clockOffset, -3600 - 10);

    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "3/3/0"; }))
        << station.counters().toStdString();
    EXPECT_EQ(station.logRow(0).value(1), "ZP10000003"); // newest on top
    EXPECT_EQ(station.logRow(2).value(1), "ZP10000001");

    // The three export files hold the three tokens, the header once.
    EXPECT_EQ(station.exportLines(".b32.csv"),
              (QStringList{"ZP10000001," + firstSeed, "ZP10000002," + QString(64, 'C'),
                           "ZP10000003,JBSWY3DPEHPK3PXP"}));
    EXPECT_EQ(station.exportLines(".hex.csv"),
              (QStringList{"ZP10000001," + ToHex(first->state().seed),
                           "ZP10000002," + ToHex(second->state().seed),
                           "ZP10000003," + ToHex(third->state().seed)}));
    EXPECT_EQ(station.exportLines(".azure.csv"),
              (QStringList{"UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model",
                           "ana@example.org,ZP10000001," + firstSeed + ",30,Morvane,Zentoka",
                           "ana@example.org,ZP10000002," + QString(64, 'C') + ",60,Morvane,Zentoka",
                           "ana@example.org,ZP10000003,JBSWY3DPEHPK3PXP,30,Morvane,Zentoka"}));
}

TEST(OperatorsRoad, SeedFileGivesEachListedTokenItsOwnSeed)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    const QString path = station.data.filePath("seeds.csv");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("SF01,GEZDGNBVGY3TQOJQ\r\nSF02,MFRGGZDFMZTWQ2LK\r\nSF03,ONSWG4TFOQ======\r\n");
    }
    station.op.recorded.answerNextFileDialog(path);
    QTest::mouseClick(station.child<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    ASSERT_TRUE(station.connectTo(0));

    const std::pair<const char*, QString> tokens[] = {
        {"SF01", "GEZDGNBVGY3TQOJQ"},
        {"SF02", "MFRGGZDFMZTWQ2LK"},
        {"SF03", "ONSWG4TFOQ======"},
        {"SF99", "ONSWG4TFOQ======"}, // not listed: keeps the last seed
    };
    int rows = 0;
    for (const auto& [serial, seed] : tokens) {
        auto token = StationUnderTest::Token(serial);
        ASSERT_TRUE(station.present(token)) << serial;
        ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.seedShown() == seed; }))
            << serial << " shows " << station.seedShown().toStdString();
        ASSERT_TRUE(station.pressBurn()) << serial;
        ASSERT_TRUE(station.waitForRows(++rows)) << serial;
        EXPECT_EQ(token->state().seed, StationUnderTest::SeedBytes(seed)) << serial;
        EXPECT_EQ(station.logRow(0).value(3), "Succeeded") << serial;
        ASSERT_TRUE(station.lift());
    }
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "4/4/0"; }));
}
