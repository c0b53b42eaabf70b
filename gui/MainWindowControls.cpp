// The window's controls as the worker threads see them: each call runs on the
// window's thread, the calling worker waiting for it.
#include "ClockTexts.h"
#include "MainWindow.h"
#include "ui_MainWindow.h"

#include <QDateTime>
#include <cstring>

QStringList MainWindow::readerEntries()
{
    return onWindowThread([this] {
        QStringList entries;
        for (int i = 0; i < ui->readerCombo->count(); ++i)
            entries << ui->readerCombo->itemText(i);
        return entries;
    });
}

int MainWindow::selectedReaderIndex()
{
    return onWindowThread([this] { return ui->readerCombo->currentIndex(); });
}

// The selection is the operator's: deleting the chosen reader leaves none
// chosen rather than moving the choice to a neighbour.
void MainWindow::deleteReaderEntry(int index)
{
    onWindowThread([this, index] {
        const bool selected = index == ui->readerCombo->currentIndex();
        ui->readerCombo->removeItem(index);
        if (selected)
            ui->readerCombo->setCurrentIndex(-1);
    });
}

// A new reader goes to the end of the list and is never chosen for the
// operator, not even the first one into an empty list.
void MainWindow::appendReaderEntry(const QString& name)
{
    onWindowThread([this, &name] {
        const int selected = ui->readerCombo->currentIndex();
        ui->readerCombo->addItem(name);
        ui->readerCombo->setCurrentIndex(selected);
    });
}

void MainWindow::setBurnEnabled(bool enabled)
{
    onWindowThread([this, enabled] { ui->burnButton->setEnabled(enabled); });
}

void MainWindow::setBurnText(const QString& text)
{
    onWindowThread([this, &text] { ui->burnButton->setText(text); });
}

TimingOptions MainWindow::readTimingOptions()
{
    return onWindowThread([this] {
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
    });
}

bool MainWindow::syncClockChecked()
{
    return onWindowThread([this] { return ui->syncClockCheck->isChecked(); });
}

bool MainWindow::exportChecked()
{
    return onWindowThread([this] { return ui->exportCheck->isChecked(); });
}

// The newest row on top; the time is local, with a trailing blank.
void MainWindow::addLogRow(const QString& serialNumber, const QString& userName,
                           const QString& result)
{
    const QString time = LogTimeText(QDateTime::currentDateTime());
    onWindowThread([&, this] {
        auto* row = new QTreeWidgetItem(QStringList{time, serialNumber, userName, result});
        for (int column = 0; column < row->columnCount(); ++column)
            row->setTextAlignment(column, Qt::AlignCenter);
        ui->logList->insertTopLevelItem(0, row);
    });
}

void MainWindow::showCounters()
{
    onWindowThread([this] {
        ui->totalCount->setText(QString::number(g_totalCount.load()));
        ui->successCount->setText(QString::number(g_successCount.load()));
        ui->failCount->setText(QString::number(g_failCount.load()));
    });
}
