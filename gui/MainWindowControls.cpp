// The window's single-token controls, for the chosen reader line: Burn,
// Stop and Seal; the log and its counters. Window's thread only.
#include "ClockTexts.h"
#include "MainWindow.h"
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

// Burn hands the press to the station with what the controls say now; Stop
// (the button reads "Stop" while a seed is being written) keeps it from
// writing. Either way the button waits for the press's work.
void MainWindow::burn()
{
    Station* station = this->station();
    if (!station)
        return;
    m_burnHeld = true;
    ui->burnButton->setEnabled(false);
    QTimer::singleShot(kBurnHoldMs, this, [this] {
        m_burnHeld = false;
        releaseBurnButton();
    });

    if (station->armed()) {
        station->stopProgramming();
        return;
    }
    const WindowTexts texts = m_texts.copy();
    BurnRequest request;
    request.serialNumber = texts.serialNumber;
    request.seedText = ui->seedEdit->text();
    ui->seedEdit->forgetHistory(); // the seed is taken: what was typed goes
    request.timing = readTimingOptions();
    request.syncClock = syncClockChecked();
    request.exportRecord = exportChecked();
    request.exportPskc = ui->pskcCheck->isChecked();
    request.userName = ui->userNameEdit->text();
    m_burnRunning = true;
    m_burnReader = station->readerName();
    station->burn(request);
}

// The press's station told its end, or it was stopped: a press it had not
// taken up yet then never ends by itself.
void MainWindow::finishBurn(const QString& readerName)
{
    if (!m_burnRunning || readerName != m_burnReader)
        return;
    m_burnRunning = false;
    releaseBurnButton();
}

void MainWindow::releaseBurnButton()
{
    if (!m_burnHeld && !m_burnRunning)
        ui->burnButton->setEnabled(true);
    refreshTokenView();
}

// The log says where the seeds of this run are recorded.
void MainWindow::showExportSet(const QString& hexPath)
{
    const QFileInfo file(hexPath);
    const QString stem = file.fileName().section(QLatin1Char('.'), 0, 0);
    addLogRow(
        QString(), QString(),
        tr("Export files %1.*.csv in %2").arg(stem, QDir::toNativeSeparators(file.absolutePath())));
}

void MainWindow::showArmed(const QString& readerName, bool armed)
{
    if (readerName == m_lines.current())
        ui->burnButton->setText(armed ? tr("Stop") : tr("Burn"));
}

void MainWindow::seal()
{
    if (Station* station = this->station())
        station->seal();
}

void MainWindow::recordAttempt(const QString& readerName, const QString& serialNumber,
                               const QString& userName, const QString& result)
{
    m_texts.update([&userName](WindowTexts& texts) { texts.userName = userName; });
    addLogRow(serialNumber, userName, result, readerName);
}

// The newest row on top; the time is local, with a trailing blank.
void MainWindow::addLogRow(const QString& serialNumber, const QString& userName,
                           const QString& result, const QString& readerName)
{
    const QString time = LogTimeText(QDateTime::currentDateTime());
    auto* row = new QTreeWidgetItem(QStringList{time, serialNumber, userName, result, readerName});
    for (int column = 0; column < row->columnCount(); ++column) {
        row->setTextAlignment(column, Qt::AlignCenter);
        row->setToolTip(column, row->text(column)); // whole, where the column shortens it
    }
    ui->logList->insertTopLevelItem(0, row);
}

void MainWindow::showCounters()
{
    const StationTally tally = m_lines.total();
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
