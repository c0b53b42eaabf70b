#include "ReaderLines.h"

#include "ReaderList.h"

#include <algorithm>

ReaderLines::ReaderLines(const char* customerKey, Operator& op, ExportFiles& exportFiles)
    : m_customerKey(customerKey), m_operator(op), m_exportFiles(exportFiles)
{}

// The window that observes the lines is going away: nothing is told.
ReaderLines::~ReaderLines()
{
    blockSignals(true);
    stopAll();
}

ReaderLines::Line* ReaderLines::find(const QString& readerName)
{
    auto it = std::find_if(m_lines.begin(), m_lines.end(),
                           [&](const Line& line) { return line.readerName == readerName; });
    return it == m_lines.end() ? nullptr : &*it;
}

const ReaderLines::Line* ReaderLines::find(const QString& readerName) const
{
    return const_cast<ReaderLines*>(this)->find(readerName);
}

// The list follows the platform as the single reader list always did: a
// listed line whose name no longer occurs in the text goes, new names come
// at the end.
void ReaderLines::followList(const QString& readerListText)
{
    QStringList listed;
    for (const Line& line : m_lines)
        if (line.listed)
            listed << line.readerName;
    const ReaderListChanges changes = FollowReaderList(listed, readerListText);
    for (int index : changes.removeAt)
        find(listed[index])->listed = false;
    for (const QString& name : changes.append) {
        if (Line* line = find(name)) {
            line->listed = true;
        } else {
            Line added;
            added.readerName = name;
            m_lines.push_back(std::move(added));
        }
    }
    dropIdleUnlisted();
    emit linesChanged();
}

void ReaderLines::listFailed()
{
    for (Line& line : m_lines)
        line.listed = false;
    dropIdleUnlisted();
    emit linesChanged();
}

void ReaderLines::dropIdleUnlisted()
{
    if (m_settling)
        return; // a line being stopped is still in use; settle drops it after
    std::erase_if(m_lines, [this](const Line& line) {
        const bool idle = !line.listed && !line.wanted && !line.station;
        if (idle) {
            m_dropped.total += line.tally.total;
            m_dropped.success += line.tally.success;
            m_dropped.fail += line.tally.fail;
            if (line.readerName == m_current)
                m_current.clear();
        }
        return idle;
    });
}

QStringList ReaderLines::names() const
{
    QStringList names;
    for (const Line& line : m_lines)
        names << line.readerName;
    return names;
}

bool ReaderLines::contains(const QString& readerName) const
{
    return find(readerName) != nullptr;
}

void ReaderLines::setConnected(const QString& readerName, bool connected)
{
    Line* line = find(readerName);
    if (!line || (connected && m_shutDown))
        return;
    line->wanted = connected;
    settle();
}

bool ReaderLines::connected(const QString& readerName) const
{
    const Line* line = find(readerName);
    return line && line->wanted;
}

// Runs until every line's station is as its Connect says. A call that comes
// while a station is being stopped only changes what is wanted; the loop
// here then catches up with it.
void ReaderLines::settle()
{
    if (m_settling)
        return;
    m_settling = true;
    for (bool changed = true; changed;) {
        changed = false;
        for (const QString& name : names()) {
            Line* line = find(name);
            if (line && line->wanted && !line->station && !m_shutDown) {
                start(*line);
                changed = true;
            } else if (line && !line->wanted && line->station) {
                stop(name);
                changed = true;
            }
        }
    }
    m_settling = false;
    dropIdleUnlisted();
    emit linesChanged();
}

void ReaderLines::start(Line& line)
{
    line.station = std::make_unique<Station>(line.readerName, m_customerKey, m_operator,
                                             m_exportFiles, line.tally);
    line.station->setJournal(m_journal);
    line.station->setSeedSeal(m_seedSeal);
    line.station->setPskcExport(m_pskc);
    Station* station = line.station.get();
    const QString name = line.readerName;
    // Queued: the signals come from the station's thread. A call may arrive
    // after its station is gone: each looks its line up by name.
    connect(
        station, &Station::textsChanged, this, [this, name] { emit lineChanged(name); },
        Qt::QueuedConnection);
    connect(
        station, &Station::tallyChanged, this, [this, name] { updateTally(name); },
        Qt::QueuedConnection);
    connect(
        station, &Station::tokenRead, this,
        [this, name](const QString& serial) { emit tokenRead(name, serial); },
        Qt::QueuedConnection);
    connect(
        station, &Station::armedChanged, this,
        [this, name](bool armed) { emit armedChanged(name, armed); }, Qt::QueuedConnection);
    connect(
        station, &Station::attemptRecorded, this,
        [this, name](const QString& serial, const QString& user, const QString& result) {
            emit attemptRecorded(name, serial, user, result);
        },
        Qt::QueuedConnection);
    connect(
        station, &Station::burnDone, this, [this, name] { emit burnDone(name); },
        Qt::QueuedConnection);
    connect(station, &Station::tokenDone, this, &ReaderLines::tokenDone, Qt::QueuedConnection);
    connect(station, &Station::exportSetOpened, this, &ReaderLines::exportSetOpened,
            Qt::QueuedConnection);
    station->setAutoProgramming(m_auto);
    station->start();
    emit linesChanged();
}

// The station finishes its run under way first; meanwhile the thread's
// events are served, and the lines may change under it.
void ReaderLines::stop(const QString& readerName)
{
    Station* station = find(readerName)->station.get();
    station->stopAndWait();
    Line* line = find(readerName);
    line->tally = station->tally();
    std::unique_ptr<Station> ended = std::move(line->station);
    ended.reset();
    emit lineChanged(readerName);
}

void ReaderLines::stopAll()
{
    m_shutDown = true;
    for (Line& line : m_lines)
        line.wanted = false;
    // stopAndWait may be re-entered for a station a settle further out is
    // stopping already; it returns once that station has ended.
    for (const QString& name : names())
        if (Line* line = find(name); line && line->station)
            line->station->stopAndWait();
    settle();
}

void ReaderLines::setCurrent(const QString& readerName)
{
    m_current = contains(readerName) ? readerName : QString();
}

Station* ReaderLines::station(const QString& readerName) const
{
    const Line* line = find(readerName);
    return line ? line->station.get() : nullptr;
}

TokenTexts ReaderLines::texts(const QString& readerName) const
{
    const Station* line = station(readerName);
    return line ? line->texts() : TokenTexts{};
}

StationTally ReaderLines::tally(const QString& readerName) const
{
    const Line* line = find(readerName);
    if (!line)
        return {};
    return line->station ? line->station->tally() : line->tally;
}

StationTally ReaderLines::total() const
{
    StationTally sum = m_dropped;
    for (const Line& line : m_lines) {
        const StationTally counts = tally(line.readerName);
        sum.total += counts.total;
        sum.success += counts.success;
        sum.fail += counts.fail;
    }
    return sum;
}

void ReaderLines::updateTally(const QString& readerName)
{
    if (Line* line = find(readerName); line && line->station)
        line->tally = line->station->tally();
    emit lineChanged(readerName);
}

void ReaderLines::setAutoProgramming(std::optional<AutoProgramming> settings)
{
    m_auto = std::move(settings);
    for (Line& line : m_lines)
        if (line.station)
            line.station->setAutoProgramming(m_auto);
}
