// The window's Journal setting: kept in the user's settings, refused when the
// station could not start with it, and the watch that shows whether the
// journal answers, against a real PostgreSQL server going away and back.
#include "FleetKey.h"
#include "JournalSetting.h"
#include "JournalSettingsDialog.h"
#include "JournalWatch.h"
#include "PostgresFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestJournalSetting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        const QString why = MakeFleetKey(m_folder.path());
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QFile garbage(path("garbage.pem"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("-----BEGIN CERTIFICATE-----\nnot one\n-----END CERTIFICATE-----\n");
    }

    void theSettingOutlivesTheWindow()
    {
        const JournalSetting written{"service=tokens", path("cert.pem")};
        {
            QSettings settings(path("station.conf"), QSettings::IniFormat);
            QCOMPARE(JournalSetting::read(settings), JournalSetting{});
            written.write(settings);
        }
        const QSettings settings(path("station.conf"), QSettings::IniFormat);
        QCOMPARE(JournalSetting::read(settings), written);
    }

    void okKeepsOnlyWhatTheStationCanStartWith_data()
    {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<QString>("sealTo");
        QTest::addColumn<QString>("problem"); // empty: accepted

        QTest::newRow("the Data folder's journal") << ""
                                                   << ""
                                                   << "";
        QTest::newRow("a server that is down now, sealed")
            << "host=/nonexistent dbname=tokens" << path("cert.pem") << "";
        QTest::newRow("a journal file") << path("fleet.sqlite") << ""
                                        << "";
        QTest::newRow("a file in no folder") << path("no/such/folder/fleet.sqlite") << ""
                                             << "cannot be used";
        QTest::newRow("no certificate there") << "" << path("missing.pem") << "cannot be read";
        QTest::newRow("not a certificate") << "" << path("garbage.pem") << "not an X.509";
    }
    void okKeepsOnlyWhatTheStationCanStartWith()
    {
        QFETCH(QString, journal);
        QFETCH(QString, sealTo);
        QFETCH(QString, problem);

        JournalSettingsDialog dialog(JournalSetting{}, QStringLiteral("journal.sqlite"));
        dialog.findChild<QLineEdit*>("journalEdit")->setText(" " + journal + " ");
        dialog.findChild<QLineEdit*>("sealToEdit")->setText(sealTo);
        dialog.show();
        dialog.accept();

        const auto* problemText = dialog.findChild<QLabel*>("problemText");
        QCOMPARE(dialog.result() == QDialog::Accepted, problem.isEmpty());
        QCOMPARE(problemText->isVisible(), !problem.isEmpty());
        QVERIFY2(problemText->text().contains(problem), qPrintable(problemText->text()));
        if (problem.isEmpty())
            QCOMPARE(dialog.setting(), (JournalSetting{journal, sealTo}));
    }

    void theWatchSeesTheServerGoAndComeBack()
    {
        PostgresFixture postgres;
        QVERIFY2(postgres.ok(), postgres.failure().c_str());
        JournalWatch watch;
        QSignalSpy checked(&watch, &JournalWatch::checked);
        // The reachability of the latest probe, after the first that says reachable.
        const auto waitForReachable = [&](bool reachable) {
            return QTest::qWaitFor(
                [&] { return !checked.isEmpty() && checked.last().at(0).toBool() == reachable; },
                60000);
        };

        watch.watch(JournalLocation{postgres.connection(), {}});
        QVERIFY(waitForReachable(true));
        QCOMPARE(checked.last().at(1).toString(), QString());

        QVERIFY2(postgres.stop(), postgres.failure().c_str());
        watch.checkNow();
        QVERIFY(waitForReachable(false));
        QCOMPARE(checked.last().at(1).toString(), QStringLiteral("the server does not answer"));

        QVERIFY2(postgres.start(), postgres.failure().c_str());
        watch.checkNow();
        QVERIFY(waitForReachable(true));
    }

private:
    QString path(const QString& name) const { return m_folder.filePath(name); }

    QTemporaryDir m_folder;
};

QTEST_MAIN(TestJournalSetting)
#include "TestJournalSetting.moc"
