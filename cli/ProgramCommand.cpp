#include "ProgramCommand.h"

#include "ConsoleOperator.h"
#include "InterruptNotifier.h"
#include "ProgramOptions.h"
#include "TokenEventJson.h"
#include "engine/PskcExport.h"
#include "engine/ReaderList.h"
#include "engine/StationKey.h"
#include "journal/JournalFiles.h"
#include "journal/JournalLocation.h"
#include "journal/JournalMessages.h"
#include "journal/SeedSeal.h"
#include "seed/SecretText.h"
#include "seed/SeedFile.h"
#include "seed/UserList.h"
#include "token/CardTransport.h"

#include <QCoreApplication>
#include <QFile>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// The readers the platform lists now, or nothing when it lists none.
QStringList PlatformReaders()
{
    std::string text;
    if (ListReaders(text) != 0)
        return {};
    return SplitReaderList(QString::fromStdString(text));
}

QString OutcomeText(const TokenOutcome& outcome)
{
    const QString token =
        outcome.serialNumber.isEmpty() ? QStringLiteral("(no token)") : outcome.serialNumber;
    switch (outcome.result) {
    case TokenOutcome::Result::Programmed:
        return QStringLiteral("Programmed %1 on %2%3")
            .arg(token, outcome.readerName,
                 outcome.again ? QStringLiteral(", programmed again") : QString());
    case TokenOutcome::Result::NotRecorded:
        return QStringLiteral("Programmed %1 on %2, but NOT RECORDED: %3")
            .arg(token, outcome.readerName, outcome.reason);
    case TokenOutcome::Result::Failed:
        break;
    }
    return QStringLiteral("FAILED %1 on %2: %3").arg(token, outcome.readerName, outcome.reason);
}

// Standard output carries the JSON lines only, one whole line at a time.
class EventOutput
{
public:
    void write(const QByteArray& line)
    {
        std::lock_guard lock(m_lock);
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fflush(stdout);
    }

private:
    std::mutex m_lock;
};

} // namespace

int RunProgramCommand(const QStringList& arguments, ConsoleOperator& op, const QString& dataFolder)
{
    if (arguments.contains(QLatin1String("--help"))) {
        std::fputs(kProgramUsage, stdout);
        return 0;
    }
    QString problem;
    const std::optional<ProgramOptions> options = ParseProgramOptions(arguments, problem);
    if (!options) {
        op.say(QStringLiteral("station program: ") + problem);
        std::fputs(kProgramUsage, stderr);
        return 2;
    }
    const QStringList listed = PlatformReaders();
    for (const QString& reader : options->readers)
        if (!listed.contains(reader)) {
            op.say(QStringLiteral("station program: no reader named \"%1\" (station readers "
                                  "lists them)")
                       .arg(reader));
            return 2;
        }

    SeedTable seedFile;
    if (options->source == SeedSource::SeedFile) {
        const SeedFileResult loaded = LoadSeedFile(options->seedFile, seedFile);
        if (!loaded.loaded()) {
            op.say(QStringLiteral("Failed to load seed file!\n") + loaded.message());
            return 2;
        }
        op.say(
            QStringLiteral("Seed file %1: %2 tokens").arg(options->seedFile).arg(seedFile.size()));
    }

    UserAssignments users;
    if (!options->usersFile.isEmpty()) {
        const UserListResult loaded = LoadUserList(options->usersFile);
        if (!loaded.loaded()) {
            op.say(QStringLiteral("Failed to load user list!\n") + loaded.message());
            return 2;
        }
        users.load(loaded.users);
        op.say(QStringLiteral("User list %1: %2 users")
                   .arg(options->usersFile)
                   .arg(loaded.users.size()));
    }

    PskcExport pskc;
    if (!options->pskcKeyFile.isEmpty()) {
        QFile keyFile(options->pskcKeyFile);
        if (!keyFile.open(QIODevice::ReadOnly)) {
            op.say(QStringLiteral("station program: cannot read the PSKC key file %1: %2")
                       .arg(options->pskcKeyFile, keyFile.errorString()));
            return 2;
        }
        QByteArray text = keyFile.read(4096);
        QString keyText = QString::fromLatin1(text).trimmed();
        WipeText(text);
        QString keyProblem;
        std::optional<PskcKey> key = ParsePskcKey(keyText, &keyProblem);
        WipeText(keyText);
        if (!key) {
            op.say(QStringLiteral("station program: ") + keyProblem);
            return 2;
        }
        pskc.setKey(std::move(key));
    }

    AutoProgramming settings;
    settings.source = options->source;
    settings.seedFile = &seedFile;
    settings.timing = options->timing;
    settings.syncClock = options->syncClock;
    settings.exportRecord = true;
    settings.exportPskc = options->pskc;
    if (users.loaded())
        settings.users = &users;
    settings.holdOnFailure = false; // every outcome is reported as it comes

    const QString folder = options->exportFolder.isEmpty() ? dataFolder : options->exportFolder;
    ExportFiles exportFiles(folder);
    // The journal beside the records, or the fleet's: a seed the journal
    // cannot record is not sent. A fleet's server that cannot be reached now
    // holds every token until it answers.
    const JournalLocation location{options->journal, JournalDatabasePath(folder)};
    QString unreachable;
    auto opened = OpenJournal(location, &unreachable);
    if (!opened.ok()) {
        // The journal's own error names it and says what failed.
        op.say(QStringLiteral("station program: ") + opened.error());
        return 2;
    }
    const std::unique_ptr<ProgrammingJournal> journal = std::move(opened).value();
    std::unique_ptr<SeedSeal> seal;
    if (!options->sealTo.isEmpty()) {
        auto loaded = SeedSeal::load(options->sealTo);
        if (!loaded.ok()) {
            op.say(QStringLiteral("station program: ") + loaded.error());
            return 2;
        }
        seal = std::move(loaded).value();
    }
    if (!unreachable.isEmpty())
        op.say(unreachable + QStringLiteral("\nNo token is programmed until it answers."));
    if (const auto unfinished = journal->unfinished();
        unfinished.ok() && !unfinished.value().isEmpty()) {
        op.say(UnfinishedAttemptsMessage(unfinished.value()));
        QList<qint64> ids;
        for (const JournalAttempt& attempt : unfinished.value())
            ids << attempt.id;
        if (const auto marked = journal->markInterrupted(ids); !marked.ok())
            op.say(marked.error());
    }
    EventOutput output;
    std::mutex countLock;
    int done = 0;
    int failed = 0;
    bool usedUpTold = false;
    std::vector<std::unique_ptr<Station>> stations;
    for (const QString& reader : options->readers) {
        stations.push_back(std::make_unique<Station>(reader, g_customerKey, op, exportFiles));
        stations.back()->setJournal(journal.get());
        stations.back()->setSeedSeal(seal.get());
        stations.back()->setPskcExport(&pskc);
        // The first look at the reader: from then on a token presented is one to program.
        if (options->automatic)
            QObject::connect(
                stations.back().get(), &Station::textsChanged, stations.back().get(),
                [&op, reader, told = std::make_shared<std::once_flag>()] {
                    std::call_once(*told, [&] {
                        op.say(QStringLiteral("Watching %1: present tokens; Ctrl+C stops.")
                                   .arg(reader));
                    });
                },
                Qt::DirectConnection);
        QObject::connect(
            stations.back().get(), &Station::tokenDone, stations.back().get(),
            [&, automatic = options->automatic, readers = options->readers.size(),
             usersFile = options->usersFile](const TokenOutcome& outcome) {
                output.write(TokenEventJson(outcome));
                op.say(OutcomeText(outcome));
                std::lock_guard lock(countLock);
                failed += outcome.result != TokenOutcome::Result::Programmed;
                // Quit by the slot's name: the event then owns all it carries.
                // A functor call would share a counted slot object between
                // this thread and the main one, released inside Qt, where the
                // thread checks of the sanitized builds cannot follow it.
                if (!automatic && ++done == readers)
                    QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
                // Every user has a token: the line holds. The stations
                // stopped after exec() finish a token under way on another
                // reader first.
                if (automatic && users.loaded() && users.left() == 0 && !usedUpTold) {
                    usedUpTold = true;
                    op.say(QStringLiteral("The user list %1 is used up: every user has a token. "
                                          "Programming stops.")
                               .arg(usersFile));
                    QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
                }
            },
            Qt::DirectConnection);
    }

    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::interrupted, qApp, [&op] {
        op.say(QStringLiteral("Stopping: the token under way is finished first."));
        QCoreApplication::quit();
    });
    for (auto& station : stations) {
        station->start();
        if (options->automatic)
            station->setAutoProgramming(settings);
        else
            station->programPresent(settings);
    }
    if (options->automatic)
        op.say(QStringLiteral("Programming each token presented; a token already on a reader "
                              "is left as it is."));
    QCoreApplication::exec();
    for (auto& station : stations)
        station->stopAndWait();

    std::lock_guard lock(countLock);
    return failed > 0 ? 1 : 0;
}
