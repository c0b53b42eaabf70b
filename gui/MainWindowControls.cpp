// The window's side of the readers and the token: the reader list, Connect,
// Burn and Seal, and what the connected station tells. Window's thread only.
#include "ClockTexts.h"
#include "MainWindow.h"
#include "ReaderList.h"
#include "StationKey.h"
#include "ui_MainWindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstring>

namespace {
// After a press the Burn button stays disabled at least this long, so that
// a double click cannot press twice.
constexpr int kBurnHoldMs = 500;
} // namespace

// The selection is the operator's: the list never chooses a reader, not even
// the first one into an empty list, and deleting the chosen reader leaves
// none chosen rather than moving the choice to a neighbour.
void MainWindow::OnReaderList(const QString& readerListText)
{
    if (readerListText.isEmpty()) {
        m_state.update([](ConsoleTexts& texts) {
            texts.serialNumber.clear();
            texts.tokenClock.clear();
            texts.computerClock.clear();
            texts.tips = tr("No card reader detected.");
        });
    }

    QStringList entries;
    for (int i = 0; i < ui->readerCombo->count(); ++i)
        entries << ui->readerCombo->itemText(i);
    const ReaderListChanges changes = FollowReaderList(entries, readerListText);
    const int selected = ui->readerCombo->currentIndex();
    for (int index : changes.removeAt) {
        ui->readerCombo->removeItem(index);
        if (index == selected)
            ui->readerCombo->setCurrentIndex(-1);
    }
    const int kept = ui->readerCombo->currentIndex();
    for (const QString& name : changes.append)
        ui->readerCombo->addItem(name);
    ui->readerCombo->setCurrentIndex(kept);

    if (!readerListText.isEmpty() && ui->readerCombo->currentIndex() < 0)
        m_state.update(
            [](ConsoleTexts& texts) { texts.tips = tr("Please select a card reader."); });
    OnTokenRefresh();
}

// No service, or no reader: the list empties and the token fields clear; the
// status line keeps what it said.
void MainWindow::OnReaderListFailed()
{
    ui->readerCombo->clear();
    m_state.update([](ConsoleTexts& texts) {
        texts.serialNumber.clear();
        texts.tokenClock.clear();
        texts.computerClock.clear();
    });
    OnTokenRefresh();
}

void MainWindow::OnConnect()
{
    const int selected = ui->readerCombo->currentIndex();
    if (selected < 0) {
        m_state.update(
            [](ConsoleTexts& texts) { texts.tips = tr("Please select a card reader!"); });
        UpdateData();
        return;
    }
    const QString readerName = ui->readerCombo->itemText(selected);
    // While the old station ends, the window keeps serving events, and so a
    // second press can arrive here: the first press connects to the reader
    // chosen last.
    m_pendingReader = readerName;
    if (m_connecting)
        return;
    m_connecting = true;
    while (!m_pendingReader.isEmpty() && !m_shutDown)
        ConnectStation(std::exchange(m_pendingReader, QString()));
    m_connecting = false;
}

// The counters and the last user name carry over from the station before:
// they count the window's attempts, whichever reader they were made on.
void MainWindow::ConnectStation(const QString& readerName)
{
    // The station on that reader already watches it, and knows the token
    // on it: starting over would only read that token again.
    if (m_station && m_station->readerName() == readerName)
        return;
    StationTally tally;
    if (m_station) {
        tally = m_station->tally();
        m_station->stopAndWait();
        m_station.reset();
    }
    if (m_shutDown)
        return;
    m_station =
        std::make_unique<Station>(readerName, g_customerKey, m_operator, m_exportFiles, tally);
    Station* station = m_station.get();
    connect(station, &Station::textsChanged, this, &MainWindow::OnStationTexts,
            Qt::QueuedConnection);
    connect(
        station, &Station::tokenRead, this, [this] { selectSeedForSerial(); },
        Qt::QueuedConnection);
    connect(station, &Station::armedChanged, this, &MainWindow::OnArmedChanged,
            Qt::QueuedConnection);
    connect(station, &Station::attemptRecorded, this, &MainWindow::OnAttemptRecorded,
            Qt::QueuedConnection);
    connect(station, &Station::tallyChanged, this, &MainWindow::ShowCounters, Qt::QueuedConnection);
    connect(station, &Station::burnDone, this, &MainWindow::OnBurnDone, Qt::QueuedConnection);
    connect(station, &Station::exportSetOpened, this, &MainWindow::OnExportSetOpened,
            Qt::QueuedConnection);
    station->start();
}

void MainWindow::OnStationTexts()
{
    if (!m_station)
        return;
    const TokenTexts token = m_station->texts();
    m_state.update([&token](ConsoleTexts& texts) {
        texts.serialNumber = token.serialNumber;
        texts.tokenClock = token.tokenClock;
        texts.computerClock = token.computerClock;
        texts.tips = token.tips;
    });
    OnTokenRefresh();
}

// Burn hands the press to the station with what the controls say now; Stop
// (the button reads "Stop" while a seed is being written) keeps it from
// writing. Either way the button waits for the press's work.
void MainWindow::OnBurn()
{
    if (!m_station)
        return;
    m_burnHeld = true;
    ui->burnButton->setEnabled(false);
    QTimer::singleShot(kBurnHoldMs, this, [this] {
        m_burnHeld = false;
        ReleaseBurnButton();
    });

    if (m_station->armed()) {
        m_station->stopProgramming();
        return;
    }
    const ConsoleTexts texts = m_state.texts();
    BurnRequest request;
    request.serialNumber = texts.serialNumber;
    request.seedText = ui->seedEdit->text();
    ui->seedEdit->forgetHistory(); // the seed is taken: what was typed goes
    request.timing = readTimingOptions();
    request.syncClock = syncClockChecked();
    request.exportRecord = exportChecked();
    request.userName = ui->userNameEdit->text();
    m_burnRunning = true;
    m_station->burn(request);
}

void MainWindow::OnBurnDone()
{
    m_burnRunning = false;
    ReleaseBurnButton();
}

void MainWindow::ReleaseBurnButton()
{
    if (!m_burnHeld && !m_burnRunning)
        ui->burnButton->setEnabled(true);
    OnTokenRefresh();
}

// The log says where the seeds of this run are recorded.
void MainWindow::OnExportSetOpened(const QString& hexPath)
{
    const QFileInfo file(hexPath);
    const QString stem = file.fileName().section(QLatin1Char('.'), 0, 0);
    AddLogRow(
        QString(), QString(),
        tr("Export files %1.*.csv in %2").arg(stem, QDir::toNativeSeparators(file.absolutePath())));
}

void MainWindow::OnArmedChanged(bool armed)
{
    ui->burnButton->setText(armed ? tr("Stop") : tr("Burn"));
}

void MainWindow::OnSeal()
{
    if (m_station)
        m_station->seal();
}

void MainWindow::OnAttemptRecorded(const QString& serialNumber, const QString& userName,
                                   const QString& result)
{
    m_state.update([&userName](ConsoleTexts& texts) { texts.userName = userName; });
    AddLogRow(serialNumber, userName, result);
}

// The newest row on top; the time is local, with a trailing blank.
void MainWindow::AddLogRow(const QString& serialNumber, const QString& userName,
                           const QString& result)
{
    const QString time = LogTimeText(QDateTime::currentDateTime());
    auto* row = new QTreeWidgetItem(QStringList{time, serialNumber, userName, result});
    for (int column = 0; column < row->columnCount(); ++column)
        row->setTextAlignment(column, Qt::AlignCenter);
    ui->logList->insertTopLevelItem(0, row);
}

void MainWindow::ShowCounters()
{
    const StationTally tally = m_station ? m_station->tally() : StationTally{};
    ui->totalCount->setText(QString::number(tally.total));
    ui->successCount->setText(QString::number(tally.success));
    ui->failCount->setText(QString::number(tally.fail));
}

TimingOptions MainWindow::readTimingOptions() const
{
    TimingOptions timing;
    timing.timeStep = ui->step30Radio->isChecked() ? 30 : 60;
    std::strncpy(timing.algorithmName, ui->sha1Radio->isChecked() ? "SHA1" : "SHA256",
                 sizeof timing.algorithmName - 1);
    if (ui->display15Radio->isChecked())
        timing.displayTime = 15;
    else if (ui->display30Radio->isChecked())
        timing.displayTime = 30;
    else if (ui->display60Radio->isChecked())
        timing.displayTime = 60;
    else
        timing.displayTime = 120;
    return timing;
}

bool MainWindow::syncClockChecked() const
{
    return ui->syncClockCheck->isChecked();
}

bool MainWindow::exportChecked() const
{
    return ui->exportCheck->isChecked();
}
