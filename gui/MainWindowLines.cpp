// The window's side of the reader lines: the table of readers with their
// Connect check boxes, the chosen line shown in the token fields,
// auto-programming and the large status line. Window's thread only.
#include "MainWindow.h"
#include "OutcomeLine.h"
#include "seed/UserList.h"
#include "ui_MainWindow.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableWidget>

namespace {

enum Column
{
    ConnectColumn,
    ReaderColumn,
    SerialColumn,
    TokenClockColumn,
    StateColumn,
    TotalColumn,
    SuccessColumn,
    FailColumn,
};

// The index of "the seed file by serial number" in the source choice.
constexpr int kSeedFileSource = 2;

void SetCell(QTableWidget& table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table.item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        table.setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
}

} // namespace

void MainWindow::connectLines()
{
    connect(&m_lines, &ReaderLines::linesChanged, this, &MainWindow::showLines);
    connect(&m_lines, &ReaderLines::lineChanged, this, &MainWindow::showLine);
    connect(&m_lines, &ReaderLines::tokenRead, this, &MainWindow::showTokenRead);
    connect(&m_lines, &ReaderLines::armedChanged, this, &MainWindow::showArmed);
    connect(&m_lines, &ReaderLines::attemptRecorded, this, &MainWindow::recordAttempt);
    connect(&m_lines, &ReaderLines::burnDone, this, &MainWindow::finishBurn);
    connect(&m_lines, &ReaderLines::tokenDone, this, &MainWindow::showOutcome);
    connect(&m_lines, &ReaderLines::exportSetOpened, this, &MainWindow::showExportSet);
    connect(ui->readerTable, &QTableWidget::currentCellChanged, this, &MainWindow::chooseLine);

    // Every control auto-programming reads applies at once while it is on.
    connect(ui->autoProgramCheck, &QCheckBox::toggled, this, &MainWindow::applyAutoProgramming);
    connect(ui->autoSourceCombo, &QComboBox::currentIndexChanged, this,
            &MainWindow::applyAutoProgramming);
    for (QAbstractButton* control : {static_cast<QAbstractButton*>(ui->step30Radio),
                                     static_cast<QAbstractButton*>(ui->step60Radio),
                                     static_cast<QAbstractButton*>(ui->sha1Radio),
                                     static_cast<QAbstractButton*>(ui->sha256Radio),
                                     static_cast<QAbstractButton*>(ui->display15Radio),
                                     static_cast<QAbstractButton*>(ui->display30Radio),
                                     static_cast<QAbstractButton*>(ui->display60Radio),
                                     static_cast<QAbstractButton*>(ui->display120Radio),
                                     static_cast<QAbstractButton*>(ui->syncClockCheck),
                                     static_cast<QAbstractButton*>(ui->exportCheck),
                                     static_cast<QAbstractButton*>(ui->pskcCheck),
                                     static_cast<QAbstractButton*>(ui->sameUserCheck)})
        connect(control, &QAbstractButton::toggled, this, &MainWindow::applyAutoProgramming);
    connect(ui->userNameEdit, &QLineEdit::editingFinished, this, &MainWindow::takeUserName);
    connect(ui->loadUserListButton, &QPushButton::clicked, this, &MainWindow::loadUserList);
    enableSeedFileSource();
}

void MainWindow::updateReaderList(const QString& readerListText)
{
    m_lines.followList(readerListText);
}

// No service: the lines of unconnected readers go; a connected line stays
// and its station says what it waits for.
void MainWindow::handleReaderListFailure()
{
    m_lines.listFailed();
}

void MainWindow::connectReader(const QString& readerName, bool connect)
{
    if (connect)
        m_lines.setCurrent(readerName);
    m_lines.setConnected(readerName, connect);
    // A press its station had not taken up when it stopped never ends.
    if (m_burnRunning && !m_lines.station(m_burnReader)) {
        m_burnRunning = false;
        releaseBurnButton();
    }
    showLines();
}

// The table has a row per line, in the lines' order; a row's Connect check
// box belongs to its reader for as long as the row lives.
void MainWindow::showLines()
{
    QTableWidget& table = *ui->readerTable;
    const QStringList names = m_lines.names();
    QStringList shown;
    for (int row = 0; row < table.rowCount(); ++row)
        shown << (table.item(row, ReaderColumn) ? table.item(row, ReaderColumn)->text()
                                                : QString());

    m_showingLines = true;
    if (shown != names) {
        table.setRowCount(0);
        table.setRowCount(static_cast<int>(names.size()));
        for (int row = 0; row < names.size(); ++row) {
            const QString name = names[row];
            SetCell(table, row, ReaderColumn, name);
            auto* check = new QCheckBox(tr("Connect"));
            check->setObjectName(QStringLiteral("connectCheck"));
            // Queued: stopping a station serves events, among them the next
            // list, which may take this very check box away.
            connect(
                check, &QCheckBox::clicked, this,
                [this, name](bool checked) { connectReader(name, checked); }, Qt::QueuedConnection);
            table.setCellWidget(row, ConnectColumn, check);
        }
    }
    for (int row = 0; row < names.size(); ++row) {
        auto* check = qobject_cast<QCheckBox*>(table.cellWidget(row, ConnectColumn));
        check->setChecked(m_lines.connected(names[row]));
    }
    const int current = static_cast<int>(names.indexOf(m_lines.current()));
    if (current < 0)
        table.setCurrentItem(nullptr);
    else if (table.currentRow() != current)
        table.setCurrentCell(current, ReaderColumn);
    m_showingLines = false;

    for (const QString& name : names)
        showLine(name);
    showCurrentLine();
}

void MainWindow::showLine(const QString& readerName)
{
    QTableWidget& table = *ui->readerTable;
    const int row = static_cast<int>(m_lines.names().indexOf(readerName));
    if (row >= 0 && row < table.rowCount()) {
        const TokenTexts texts = m_lines.texts(readerName);
        const StationTally tally = m_lines.tally(readerName);
        SetCell(table, row, SerialColumn, texts.serialNumber);
        SetCell(table, row, TokenClockColumn, texts.tokenClock);
        SetCell(table, row, StateColumn, texts.tips);
        SetCell(table, row, TotalColumn, QString::number(tally.total));
        SetCell(table, row, SuccessColumn, QString::number(tally.success));
        SetCell(table, row, FailColumn, QString::number(tally.fail));
    }
    showCounters();
    if (readerName == m_lines.current())
        showCurrentLine();
}

void MainWindow::chooseLine()
{
    if (m_showingLines)
        return;
    const int row = ui->readerTable->currentRow();
    const QString name = m_lines.names().value(row);
    if (name == m_lines.current())
        return;
    m_lines.setCurrent(name);
    showCurrentLine();
    if (!m_lines.autoProgramming())
        selectSeedForSerial();
}

// The token fields, the status line and Burn speak of the chosen line.
void MainWindow::showCurrentLine()
{
    Station* station = this->station();
    const TokenTexts token = station ? station->texts() : TokenTexts{};
    QString tips = token.tips;
    if (!station)
        tips = m_lines.names().isEmpty() ? tr("No card reader detected.")
                                         : tr("Please select a card reader.");
    m_texts.update([&token, &tips](WindowTexts& texts) {
        texts.serialNumber = token.serialNumber;
        texts.tokenClock = token.tokenClock;
        texts.computerClock = token.computerClock;
        texts.tips = tips;
    });
    if (!m_burnRunning)
        ui->burnButton->setText(station && station->armed() ? tr("Stop") : tr("Burn"));
    refreshTokenView();
}

// A token read on the chosen line gets its seed from the seed file for a
// press of Burn; auto-programming chooses its own seeds.
void MainWindow::showTokenRead(const QString& readerName)
{
    if (readerName == m_lines.current() && !m_lines.autoProgramming())
        selectSeedForSerial();
}

void MainWindow::showOutcome(const TokenOutcome& outcome)
{
    const OutcomeLine line = DescribeOutcome(outcome);
    ui->outcomeText->setText(line.text);
    QPalette palette = ui->outcomeText->palette();
    palette.setColor(QPalette::Window, OutcomeColour(line.tone));
    palette.setColor(QPalette::WindowText, Qt::black);
    ui->outcomeText->setPalette(palette);
    showUserList();
}

void MainWindow::applyAutoProgramming()
{
    if (!ui->autoProgramCheck->isChecked()) {
        m_lines.setAutoProgramming(std::nullopt);
        return;
    }
    AutoProgramming settings;
    switch (ui->autoSourceCombo->currentIndex()) {
    case 1:
        settings.source = SeedSource::Random64;
        break;
    case kSeedFileSource:
        settings.source = SeedSource::SeedFile;
        break;
    default:
        settings.source = SeedSource::Random32;
        break;
    }
    settings.seedFile = &m_seedTable; // the window's table; a new file replaces its entries
    settings.timing = readTimingOptions();
    settings.syncClock = syncClockChecked();
    settings.exportRecord = exportChecked();
    settings.exportPskc = ui->pskcCheck->isChecked();
    // One name for the whole batch only on the operator's word: a directory
    // import would otherwise give every token to one person.
    if (ui->sameUserCheck->isChecked())
        settings.userName = m_takenUserName;
    if (m_userList.loaded())
        settings.users = &m_userList;
    m_lines.setAutoProgramming(settings);
}

void MainWindow::takeUserName()
{
    if (ui->userNameEdit->text() == m_takenUserName)
        return;
    m_takenUserName = ui->userNameEdit->text();
    applyAutoProgramming();
}

void MainWindow::loadUserList()
{
    if (m_background.busy())
        return;
    const QString path = m_operator.askOpenFileName(tr("Text Files (*.txt);;All Files (*)"));
    if (path.isEmpty())
        return;
    m_background.run<UserListResult>(
        tr("Loading the user list..."), [path](const WorkControl&) { return LoadUserList(path); },
        [this, path](UserListResult& result, bool cancelled) {
            if (!cancelled)
                applyUserList(path, result);
        });
}

// A list that fails to load leaves the one before it in use.
void MainWindow::applyUserList(const QString& path, const UserListResult& result)
{
    if (!result.loaded()) {
        m_operator.showMessage(tr("Failed to load user list!") + "\n" + result.message(),
                               tr("ERROR"));
        return;
    }
    m_userList.load(result.users);
    ui->userListText->setToolTip(path);
    showUserList();
    applyAutoProgramming();
}

void MainWindow::showUserList()
{
    if (!m_userList.loaded())
        return;
    const qsizetype left = m_userList.left();
    ui->userListText->setText(
        left > 0 ? tr("Next user: %1 (%2 left)").arg(m_userList.next()).arg(left)
                 : tr("Used up: no user is left. Load the next user list to go on."));
}

// The seed file is a source once one has loaded (a failed load keeps the
// file before it).
void MainWindow::enableSeedFileSource()
{
    auto* model = qobject_cast<QStandardItemModel*>(ui->autoSourceCombo->model());
    if (QStandardItem* item = model ? model->item(kSeedFileSource) : nullptr)
        item->setEnabled(!m_texts.copy().seedFilePath.isEmpty());
}
