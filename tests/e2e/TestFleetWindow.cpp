// The window on a fleet's journal: it says which journal it records into and
// whether that answers, asks before programming a token another station
// programmed, and seals what it writes.
#include "FleetKey.h"
#include "PostgresFixture.h"
#include "StationUnderTest.h"
#include "gui/JournalSetting.h"
#include "journal/PostgresJournal.h"

#include <QSettings>

namespace {
const QString kSeed = QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP");

bool Asked(const StationUnderTest& station, const QString& text)
{
    for (const auto& message : station.op.recorded.messages())
        if (message.text.contains(text))
            return true;
    return false;
}

// The journal's line, once it says how the journal answers (a probe every
// few seconds; a minute is far more than one takes under load).
bool WaitForJournalLine(StationUnderTest& station, const QString& state)
{
    return QTest::qWaitFor([&] { return station.text("journalText").contains(": " + state); },
                           60000);
}
} // namespace

TEST(FleetWindowTest, TokenAnotherStationProgrammedIsAskedAboutNamingThatStation)
{
    PostgresFixture postgres;
    ASSERT_TRUE(postgres.ok()) << postgres.failure();
    QTemporaryDir folder;
    ASSERT_EQ(MakeFleetKey(folder.path()), QString());
    QSettings settings(folder.filePath("station.conf"), QSettings::IniFormat);
    JournalSetting{postgres.connection(), folder.filePath("cert.pem")}.write(settings);

    // Station pc99 programmed ZP20000001 earlier.
    auto pc99 = PostgresJournal::open(postgres.connection(), "pc99");
    ASSERT_TRUE(pc99.ok()) << pc99.error().toStdString();
    JournalAttempt earlier;
    earlier.reader = "Reader 0";
    earlier.serialNumber = "ZP20000001";
    earlier.settings = "SHA1, step 30 s, display 30 s, clock synced";
    const auto begun = pc99.value()->beginWriting(earlier);
    ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
    ASSERT_TRUE(pc99.value()->finish(begun.value(), AttemptState::Programmed, {}, {}).ok());

    StationUnderTest station(1, &settings);
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(WaitForJournalLine(station, "reachable"));
    EXPECT_TRUE(station.text("journalText").contains(JournalDisplayName(postgres.connection())));
    EXPECT_TRUE(station.text("journalText").contains("seeds sealed to cert.pem"));

    auto token = StationUnderTest::Token("ZP20000001");
    ASSERT_TRUE(station.connectTo(0));
    ASSERT_TRUE(station.present(token)) << station.pcsc.failure();
    station.setSeed(kSeed);

    // No: the token keeps the seed the server knows.
    station.op.recorded.answerNextQuestion(false);
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return Asked(station, "at station pc99"); }));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.burnButton()->isEnabled(); }));
    EXPECT_TRUE(token->state().seed.empty());

    // Yes: programmed, and its seed sealed in the fleet's vault before it was sent.
    station.op.recorded.answerNextQuestion(true);
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/1/0"; }));
    EXPECT_EQ(token->state().seed, StationUnderTest::SeedBytes(kSeed));
    EXPECT_EQ(postgres.psql("SELECT count(*) FROM attempts WHERE serial = 'ZP20000001' "
                            "AND state = 'programmed' AND sealed_seed IS NOT NULL"),
              std::optional<QString>("1"));

    // The server goes away: the window says so before the next token.
    ASSERT_TRUE(postgres.stop()) << postgres.failure();
    EXPECT_TRUE(WaitForJournalLine(station, "not reachable"));
    ASSERT_TRUE(postgres.start()) << postgres.failure();
    EXPECT_TRUE(WaitForJournalLine(station, "reachable"));
}
