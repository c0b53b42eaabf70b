#include "TokenProgrammer.h"

#include "ClockTexts.h"
#include "ProgrammingMessages.h"
#include "SeedForToken.h"
#include "token/TokenCommands.h"

#include <QDateTime>

namespace {

QByteArray ReaderName()
{
    return g_readerName.get().toUtf8();
}

} // namespace

TokenProgrammer::TokenProgrammer(ConsoleWindow& window, BurnState& burn)
    : m_window(window), m_burn(burn)
{}

int32_t TokenProgrammer::AuthenticateCard()
{
    const int32_t result = TokenAuthenticate(ReaderName().constData(), g_customerKey);
    if (result != TOKEN_OK)
        m_window.op().showMessage(AuthenticationMessage(result), kErrorCaption);
    return result;
}

void TokenProgrammer::UpdateComputerClock()
{
    const QString now = ClockText(QDateTime::currentDateTimeUtc());
    m_window.state().update([&](ConsoleTexts& texts) { texts.computerClock = now; });
}

bool TokenProgrammer::ConfigureToken()
{
    if (AuthenticateCard() != TOKEN_OK)
        return false;

    const TimingOptions options = m_window.readTimingOptions();
    const bool syncClock = m_window.syncClockChecked();
    if (syncClock)
        UpdateComputerClock();
    const ConsoleTexts texts = m_window.state().texts();
    const QString clock = syncClock ? texts.computerClock : texts.tokenClock;

    const std::optional<std::string> timeText = ToTokenTimeText(clock.toStdString());
    if (!timeText) {
        m_window.op().showMessage(BadClockTextMessage(clock), kErrorCaption);
        return false;
    }

    const int32_t result =
        TokenConfigure(ReaderName().constData(), g_customerKey, options.algorithmName,
                       options.timeStep, options.displayTime, timeText->c_str(), 0);
    if (result != TOKEN_OK) {
        m_window.op().showMessage(ConfigFailedMessage(result), kErrorCaption);
        return false;
    }
    return true;
}

bool TokenProgrammer::ProgramToken()
{
    // The serial number is taken once: the reader monitor may clear the field
    // while this attempt runs, and the row must name the token that was written.
    const QString serialNumber = m_window.state().texts().serialNumber;
    if (serialNumber.isEmpty()) {
        m_window.op().showMessage(kNoTokenMessage, kErrorCaption);
        FinishAttempt(false, serialNumber, {});
        return false;
    }

    m_window.normalizeSeedText();
    const QString seedText = m_window.state().texts().seedText;
    if (seedText.isEmpty()) {
        m_window.op().showMessage(kNoSeedMessage, kErrorCaption);
        FinishAttempt(false, serialNumber, {});
        return false;
    }

    const SeedForToken seed = DecodeSeedForToken(seedText);
    if (!seed.problem.isEmpty()) {
        m_window.op().showMessage(seed.problem, kErrorCaption);
        FinishAttempt(false, serialNumber, {});
        return false;
    }

    if (AuthenticateCard() != TOKEN_OK)
        return false;

    const int32_t result = TokenWriteSeed(ReaderName().constData(), g_customerKey,
                                          seed.bytes.data(), static_cast<int>(seed.bytes.size()));
    if (result != TOKEN_OK)
        m_window.op().showMessage(ProgramFailedMessage(result), kErrorCaption);
    FinishAttempt(result == TOKEN_OK, serialNumber, seedText);
    return result == TOKEN_OK;
}

void TokenProgrammer::FinishAttempt(bool succeeded, const QString& serialNumber,
                                    const QString& seedText)
{
    // Relabel first: a Stop press the window handles before the relabel still
    // finds programming armed and is taken as Stop, not as a new Burn.
    m_window.setBurnText(QStringLiteral("Burn"));
    m_burn.burnActive = 0;
    ++g_totalCount;

    if (succeeded) {
        m_window.appendExportRecord(serialNumber, seedText);
        AddLogRow(serialNumber, m_window.state().texts().userName, QStringLiteral("Succeeded"));
        m_window.op().showMessage(kProgrammedMessage, kProductCaption);
        ++g_successCount;
    } else {
        AddLogRow(serialNumber, m_window.state().texts().userName, QStringLiteral("Failed"));
        ++g_failCount;
    }
    m_window.showCounters();
    // The token left on the reader is not programmed again.
    g_programPending = 0;
}

void TokenProgrammer::AddLogRow(const QString& serialNumber, const QString& userName,
                                const QString& result)
{
    m_window.addLogRow(serialNumber, userName, result);
}

void TokenProgrammer::OnSeal()
{
    if (AuthenticateCard() != TOKEN_OK)
        return;
    const int32_t result = TokenSeal(ReaderName().constData(), g_customerKey);
    m_window.op().showMessage(SealMessage(result), kHintsCaption);
}
