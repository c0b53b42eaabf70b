// Programming one token: the work of a Burn press, on the station's thread.
#include "ClockTexts.h"
#include "ExportRecording.h"
#include "ProgrammingMessages.h"
#include "SeedForToken.h"
#include "Station.h"
#include "seed/SecretText.h"
#include "seed/SeedText.h"
#include "seed/SerialNumber.h"
#include "token/TokenSession.h"

namespace {

QString ReadText(const uint8_t* bytes, unsigned length)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
}

} // namespace

template <typename Work> auto Station::WithExportFiles(Work work)
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

// The order of a run: the seed is checked before any token command; then,
// over one connection held in one transaction, the token's serial number is
// read and compared with the one Burn was pressed for, the key is proved,
// the timing and clock are set and the seed is written. The connection is
// closed before any message shows, so a message left open holds no card.
void Station::RunBurn(const BurnRequest& request)
{
    if (request.exportRecord)
        WithExportFiles([this] { OpenExportFiles(m_exportFiles, m_operator); });

    QString seedText = NormalizeSeedText(request.seedText);
    const WipeTextOnExit wipeSeedText(seedText);
    if (request.serialNumber.isEmpty()) {
        m_operator.showMessage(kNoTokenMessage, kErrorCaption);
        FinishAttempt(false, request, {});
        return EndRun();
    }
    if (seedText.isEmpty()) {
        m_operator.showMessage(kNoSeedMessage, kErrorCaption);
        FinishAttempt(false, request, {});
        return EndRun();
    }
    const SeedForToken seed = DecodeSeedForToken(seedText);
    if (!seed.problem.isEmpty()) {
        m_operator.showMessage(seed.problem, kErrorCaption);
        FinishAttempt(false, request, {});
        return EndRun();
    }
    // More than a token holds: refused as the write would refuse it, but
    // before the token is touched at all.
    if (seed.bytes.size() > kTokenSeedMax) {
        m_operator.showMessage(ProgramFailedMessage(TOKEN_ERR_SEED_TOO_LONG), kErrorCaption);
        FinishAttempt(false, request, {});
        return EndRun();
    }

    if (m_triesLeft.value(request.serialNumber, -1) == 1 &&
        !m_operator.askQuestion(kLastTryQuestion, kProductCaption))
        return EndRun();

    TokenSession session;
    uint8_t serial[32] = {};
    uint8_t clock[64] = {};
    unsigned serialLength = sizeof serial;
    unsigned clockLength = sizeof clock;
    int32_t result = session.open(m_readerNameUtf8.constData(), m_events.context());
    if (result == TOKEN_OK)
        result = session.readInfo(serial, &serialLength, clock, &clockLength);
    if (result != TOKEN_OK) {
        session.close();
        m_operator.showMessage(AuthenticationMessage(TOKEN_ERR_CONNECT), kErrorCaption);
        return EndRun();
    }
    // Compared byte for byte and printable only: two serial numbers that are
    // not valid text could read the same on screen.
    const QByteArray rawSerial(reinterpret_cast<const char*>(serial),
                               static_cast<qsizetype>(serialLength));
    if (const QString problem = SerialNumberProblem(rawSerial); !problem.isEmpty()) {
        session.close();
        m_operator.showMessage(problem, kErrorCaption);
        FinishAttempt(false, request, {});
        return EndRun();
    }
    const QString onReader = QString::fromLatin1(rawSerial);
    if (onReader != request.serialNumber) {
        session.close();
        TokenTexts texts;
        texts.serialNumber = onReader;
        texts.tokenClock = ReadText(clock, clockLength);
        texts.computerClock = ClockText(QDateTime::currentDateTimeUtc());
        texts.tips = QStringLiteral("Token or card detected");
        SetTexts(texts);
        emit tokenRead(onReader);
        m_operator.showMessage(TokenSwappedMessage(onReader, request.serialNumber), kErrorCaption);
        return EndRun();
    }

    if (!ConfigureToken(session, request))
        return EndRun();
    m_armed = true;
    emit armedChanged(true);
    if (m_stopRequested) {
        session.close();
        Disarm();
        return EndRun();
    }
    ProgramToken(session, request, seedText, seed.bytes);
    EndRun();
}

void Station::EndRun()
{
    {
        std::lock_guard lock(m_lock);
        m_runActive = false;
        m_stopRequested = false;
    }
    emit burnDone();
}

int32_t Station::AuthenticateCard(TokenSession& session, const QString& serialNumber)
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
    m_operator.showMessage(AuthenticationMessage(result), kErrorCaption);
    return result;
}

bool Station::ConfigureToken(TokenSession& session, const BurnRequest& request)
{
    if (AuthenticateCard(session, request.serialNumber) != TOKEN_OK)
        return false;

    if (request.syncClock)
        UpdateComputerClock();
    const TokenTexts texts = this->texts();
    const QString clock = request.syncClock ? texts.computerClock : texts.tokenClock;
    const std::optional<std::string> timeText = ToTokenTimeText(clock.toStdString());
    if (!timeText) {
        session.close();
        m_operator.showMessage(BadClockTextMessage(clock), kErrorCaption);
        return false;
    }

    const int32_t result =
        session.configure(m_customerKey, request.timing.algorithmName, request.timing.timeStep,
                          request.timing.displayTime, timeText->c_str(), 0);
    if (result != TOKEN_OK) {
        session.close();
        m_operator.showMessage(ConfigFailedMessage(result), kErrorCaption);
        return false;
    }
    return true;
}

bool Station::ProgramToken(TokenSession& session, const BurnRequest& request,
                           const QString& seedText, const ByteString& seed)
{
    const int32_t result =
        session.writeSeed(m_customerKey, seed.data(), static_cast<int>(seed.size()));
    session.close();
    if (result != TOKEN_OK)
        m_operator.showMessage(ProgramFailedMessage(result), kErrorCaption);
    FinishAttempt(result == TOKEN_OK, request, seedText);
    return result == TOKEN_OK;
}

// Success: the export record, the log row, the message, then the counters.
void Station::FinishAttempt(bool succeeded, const BurnRequest& request, const QString& seedText)
{
    Disarm();
    QString userName;
    {
        std::lock_guard lock(m_lock);
        ++m_tally.total;
        if (succeeded && request.exportRecord)
            m_tally.userName = request.userName;
        userName = m_tally.userName;
    }

    if (succeeded) {
        // A token whose record did not reach every export file holds a seed
        // that is recorded only in part: never a plain success.
        QString missing;
        if (request.exportRecord) {
            const ExportFiles::AppendResult recorded = WithExportFiles([&] {
                return AppendExportRecord(
                    m_exportFiles, m_operator,
                    {request.userName, request.serialNumber, seedText, request.timing.timeStep});
            });
            if (!recorded.complete())
                missing = recorded.missingNames();
        }
        emit attemptRecorded(request.serialNumber, userName,
                             missing.isEmpty() ? QStringLiteral("Succeeded")
                                               : NotRecordedResult(missing));
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
}

void Station::Disarm()
{
    if (m_armed.exchange(false))
        emit armedChanged(false);
}

void Station::RunSeal()
{
    const QString serialNumber = texts().serialNumber;
    TokenSession session;
    if (session.open(m_readerNameUtf8.constData(), m_events.context()) != TOKEN_OK) {
        m_operator.showMessage(AuthenticationMessage(TOKEN_ERR_CONNECT), kErrorCaption);
        return;
    }
    if (AuthenticateCard(session, serialNumber) != TOKEN_OK)
        return;
    const int32_t result = session.seal(m_customerKey);
    session.close();
    m_operator.showMessage(SealMessage(result), kHintsCaption);
}
