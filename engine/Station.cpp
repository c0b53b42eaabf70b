#include "Station.h"

#include "ClockTexts.h"
#include "seed/SecretText.h"
#include "token/TokenSession.h"

#include <QDateTime>

using namespace std::chrono_literals;

namespace {

constexpr auto kServiceRetry = 500ms;
// A token present but not read (a failed read) is read again this often.
constexpr DWORD kReadRetryMs = 200;
const char kPlugAndPlay[] = "\\\\?PnP?\\Notification";
const QString kNotDetected = QStringLiteral("Token or card not detected");
const QString kDetected = QStringLiteral("Token or card detected");
const QString kNoService =
    QStringLiteral("The smart-card service is not answering; waiting for it to come back.");

// The platform counts a reader's card events (insertions and removals) in
// the upper 16 bits of its state.
DWORD EventCount(DWORD state)
{
    return state >> 16;
}

bool SameTexts(const TokenTexts& a, const TokenTexts& b)
{
    return a.serialNumber == b.serialNumber && a.tokenClock == b.tokenClock &&
           a.computerClock == b.computerClock && a.tips == b.tips;
}

} // namespace

Station::Station(QString readerName, const char* customerKey, Operator& op,
                 ExportFiles& exportFiles, StationTally tally)
    : m_readerName(std::move(readerName)), m_readerNameUtf8(m_readerName.toUtf8()),
      m_customerKey(customerKey), m_operator(op), m_exportFiles(exportFiles),
      m_tally(std::move(tally)), m_thread(0ms, [this] { m_events.wake(); })
{}

Station::~Station()
{
    stopAndWait();
}

void Station::start()
{
    if (!m_thread.running())
        m_thread.start([this] { watchOnce(); }, [this] { m_events.dropContext(); });
}

void Station::stopAndWait()
{
    m_thread.stopAndWait();
    // The watching thread has ended: its kept outcomes are this thread's now.
    giveUpHeldOutcomes();
}

void Station::burn(const BurnRequest& request)
{
    {
        std::lock_guard lock(m_lock);
        m_requests.push_back({Request::Burn, request, {}});
    }
    m_events.wake();
}

void Station::setAutoProgramming(std::optional<AutoProgramming> settings)
{
    {
        std::lock_guard lock(m_lock);
        m_auto = std::move(settings);
    }
    m_events.wake();
}

std::optional<AutoProgramming> Station::autoProgramming() const
{
    std::lock_guard lock(m_lock);
    return m_auto;
}

void Station::programPresent(const AutoProgramming& settings)
{
    {
        std::lock_guard lock(m_lock);
        m_requests.push_back({Request::ProgramPresent, {}, settings});
    }
    m_events.wake();
}

void Station::stopProgramming()
{
    {
        std::lock_guard lock(m_lock);
        // A press not yet taken up is dropped; a run under way keeps from
        // writing its seed.
        std::erase_if(m_requests, [](const Pending& r) { return r.kind != Request::Seal; });
        if (m_runActive)
            m_stopRequested = true;
    }
    m_events.wake();
}

void Station::seal()
{
    {
        std::lock_guard lock(m_lock);
        m_requests.push_back({Request::Seal, {}, {}});
    }
    m_events.wake();
}

TokenTexts Station::texts() const
{
    std::lock_guard lock(m_lock);
    return m_texts;
}

StationTally Station::tally() const
{
    std::lock_guard lock(m_lock);
    return m_tally;
}

void Station::watchOnce()
{
    serveRequests();
    if (m_thread.stopRequested())
        return;

    if (!m_events.ensureContext()) {
        if (!m_serviceLost) {
            m_serviceLost = true;
            m_firstLook = true;
            m_readerState = SCARD_STATE_UNAWARE;
            m_cardEvents.reset();
            m_detectPending = true;
            setTexts({QString(), QString(), QString(), kNoService});
        }
        m_events.pause(kServiceRetry);
        return;
    }
    m_serviceLost = false;

    SCARD_READERSTATE states[2]{};
    states[0].szReader = m_readerNameUtf8.constData();
    states[0].dwCurrentState = m_readerState;
    states[1].szReader = kPlugAndPlay;
    states[1].dwCurrentState = SCARD_STATE_UNAWARE;
    const bool unread = (m_readerState & SCARD_STATE_PRESENT) != 0 && m_detectPending;
    const bool readerKnown = (m_readerState & SCARD_STATE_UNKNOWN) == 0;
    // A reader that is not there is left out: the wait is for the list to change.
    const LONG result = readerKnown
                            ? m_events.waitForChange(states, 2, unread ? kReadRetryMs : INFINITE)
                            : m_events.waitForChange(&states[1], 1);

    switch (result) {
    case SCARD_S_SUCCESS:
        if (readerKnown) {
            m_readerState = states[0].dwEventState & ~SCARD_STATE_CHANGED;
            watchCard(states[0].dwEventState);
        } else {
            m_readerState = SCARD_STATE_UNAWARE; // the list changed: look again
        }
        return;
    case SCARD_E_CANCELLED:
        return;
    case SCARD_E_TIMEOUT:
        if (unread)
            watchCard(m_readerState);
        return;
    case SCARD_E_UNKNOWN_READER:
        m_readerState = SCARD_STATE_UNKNOWN;
        watchCard(SCARD_STATE_UNKNOWN);
        return;
    default:
        // The service went away, or the context is no longer good: start
        // again with a new one, after a pause in case it fails at once again.
        m_events.dropContext();
        m_readerState = SCARD_STATE_UNAWARE;
        m_cardEvents.reset();
        m_detectPending = true;
        m_serviceLost = true;
        m_firstLook = true;
        setTexts({QString(), QString(), QString(), kNoService});
        m_events.pause(kServiceRetry);
        return;
    }
}

void Station::serveRequests()
{
    for (;;) {
        Pending next;
        {
            std::lock_guard lock(m_lock);
            if (m_requests.empty())
                return;
            next = std::move(m_requests.front());
            m_requests.pop_front();
            if (next.kind == Request::Burn)
                m_runActive = true;
        }
        switch (next.kind) {
        case Request::Burn:
            runBurn(next.burn);
            // The press's copy of the seed goes with the run; the edit's own
            // is left alone, since WipeText only releases a shared text.
            WipeText(next.burn.seedText);
            break;
        case Request::ProgramPresent:
            // The token it was for is served: the watch need not read it again.
            if (runAuto(next.settings, true) && m_cardEvents)
                m_detectPending = false;
            break;
        case Request::Seal:
            runSeal();
            break;
        }
    }
}

void Station::watchCard(DWORD eventState)
{
    const bool present = (eventState & SCARD_STATE_PRESENT) != 0 &&
                         (eventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE)) == 0;
    if (!present) {
        m_firstLook = false;
        m_cardEvents.reset();
        m_detectPending = true;
        showNoCard();
        return;
    }
    // The same count is the same card, however often the platform woke us
    // for it (our own connections, power changes); another count is a card
    // presented since, even if it was lifted and presented again meanwhile.
    const DWORD count = EventCount(eventState);
    if (!m_cardEvents || *m_cardEvents != count) {
        m_cardEvents = count;
        m_detectPending = true;
        // A card already there when the watch began may have been
        // programmed a moment ago: auto-programming takes only cards
        // presented while it is on.
        m_autoOnPresent = !m_firstLook && autoProgramming().has_value();
    }
    m_firstLook = false;
    if (!m_detectPending)
        return;
    const std::optional<AutoProgramming> settings = autoProgramming();
    const bool served = m_autoOnPresent && settings ? runAuto(*settings, false) : detectToken();
    if (served)
        m_detectPending = false;
}

bool Station::detectToken()
{
    uint8_t serial[32] = {};
    uint8_t clock[64] = {};
    unsigned serialLength = sizeof serial;
    unsigned clockLength = sizeof clock;
    TokenSession session;
    int32_t result = session.open(m_readerNameUtf8.constData(), m_events.context());
    if (result == TOKEN_OK)
        result = session.readInfo(serial, &serialLength, clock, &clockLength);
    session.close();

    if (result != TOKEN_OK) {
        setTexts({QString(), QString(), QString(), kNotDetected});
        return false;
    }
    // The texts come without a terminating zero: their lengths bound them.
    TokenTexts texts;
    texts.serialNumber = QString::fromUtf8(reinterpret_cast<const char*>(serial), serialLength);
    texts.tokenClock = QString::fromUtf8(reinterpret_cast<const char*>(clock), clockLength);
    texts.computerClock = ClockText(QDateTime::currentDateTimeUtc());
    texts.tips = kDetected;
    setTexts(texts);
    if (!texts.serialNumber.isEmpty())
        emit tokenRead(texts.serialNumber);
    return true;
}

void Station::showNoCard()
{
    setTexts({QString(), QString(), QString(), kNotDetected});
}

void Station::updateComputerClock()
{
    TokenTexts texts = this->texts();
    texts.computerClock = ClockText(QDateTime::currentDateTimeUtc());
    setTexts(texts);
}

void Station::setTexts(const TokenTexts& texts)
{
    {
        std::lock_guard lock(m_lock);
        if (SameTexts(texts, m_texts))
            return;
        m_texts = texts;
    }
    emit textsChanged();
}
