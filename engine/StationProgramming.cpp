// Programming one token: the work of a Burn press, or of a token presented
// while auto-programming is on, on the station's thread.
#include "ClockTexts.h"
#include "ExportRecording.h"
#include "ProgrammingMessages.h"
#include "PskcExport.h"
#include "SeedForToken.h"
#include "Station.h"
#include "journal/JournalMessages.h"
#include "journal/ProgrammingJournal.h"
#include "journal/SeedSeal.h"
#include "seed/RandomSeed.h"
#include "seed/SecretText.h"
#include "seed/SeedTable.h"
#include "seed/SeedText.h"
#include "seed/SerialNumber.h"
#include "token/TokenSession.h"

struct Station::Run
{
    Run(const BurnRequest& burn, Operator& op, const AutoProgramming* autoSettings = nullptr)
        : request(burn), tell(op, !burn.automatic), settings(autoSettings),
          serialKnown(!burn.automatic)
    {}
    bool automatic() const { return request.automatic; }

    BurnRequest request;
    MessageCollector tell;           // every message of the run, shown when pressed
    const AutoProgramming* settings; // automatic runs
    bool serialKnown;                // request.serialNumber names the token the run is for
    QString seedText;                // normalised
    SeedForToken seed;
    bool again = false; // this station programmed the token before
    bool attempted = false;
    bool succeeded = false;
    bool declined = false; // the operator answered No
    qint64 journalId = 0;  // the journal's "writing" row, once the seed may be sent
    // The user this token took from the user list, until its seed is written.
    std::optional<UserAssignments::Taken> takenUser;
};

namespace {

enum class TokenCheck
{
    Ok,
    Unread,  // no token could be read: nothing was attempted
    Refused, // the token is not the one the run is for, or not one to program
};

// The settings a journal row keeps: "SHA1, step 30 s, display 60 s, clock synced".
QString SettingsText(const BurnRequest& request)
{
    return QStringLiteral("%1, step %2 s, display %3 s, %4")
        .arg(QString::fromLatin1(request.timing.algorithmName))
        .arg(request.timing.timeStep)
        .arg(request.timing.displayTime)
        .arg(request.syncClock ? QStringLiteral("clock synced") : QStringLiteral("clock kept"));
}

QString ReadText(const uint8_t* bytes, unsigned length)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
}

} // namespace

template <typename Work> auto Station::withExportFiles(Work work)
{
    const bool wasOpen = m_exportFiles.isOpen();
    struct Told
    {
        Station& station;
        bool wasOpen;
        ~Told()
        {
            if (!wasOpen && station.m_exportFiles.isOpen())
                emit station.exportSetOpened(station.m_exportFiles.hexPath());
        }
    } told{*this, wasOpen};
    return work();
}

void Station::runBurn(const BurnRequest& request)
{
    Run run(request, m_operator);
    program(run);
    endRun(run);
}

bool Station::runAuto(const AutoProgramming& settings, bool requested)
{
    BurnRequest request;
    request.automatic = true;
    request.timing = settings.timing;
    request.syncClock = settings.syncClock;
    request.exportRecord = settings.exportRecord;
    request.exportPskc = settings.exportPskc;
    {
        std::lock_guard lock(m_lock);
        m_runActive = true;
    }
    Run run(request, m_operator, &settings);
    program(run);
    if (!run.serialKnown && requested && !run.attempted) {
        run.tell.showMessage(kNoTokenMessage, kErrorCaption, MessageIcon::None);
        finishAttempt(run, false);
    }
    giveBackUser(run); // stopped before its seed was sent
    WipeText(run.request.seedText);
    WipeText(run.seedText);
    {
        std::lock_guard lock(m_lock);
        m_runActive = false;
        m_stopRequested = false;
    }
    // A failure holds this reader until the operator has read it: a run of
    // failures never goes unseen.
    if (settings.holdOnFailure && run.attempted && !run.succeeded && !run.declined)
        m_operator.showMessage(
            AutoRunFailedMessage(run.request.serialNumber, m_readerName, run.tell.text()),
            kErrorCaption, MessageIcon::Stop);
    return run.serialKnown || requested;
}

// The order of a run: a pressed run's seed is checked before any token
// command; then, over one connection held in one transaction, the token's
// serial number is read (and compared with the one Burn was pressed for),
// the key is proved, the timing and clock are set and the seed is written.
// An automatic run takes the token it finds and chooses its seed once the
// serial number is known. The connection is closed before any message
// shows, so a message left open holds no card.
void Station::program(Run& run)
{
    if (run.request.exportRecord)
        withExportFiles([&] { OpenExportFiles(m_exportFiles, run.tell); });

    if (!run.automatic()) {
        if (run.request.serialNumber.isEmpty()) {
            run.tell.showMessage(kNoTokenMessage, kErrorCaption, MessageIcon::None);
            return finishAttempt(run, false);
        }
        if (!checkSeed(run))
            return;
    }

    TokenSession session;
    // A pressed run asks its questions before any token command.
    if (!run.automatic() && !confirmRun(run, session))
        return;
    if (!openAndCheckToken(run, session))
        return;
    if (run.automatic() &&
        (!chooseAutoSeed(run, *run.settings) || !checkSeed(run) || !confirmRun(run, session)))
        return session.close();
    if (!configureToken(run, session))
        return;
    if (!run.automatic()) {
        m_armed = true;
        emit armedChanged(true);
    }
    if (m_stopRequested) {
        session.close();
        return disarm();
    }
    if (!journalBeforeWrite(run, session))
        return;
    programToken(run, session);
}

bool Station::checkSeed(Run& run)
{
    run.seedText = NormalizeSeedText(run.request.seedText);
    QString problem;
    if (run.seedText.isEmpty()) {
        problem = kNoSeedMessage;
    } else {
        run.seed = DecodeSeedForToken(run.seedText);
        problem = run.seed.problem;
        // More than a token holds: refused as the write would refuse it,
        // but before the seed is sent.
        if (problem.isEmpty() && run.seed.bytes.size() > kTokenSeedMax)
            problem = ProgramFailedMessage(TOKEN_ERR_SEED_TOO_LONG);
    }
    if (problem.isEmpty())
        return true;
    run.tell.showMessage(problem, kErrorCaption, MessageIcon::None);
    finishAttempt(run, false);
    return false;
}

bool Station::chooseAutoSeed(Run& run, const AutoProgramming& settings)
{
    QString problem;
    if (settings.source == SeedSource::SeedFile) {
        const std::optional<QString> seed =
            settings.seedFile ? settings.seedFile->find(run.request.serialNumber) : std::nullopt;
        if (seed)
            run.request.seedText = *seed;
        else
            problem = NotInSeedFileMessage(run.request.serialNumber);
    } else {
        run.request.seedText =
            GenerateRandomSeedText(settings.source == SeedSource::Random32 ? 1 : 2);
        if (run.request.seedText.isEmpty())
            problem = kRandomFailedMessage;
    }
    if (problem.isEmpty())
        problem = chooseAutoUser(run, settings);
    if (problem.isEmpty())
        return true;
    run.tell.showMessage(problem, kErrorCaption, MessageIcon::None);
    finishAttempt(run, false);
    return false;
}

// The token's own user: the seed file's, or the user list's next, or the
// one name for every token (empty for none). The problem when the list has
// no user left for it.
QString Station::chooseAutoUser(Run& run, const AutoProgramming& settings)
{
    const QString& serial = run.request.serialNumber;
    if (settings.source == SeedSource::SeedFile) {
        const QString fileUser = settings.seedFile->userName(serial);
        run.request.userName = fileUser.isEmpty() ? settings.userName : fileUser;
        return {};
    }
    if (!settings.users) {
        run.request.userName = settings.userName;
        return {};
    }
    run.takenUser = settings.users->take();
    if (!run.takenUser)
        return UserListUsedUpMessage(serial);
    run.request.userName = run.takenUser->userName;
    return {};
}

// A token that took a user from the list but holds no seed of it gives the
// user back: the next token gets it.
void Station::giveBackUser(Run& run)
{
    if (run.takenUser && run.settings && run.settings->users)
        run.settings->users->giveBack(*run.takenUser);
    run.takenUser.reset();
}

bool Station::readTokenInfo(TokenSession& session, QByteArray& serial, QString& clock)
{
    uint8_t serialBytes[32] = {};
    uint8_t clockBytes[64] = {};
    unsigned serialLength = sizeof serialBytes;
    unsigned clockLength = sizeof clockBytes;
    int32_t result = session.open(m_readerNameUtf8.constData(), m_events.context());
    if (result == TOKEN_OK)
        result = session.readInfo(serialBytes, &serialLength, clockBytes, &clockLength);
    if (result != TOKEN_OK) {
        session.close();
        return false;
    }
    // The texts come without a terminating zero: their lengths bound them.
    serial = QByteArray(reinterpret_cast<const char*>(serialBytes),
                        static_cast<qsizetype>(serialLength));
    clock = ReadText(clockBytes, clockLength);
    return true;
}

bool Station::openAndCheckToken(Run& run, TokenSession& session)
{
    QByteArray rawSerial;
    QString clock;
    if (!readTokenInfo(session, rawSerial, clock)) {
        if (!run.serialKnown && run.automatic()) {
            showNoCard(); // read again as soon as the reader allows
            return false;
        }
        run.tell.showMessage(AuthenticationMessage(TOKEN_ERR_CONNECT), kErrorCaption,
                             MessageIcon::None);
        if (run.automatic())
            finishAttempt(run, false);
        return false;
    }
    // Compared byte for byte and printable only: two serial numbers that are
    // not valid text could read the same on screen.
    if (const QString problem = SerialNumberProblem(rawSerial); !problem.isEmpty()) {
        session.close();
        run.serialKnown = true;
        run.tell.showMessage(problem, kErrorCaption, MessageIcon::None);
        finishAttempt(run, false);
        return false;
    }
    const QString onReader = QString::fromLatin1(rawSerial);
    if (run.serialKnown && onReader == run.request.serialNumber)
        return true;

    TokenTexts texts;
    texts.serialNumber = onReader;
    texts.tokenClock = clock;
    texts.computerClock = ClockText(QDateTime::currentDateTimeUtc());
    texts.tips = QStringLiteral("Token or card detected");
    if (!run.serialKnown) {
        // An automatic run is for whichever token was presented.
        run.serialKnown = true;
        run.request.serialNumber = onReader;
        setTexts(texts);
        emit tokenRead(onReader);
        return true;
    }
    session.close();
    setTexts(texts);
    emit tokenRead(onReader);
    run.tell.showMessage(TokenSwappedMessage(onReader, run.request.serialNumber), kErrorCaption,
                         MessageIcon::None);
    if (run.automatic())
        finishAttempt(run, false);
    return false;
}

// The questions a run asks before it spends anything on the token. They are
// asked with the card released: an open session is closed and, once the
// operator has said Yes, opened again on the same token.
bool Station::confirmRun(Run& run, TokenSession& session)
{
    const QString& serial = run.request.serialNumber;
    run.again = m_programmed.contains(serial);
    QStringList questions;
    if (m_journal) {
        sendHeldOutcomes();
        const JournalResult<std::optional<ProgrammedBefore>> last =
            m_journal->lastProgrammedBy(serial);
        if (!last.ok()) {
            // Not knowing whether the token holds a seed the server has is
            // no ground to overwrite it.
            session.close();
            run.tell.showMessage(JournalRefusedMessage(serial, last.error()), kErrorCaption,
                                 MessageIcon::None);
            finishAttempt(run, false);
            return false;
        }
        if (last.value()) {
            run.again = true;
            questions << ProgramAgainQuestion(serial, *last.value());
        }
    }
    if (m_triesLeft.value(serial, -1) == 1)
        questions << kLastTryQuestion;
    if (questions.isEmpty())
        return true;

    const bool wasOpen = session.isOpen();
    session.close();
    for (const QString& question : questions) {
        if (!run.tell.askQuestion(question, kProductCaption)) {
            run.declined = true;
            if (run.automatic()) {
                run.tell.showMessage(NotProgrammedOnAnswerMessage(question), kErrorCaption,
                                     MessageIcon::None);
                finishAttempt(run, false);
            }
            return false;
        }
    }
    return !wasOpen || openAndCheckToken(run, session);
}

int32_t Station::authenticateCard(TokenSession& session, const QString& serialNumber,
                                  Operator& tell)
{
    const int32_t result = session.authenticate(m_customerKey);
    if (result == TOKEN_OK) {
        m_triesLeft.remove(serialNumber);
        return result;
    }
    session.close();
    if (IsAuthTriesLeft(result))
        m_triesLeft[serialNumber] = result & 0xF;
    else if (result == TOKEN_ERR_KEY_LOCKED)
        m_triesLeft[serialNumber] = 0;
    tell.showMessage(AuthenticationMessage(result), kErrorCaption, MessageIcon::None);
    return result;
}

bool Station::configureToken(Run& run, TokenSession& session)
{
    const BurnRequest& request = run.request;
    // A pressed run that fails here is not counted: nothing of the seed was
    // sent and the operator sees why. An automatic run counts every token.
    auto failed = [&] {
        if (run.automatic())
            finishAttempt(run, false);
        return false;
    };
    if (authenticateCard(session, request.serialNumber, run.tell) != TOKEN_OK)
        return failed();

    if (request.syncClock)
        updateComputerClock();
    const TokenTexts texts = this->texts();
    const QString clock = request.syncClock ? texts.computerClock : texts.tokenClock;
    const std::optional<std::string> timeText = ToTokenTimeText(clock.toStdString());
    if (!timeText) {
        session.close();
        run.tell.showMessage(BadClockTextMessage(clock), kErrorCaption, MessageIcon::None);
        return failed();
    }

    const int32_t result =
        session.configure(m_customerKey, request.timing.algorithmName, request.timing.timeStep,
                          request.timing.displayTime, timeText->c_str(), 0);
    if (result != TOKEN_OK) {
        session.close();
        run.tell.showMessage(ConfigFailedMessage(result), kErrorCaption, MessageIcon::None);
        return failed();
    }
    return true;
}

// Write-ahead: the attempt is on the disk as "writing" before the seed is
// sent, so a crash between the write and the record leaves a trace that the
// next start reports. A seed the journal cannot record is not sent.
bool Station::journalBeforeWrite(Run& run, TokenSession& session)
{
    if (!m_journal)
        return true;
    JournalAttempt attempt;
    attempt.reader = m_readerName;
    attempt.serialNumber = run.request.serialNumber;
    attempt.settings = SettingsText(run.request);
    attempt.userName = run.request.userName;
    if (run.request.exportRecord)
        attempt.exportFiles = QStringList{m_exportFiles.hexPath(), m_exportFiles.b32Path(),
                                          m_exportFiles.azurePath()};
    sendHeldOutcomes();
    const JournalResult<qint64> begun =
        BeginSealedWriting(*m_journal, attempt, m_seedSeal, run.seedText);
    if (begun.ok()) {
        run.journalId = begun.value();
        return true;
    }
    session.close();
    run.tell.showMessage(JournalRefusedMessage(run.request.serialNumber, begun.error()),
                         kErrorCaption, MessageIcon::None);
    finishAttempt(run, false);
    return false;
}

// The attempt's outcome in the journal: the "writing" row finished, or a row
// of its own for an attempt that ended before any seed was sent.
void Station::journalOutcome(Run& run, const TokenOutcome& outcome)
{
    if (!m_journal)
        return;
    const AttemptState state = outcome.result == TokenOutcome::Result::Failed
                                   ? AttemptState::Failed
                                   : AttemptState::Programmed;
    // Kept outcomes go first: the journal takes them in their order.
    const bool earlierSent = sendHeldOutcomes();
    if (run.journalId != 0) {
        const HeldOutcome held{run.journalId, outcome.serialNumber, state, outcome.reason,
                               outcome.exportFiles};
        const JournalResult<void> written =
            earlierSent
                ? m_journal->finish(held.journalId, held.state, held.reason, held.exportFiles)
                : JournalResult<void>(
                      JournalError{QStringLiteral("The journal did not take the outcomes kept "
                                                  "before this one.")});
        if (!written.ok()) {
            // The seed is on the token: its outcome must not be lost. The
            // operator hears of it even in an automatic run, whose own
            // messages go to its outcome only (and a programmed one has none).
            m_heldOutcomes.push_back(held);
            m_operator.showMessage(OutcomeHeldMessage(outcome.serialNumber, written.error()),
                                   kErrorCaption, MessageIcon::None);
        }
        return;
    }
    JournalAttempt attempt;
    attempt.reader = m_readerName;
    attempt.serialNumber = outcome.serialNumber;
    attempt.settings = SettingsText(run.request);
    attempt.userName = outcome.userName;
    attempt.state = state;
    attempt.reason = outcome.reason;
    if (const JournalResult<qint64> recorded = m_journal->recordAttempt(attempt); !recorded.ok())
        run.tell.showMessage(JournalNotFinishedMessage(outcome.serialNumber, recorded.error()),
                             kErrorCaption, MessageIcon::None);
}

// Sends the kept outcomes, oldest first, telling the operator (as the
// station, not one run) of each that gets recorded; true once none is kept. The first the journal
// refuses stops the round: the rest wait for the next call, in their order.
bool Station::sendHeldOutcomes()
{
    while (!m_heldOutcomes.empty()) {
        const HeldOutcome& held = m_heldOutcomes.front();
        if (!m_journal->finish(held.journalId, held.state, held.reason, held.exportFiles).ok())
            return false;
        m_operator.showMessage(OutcomeRecordedLateMessage(held.serialNumber), kProductCaption,
                               MessageIcon::None);
        m_heldOutcomes.pop_front();
    }
    return true;
}

// At the stop: one more try, then the operator is told of what stays
// "writing" (the next start reports those rows as it reports a crash's).
void Station::giveUpHeldOutcomes()
{
    if (m_heldOutcomes.empty() || sendHeldOutcomes())
        return;
    QStringList serials;
    for (const HeldOutcome& held : m_heldOutcomes)
        serials << held.serialNumber;
    m_heldOutcomes.clear();
    m_operator.showMessage(OutcomesNotRecordedMessage(serials), kErrorCaption, MessageIcon::None);
}

bool Station::programToken(Run& run, TokenSession& session)
{
    const ByteString& seed = run.seed.bytes;
    const int32_t result =
        session.writeSeed(m_customerKey, seed.data(), static_cast<int>(seed.size()));
    session.close();
    if (result != TOKEN_OK)
        run.tell.showMessage(ProgramFailedMessage(result), kErrorCaption, MessageIcon::None);
    finishAttempt(run, result == TOKEN_OK);
    return result == TOKEN_OK;
}

void Station::endRun(Run& run)
{
    WipeText(run.request.seedText);
    WipeText(run.seedText);
    {
        std::lock_guard lock(m_lock);
        m_runActive = false;
        m_stopRequested = false;
    }
    emit burnDone();
}

// Success: the export record, the journal, the log row, the message, then
// the counters.
void Station::finishAttempt(Run& run, bool succeeded)
{
    const BurnRequest& request = run.request;
    run.attempted = true;
    run.succeeded = succeeded;
    disarm();
    // The seed written spends the token's user; otherwise the next token gets it.
    if (succeeded)
        run.takenUser.reset();
    else
        giveBackUser(run);
    QString userName;
    {
        std::lock_guard lock(m_lock);
        ++m_tally.total;
        if (succeeded && request.exportRecord)
            m_tally.userName = request.userName;
        userName = m_tally.userName;
    }
    // A production line's row names the token's own user, and none for a
    // token that was not programmed: its user goes on to the next token.
    if (request.automatic)
        userName = succeeded ? request.userName : QString();

    TokenOutcome outcome;
    outcome.readerName = m_readerName;
    outcome.serialNumber = request.serialNumber;
    outcome.automatic = request.automatic;
    outcome.userName = request.userName;
    outcome.again = succeeded && run.again;
    outcome.result = succeeded ? TokenOutcome::Result::Programmed : TokenOutcome::Result::Failed;
    QString missing;
    if (succeeded) {
        m_programmed.insert(request.serialNumber);
        // A token whose record did not reach every export file holds a seed
        // that is recorded only in part: never a plain success.
        if (request.exportRecord) {
            const ExportFiles::AppendResult recorded = withExportFiles([&] {
                return AppendExportRecord(m_exportFiles, run.tell,
                                          {request.userName, request.serialNumber, run.seedText,
                                           request.timing.timeStep});
            });
            for (const ExportFiles::FileOutcome& file : recorded.files)
                if (file.state == ExportFiles::RecordState::Written)
                    outcome.exportFiles << file.path;
            QStringList missed;
            if (!recorded.complete()) {
                missed << recorded.missingNames();
                outcome.reason = recorded.message(request.serialNumber);
            }
            if (request.exportPskc) {
                const QString problem = recordPskc(run, outcome);
                if (!problem.isEmpty()) {
                    missed << QStringLiteral("pskc");
                    run.tell.showMessage(problem, kAppTitle, MessageIcon::Stop);
                    outcome.reason +=
                        (outcome.reason.isEmpty() ? QString() : QStringLiteral("\n")) + problem;
                }
            }
            if (!missed.isEmpty()) {
                missing = missed.join(QStringLiteral(", "));
                outcome.result = TokenOutcome::Result::NotRecorded;
            }
        }
        // A record that is missing holds the reader like a failure.
        run.succeeded = missing.isEmpty();
    } else {
        outcome.reason = run.tell.text();
    }
    journalOutcome(run, outcome);

    if (succeeded) {
        emit attemptRecorded(request.serialNumber, userName,
                             !missing.isEmpty() ? NotRecordedResult(missing)
                             : outcome.again    ? kProgrammedAgainResult
                                                : QStringLiteral("Succeeded"));
        if (!request.automatic)
            m_operator.showMessage(missing.isEmpty() ? kProgrammedMessage
                                                     : ProgrammedNotRecordedMessage(missing),
                                   kProductCaption);
    } else {
        emit attemptRecorded(request.serialNumber, userName, QStringLiteral("Failed"));
    }
    {
        std::lock_guard lock(m_lock);
        ++(succeeded ? m_tally.success : m_tally.fail);
    }
    emit tallyChanged();
    emit tokenDone(outcome);
}

// The token's record in the PSKC file of the current set; the problem in
// the operator's words, empty when it is there.
QString Station::recordPskc(Run& run, TokenOutcome& outcome)
{
    if (!m_pskc)
        return QStringLiteral("No PSKC file is kept by this station.");
    PskcRecord record;
    record.serialNumber = run.request.serialNumber;
    record.seed = run.seed.bytes;
    record.algorithm = QString::fromLatin1(run.request.timing.algorithmName);
    record.timeStep = run.request.timing.timeStep;
    const PskcExport::Appended appended = m_pskc->append(m_exportFiles, record);
    if (appended.error.isEmpty()) {
        outcome.exportFiles << appended.path;
        return {};
    }
    return QStringLiteral("Failed to write the PSKC file %1\nThe record of token %2 is missing "
                          "from it: %3")
        .arg(appended.path, run.request.serialNumber, appended.error);
}

void Station::disarm()
{
    if (m_armed.exchange(false))
        emit armedChanged(false);
}

void Station::runSeal()
{
    const QString serialNumber = texts().serialNumber;
    TokenSession session;
    if (session.open(m_readerNameUtf8.constData(), m_events.context()) != TOKEN_OK) {
        m_operator.showMessage(AuthenticationMessage(TOKEN_ERR_CONNECT), kErrorCaption);
        return;
    }
    if (authenticateCard(session, serialNumber, m_operator) != TOKEN_OK)
        return;
    const int32_t result = session.seal(m_customerKey);
    session.close();
    m_operator.showMessage(SealMessage(result), kHintsCaption);
}
