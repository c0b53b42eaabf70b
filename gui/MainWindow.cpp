#include "MainWindow.h"

#include "AboutBox.h"
#include "DataFolder.h"
#include "ProgrammingMessages.h"
#include "StationKey.h"
#include "journal/JournalFiles.h"
#include "journal/JournalMessages.h"
#include "ui_MainWindow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

// The forms' icon lives in a resource file compiled into a static library;
// naming it here keeps the linker from dropping it.
static void InitStationResources()
{
    Q_INIT_RESOURCE(station);
}

namespace {
// The log's Result column, which takes the width the others leave.
constexpr int kLogResultColumn = 3;
// The reader table's Reader column, likewise.
constexpr int kReaderNameColumn = 1;
// Rows the log shows at least; it takes the room the window has to spare.
constexpr int kLogRowsShown = 5;
} // namespace

MainWindow::MainWindow(Operator& op, QString dataFolder, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::MainWindow>()), m_operator(op),
      m_exportFiles(dataFolder), m_dataFolder(std::move(dataFolder)),
      m_lines(g_customerKey, op, m_exportFiles)
{
    InitStationResources();
    m_lines.setPskcExport(&m_pskc);
    ui->setupUi(this);
    layOutControls();
    setUpControls();
}

MainWindow::~MainWindow()
{
    // The workers reach the window's members: they end before any goes away.
    shutdown();
    closeExportFiles();
    // The controls go away after this window's members, and the user-name
    // edit that loses its focus then says its editing is finished: that
    // signal must not reach a window that is gone.
    disconnect(ui->userNameEdit, nullptr, this, nullptr);
}

void MainWindow::shutdown()
{
    m_shutDown = true;
    m_background.cancelAndWait(); // a seed file or picture the window no longer wants
    m_readerList.stopAndWait();
    m_lines.stopAll();
}

void MainWindow::setUpControls()
{
    // Desktops on Linux give a dialog no system menu to hang "About..." on:
    // the window's context menu and F1 carry it instead.
    addAction(MakeOpenDataFolderAction(this, m_dataFolder, m_operator));
    addAction(ui->aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(ui->aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->pskcKeyButton, &QPushButton::clicked, this, &MainWindow::askPskcKey);
    auto* journalAction = new QAction(tr("Journal..."), this);
    journalAction->setObjectName(QStringLiteral("journalAction"));
    connect(journalAction, &QAction::triggered, this, &MainWindow::editJournalSetting);
    addAction(journalAction);

    setWindowIcon(QIcon(QStringLiteral(":/station/station.png")));

    ui->step30Radio->setChecked(true);
    ui->sha1Radio->setChecked(true);
    ui->display30Radio->setChecked(true);

    auto* randomMenu = new QMenu(tr("Random"), this);
    randomMenu->addAction(ui->random32Action);
    randomMenu->addAction(ui->random64Action);
    ui->randomButton->setMenu(randomMenu);
    auto* scanQrMenu = new QMenu(tr("Scan QR"), this);
    scanQrMenu->addAction(ui->scanScreenAction);
    scanQrMenu->addAction(ui->loadImageFileAction);
    scanQrMenu->addAction(ui->pasteImageAction);
    addAction(ui->pasteImageAction); // Ctrl+V anywhere but in an edit that takes text
    setAcceptDrops(true);            // a picture dropped on the window
    ui->scanQrButton->setMenu(scanQrMenu);

    ui->testButton->setEnabled(false);
    ui->burnButton->setEnabled(false);
    ui->syncClockCheck->setChecked(true);
    ui->exportCheck->setChecked(false);
    ui->seedEdit->setReadOnly(true);
    ui->sealButton->hide();
    ui->seedFileLabel->hide();
    ui->seedFilePathText->hide();

    m_texts.update([](WindowTexts& texts) { texts.tips.clear(); });
    showCounters();

    for (int column = 0; column < ui->logList->columnCount(); ++column)
        ui->logList->headerItem()->setTextAlignment(column, Qt::AlignCenter);

    connect(ui->burnButton, &QPushButton::clicked, this, &MainWindow::burn);
    connect(ui->sealButton, &QPushButton::clicked, this, &MainWindow::seal);
    connect(ui->clearButton, &QPushButton::clicked, this, &MainWindow::clearLog);
    connect(ui->randomButton, &QToolButton::clicked, this, [this] { generateRandomSeed(1); });
    connect(ui->random32Action, &QAction::triggered, this, [this] { generateRandomSeed(1); });
    connect(ui->random64Action, &QAction::triggered, this, [this] { generateRandomSeed(2); });
    connect(ui->editButton, &QPushButton::clicked, this, &MainWindow::editSeed);
    connect(ui->loadSeedFileButton, &QPushButton::clicked, this, &MainWindow::loadSeedFile);
    connect(ui->scanScreenAction, &QAction::triggered, this, &MainWindow::scanScreen);
    connect(ui->loadImageFileAction, &QAction::triggered, this, &MainWindow::loadImageFile);
    connect(ui->pasteImageAction, &QAction::triggered, this, &MainWindow::pasteImage);
    connect(ui->testButton, &QPushButton::clicked, this, &MainWindow::previewOtp);
    connect(ui->seedEdit, &QLineEdit::textChanged, this, &MainWindow::updateSeedCommands);
    connect(&m_readerList, &ReaderListWatcher::listed, this, &MainWindow::updateReaderList,
            Qt::QueuedConnection);
    connect(&m_readerList, &ReaderListWatcher::listFailed, this,
            &MainWindow::handleReaderListFailure, Qt::QueuedConnection);
    connectLines();

    // The form's placeholders give way to the (empty) texts.
    showTexts();
    showJournal();
}

// The form's layouts place the controls; what follows gives them the sizes
// their contents ask for, so that nothing is clipped at any font or scale
// and the log takes whatever room the window has to spare.
void MainWindow::layOutControls()
{
    // Each group's fields start where the other group's do.
    int labelColumn = 0;
    for (QWidget* label :
         {ui->seedLabel, ui->timeWindowLabel, ui->algorithmLabel, ui->displayTimeLabel,
          ui->readerLabel, ui->serialNumberLabel, ui->tokenClockLabel, ui->computerClockLabel,
          ui->syncClockLabel, ui->exportLabel, ui->autoProgramLabel, ui->userListLabel})
        labelColumn = std::max(labelColumn, label->sizeHint().width());
    ui->dataLayout->setColumnMinimumWidth(0, labelColumn);
    ui->tokenLayout->setColumnMinimumWidth(0, labelColumn);

    // Split buttons stand as tall as the push buttons beside them.
    for (QToolButton* button : {ui->scanQrButton, ui->randomButton}) {
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }

    // The reader table is as wide as its usual texts (a reader's name, a
    // serial number, a clock, a state) or its column titles; four reader
    // lines show without scrolling.
    QTableWidget& readers = *ui->readerTable;
    QHeaderView& readerColumns = *readers.horizontalHeader();
    readerColumns.setStretchLastSection(false);
    readerColumns.setSectionResizeMode(QHeaderView::ResizeToContents);
    readerColumns.setSectionResizeMode(kReaderNameColumn, QHeaderView::Stretch);
    const QFontMetrics cells(readers.font());
    const int checkBox = readers.style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &readers);
    const QString samples[] = {
        QStringLiteral("Connect"),
        QStringLiteral("Virtual PCD 00 00"),
        QStringLiteral("KN00123576"),
        QStringLiteral("0000-00-00 00:00:00"),
        QStringLiteral("Token or card detected"),
        QStringLiteral("000"),
        QStringLiteral("000"),
        QStringLiteral("000"),
    };
    int readersWidth = 2 * readers.frameWidth() + readers.verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < readers.columnCount(); ++column) {
        int width =
            cells.horizontalAdvance(samples[std::min<int>(column, std::size(samples) - 1)]) +
            cells.averageCharWidth() * 2 + (column == 0 ? checkBox : 0);
        readersWidth += std::max(width, readerColumns.sectionSizeHint(column));
    }
    readers.setMinimumWidth(readersWidth);
    readers.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    readers.setFixedHeight(readerColumns.sizeHint().height() +
                           4 * readers.verticalHeader()->defaultSectionSize() +
                           2 * readers.frameWidth());

    // A user's name shows whole at its usual length.
    ui->userNameEdit->setMinimumWidth(ui->userNameEdit->fontMetrics().horizontalAdvance(
                                          QStringLiteral("first.last@example.org")) +
                                      ui->userNameEdit->fontMetrics().averageCharWidth() * 3);

    // The last outcome, readable from a step away.
    QFont outcomeFont = ui->outcomeText->font();
    outcomeFont.setPointSizeF(outcomeFont.pointSizeF() * 2);
    outcomeFont.setBold(true);
    ui->outcomeText->setFont(outcomeFont);
    ui->outcomeText->setAutoFillBackground(true);
    ui->outcomeText->setMinimumHeight(QFontMetrics(outcomeFont).height() * 2);
    fitLogColumns();

    // The seed file row keeps its place while hidden, so the window does not
    // grow under the operator's hand when the first file loads.
    for (QWidget* widget : {ui->seedFileLabel, ui->seedFilePathText}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
}

// Every column of the log shows at the window's own size, each as wide as
// its usual texts (a time, a serial number, a user, a reader's name) and
// Result taking the rest. A longer text is shortened in its middle, so a
// reader keeps its slot number on screen; its tooltip holds it whole.
void MainWindow::fitLogColumns()
{
    QTreeWidget& log = *ui->logList;
    const QFontMetrics cells(log.font());
    const QFontMetrics titles(log.header()->font());
    const int padding = 2 * log.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &log) +
                        2 * log.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &log) +
                        cells.averageCharWidth() * 2;
    const QStringList samples[] = {
        {QStringLiteral("0000-00-00 00:00:00 ")},   {QStringLiteral("KN00123576")},
        {QStringLiteral("first.last@example.org")}, {QStringLiteral("Succeeded, programmed again")},
        {QStringLiteral("Virtual PCD 00 00")},
    };
    int total = 0;
    for (int column = 0; column < log.columnCount(); ++column) {
        int width = titles.horizontalAdvance(log.headerItem()->text(column));
        for (const QString& sample : samples[column])
            width = std::max(width, cells.horizontalAdvance(sample));
        width += padding;
        log.header()->resizeSection(column, width);
        total += width;
    }
    log.header()->setStretchLastSection(false);
    log.header()->setSectionResizeMode(kLogResultColumn, QHeaderView::Stretch);
    log.setTextElideMode(Qt::ElideMiddle);
    log.setMinimumWidth(total + 2 * log.frameWidth() + log.verticalScrollBar()->sizeHint().width());
    log.setMinimumHeight(log.header()->sizeHint().height() + kLogRowsShown * cells.lineSpacing() +
                         2 * log.frameWidth());
}

void MainWindow::closeExportFiles()
{
    m_exportFiles.close();
}

void MainWindow::done(int result)
{
    // A token being programmed is finished and exported before the files close.
    shutdown();
    closeExportFiles();
    QDialog::done(result);
}

// Esc closes the window (the dialog's own handling); Enter closes it too,
// unless a button has the focus, which Enter then presses.
void MainWindow::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain) {
        if (auto* button = qobject_cast<QToolButton*>(focusWidget()))
            button->click();
        else
            accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::showTexts()
{
    const WindowTexts texts = m_texts.copy();
    ui->serialNumberText->setText(texts.serialNumber);
    ui->tokenClockText->setText(texts.tokenClock);
    ui->computerClockText->setText(texts.computerClock);
    ui->tipsText->setText(texts.tips);
    ui->seedFilePathText->setText(texts.seedFilePath);
    ui->seedFilePathText->setToolTip(texts.seedFilePath);
    enableSeedFileSource();
}

void MainWindow::refreshTokenView()
{
    const WindowTexts texts = m_texts.copy();
    if (!m_burnHeld && !m_burnRunning)
        ui->burnButton->setEnabled(!ui->seedEdit->text().isEmpty() &&
                                   !texts.serialNumber.isEmpty());
    showTexts();
}

void MainWindow::clearLog()
{
    ui->logList->clear();
}

void MainWindow::showAbout()
{
    auto* about = new AboutBox(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}
