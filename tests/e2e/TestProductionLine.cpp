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
// so, naming the one user the operator gave every token. A reader connected after auto-programming
// was turned on gets it too, and a timing changed meanwhile applies to the next tokens.
TEST(ProductionLine, TwoReadersProgramEachTokenPresented)
{
    StationUnderTest station(1);
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.activate());
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    auto* userName = station.child<QLineEdit>("userNameEdit");
    userName->setFocus();
    QTest::keyClicks(userName, "line@example.org");
    // The one name for every token, on the operator's word (the click ends the typing).
    QTest::mouseClick(station.child<QCheckBox>("sameUserCheck"), Qt::LeftButton);
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

namespace {

// serial -> user, from the directory import file.
std::map<QString, QString> RecordedUsers(const StationUnderTest& station)
{
    std::map<QString, QString> users;
    const QStringList lines = station.exportLines(".azure.csv");
    for (qsizetype i = 1; i < lines.size(); ++i)
        users[lines[i].section(',', 1, 1)] = lines[i].section(',', 0, 0);
    return users;
}

// Presents a token on reader 0 and waits for its line to count it; lifts it.
bool ProgramOne(StationUnderTest& station, const std::string& serial, const QString& counters)
{
    auto token = StationUnderTest::Token(serial);
    const bool counted = station.present(token) && StationUnderTest::waitFor([&] {
                             return station.lineCounters(0) == counters;
                         });
    return station.lift() && counted;
}

} // namespace

// The user name counts once the operator has finished editing it, and goes
// into every token's record only while "Same user for every token" is
// checked; otherwise a token's record names no user.
TEST(ProductionLine, TheTypedNameIsTakenWhenFinishedAndOnlyForEveryTokenWhenSaid)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.activate());
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    ASSERT_TRUE(station.connectTo(0));
    CheckAutoProgramming(station, true);
    auto* userName = station.child<QLineEdit>("userNameEdit");
    auto* sameUser = station.child<QCheckBox>("sameUserCheck");

    // Typed, finished (Tab), but not said to be for every token.
    userName->setFocus();
    QTest::keyClicks(userName, "ana@example.org");
    QTest::keyClick(userName, Qt::Key_Tab);
    ASSERT_TRUE(ProgramOne(station, "TN0001", "1/1/0"));
    QTest::mouseClick(sameUser, Qt::LeftButton);
    ASSERT_TRUE(sameUser->isChecked());
    ASSERT_TRUE(ProgramOne(station, "TN0002", "2/2/0"));
    // Half typed: the token presented meanwhile keeps the finished name.
    userName->setFocus();
    userName->selectAll();
    QTest::keyClicks(userName, "bob@exa");
    ASSERT_TRUE(userName->hasFocus());
    ASSERT_TRUE(ProgramOne(station, "TN0003", "3/3/0"));
    QTest::mouseClick(sameUser, Qt::LeftButton); // ends the typing, and unchecks
    ASSERT_FALSE(sameUser->isChecked());
    ASSERT_TRUE(ProgramOne(station, "TN0004", "4/4/0"));

    const std::map<QString, QString> expected{{"TN0001", ""},
                                              {"TN0002", "ana@example.org"},
                                              {"TN0003", "ana@example.org"},
                                              {"TN0004", ""}};
    EXPECT_EQ(RecordedUsers(station), expected);
    ASSERT_TRUE(station.waitForRows(4));
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(station.logRow(row)[2], expected.at(station.logRow(row)[1]));
}

// Five tokens from a seed file of three columns get its users; five tokens
// with random seeds take the users of a list, the window showing the next
// one and how many are left; once it is used up a token is refused with a
// message, its seed untouched.
TEST(ProductionLine, ASeedFileOrAUserListGivesEachTokenItsOwnUser)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    auto write = [&](const QString& name, const QByteArray& bytes) {
        const QString path = QDir(station.data.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    };
    std::map<QString, QString> expected;
    QByteArray seeds;
    for (int i = 0; i < 5; ++i) {
        const QString serial = QStringLiteral("SU%1").arg(i);
        expected[serial] = QStringLiteral("file%1@example.org").arg(i);
        seeds += (serial + ",GEZDGNBVGY3TQOJQ," + expected[serial] + "\r\n").toUtf8();
    }
    station.op.recorded.answerNextFileDialog(write("seeds.csv", seeds));
    QTest::mouseClick(station.child<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return BackgroundWorkDone(station.window.get()); }));
    station.child<QComboBox>("autoSourceCombo")->setCurrentIndex(2);
    ASSERT_TRUE(station.connectTo(0));
    CheckAutoProgramming(station, true);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(
            ProgramOne(station, "SU" + std::to_string(i), QStringLiteral("%1/%1/0").arg(i + 1)));

    const QStringList users{"ana@example.org", "bob@example.org", "carl@example.org",
                            "dora@example.org", "eve@example.org"};
    station.child<QComboBox>("autoSourceCombo")->setCurrentIndex(0);
    station.op.recorded.answerNextFileDialog(write("users.txt", users.join('\n').toUtf8()));
    QTest::mouseClick(station.child<QPushButton>("loadUserListButton"), Qt::LeftButton);
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return BackgroundWorkDone(station.window.get()); }));
    auto* next = station.child<QLabel>("userListText");
    EXPECT_EQ(next->text(), "Next user: ana@example.org (5 left)");
    for (int i = 0; i < 5; ++i) {
        const QString serial = QStringLiteral("UL%1").arg(i);
        expected[serial] = users[i];
        ASSERT_TRUE(
            ProgramOne(station, serial.toStdString(), QStringLiteral("%1/%1/0").arg(i + 6)));
        if (i < 4) {
            EXPECT_TRUE(StationUnderTest::waitFor([&] {
                return next->text() ==
                       QStringLiteral("Next user: %1 (%2 left)").arg(users[i + 1]).arg(4 - i);
            })) << next->text().toStdString();
        }
    }
    EXPECT_TRUE(StationUnderTest::waitFor([&] { return next->text().startsWith("Used up"); }));

    // Used up: the line holds the next token, programming nothing.
    auto refused = StationUnderTest::Token("UL5");
    ASSERT_TRUE(station.present(refused));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.lineCounters(0) == "11/10/1"; }));
    EXPECT_TRUE(refused->state().seed.empty());
    EXPECT_FALSE(refused->state().configured);
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.op.recorded.texts().size() == 1; }));
    EXPECT_TRUE(station.op.recorded.texts().first().contains("The user list is used up"));
    ASSERT_TRUE(station.lift());

    EXPECT_EQ(RecordedUsers(station), expected);
    ASSERT_TRUE(station.waitForRows(11));
    EXPECT_EQ(station.logRow(0).mid(1, 3), (QStringList{"UL5", "", "Failed"}));
    for (int row = 1; row < 11; ++row)
        EXPECT_EQ(station.logRow(row)[2], expected.at(station.logRow(row)[1]));
}
