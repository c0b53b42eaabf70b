// Where the window's seed comes from, and where programmed seeds are recorded.
#include "MainWindow.h"
#include "WaitCursor.h"
#include "seed/RandomSeed.h"
#include "seed/SecretText.h"
#include "seed/SeedFile.h"
#include "seed/SeedText.h"
#include "ui_MainWindow.h"

#include <QDateTime>
#include <QGuiApplication>

namespace {

const QString kAppTitle = QStringLiteral("Zentoka/Pelarin Programmer");

} // namespace

// A failing generator leaves the seed as it was, without a word: the
// operator simply presses Random again.
void MainWindow::GenerateRandomSeed(int mode)
{
    QString seed = GenerateRandomSeedText(mode);
    if (seed.isEmpty())
        return;
    SetSeedText(seed);
    WipeText(seed);
}

void MainWindow::SetSeedText(const QString& text)
{
    m_state.update([&text](ConsoleTexts& texts) { texts.seedText = text; });
    onWindowThread([this, &text] { ui->seedEdit->setText(text); });
    m_operator.beep();
}

// The edit shows what the operator typed; only the state takes the
// normalised form, each time the seed is about to be used.
void MainWindow::normalizeSeedText()
{
    QString typed = onWindowThread([this] { return ui->seedEdit->text(); });
    QString seed = NormalizeSeedText(typed);
    m_state.update([&seed](ConsoleTexts& texts) { texts.seedText = seed; });
    WipeText(typed);
    WipeText(seed);
}

// The token on the reader gets its own seed from the seed file; a token the
// file does not list keeps whatever seed the window holds.
void MainWindow::selectSeedForSerial()
{
    const QString serialNumber = m_state.texts().serialNumber;
    if (serialNumber.isEmpty())
        return;
    std::optional<QString> seed = m_seedTable.find(serialNumber);
    if (!seed)
        return;
    SetSeedText(*seed);
    WipeText(*seed);
}

void MainWindow::OnEdit()
{
    ui->seedEdit->setReadOnly(false);
    ui->seedEdit->setFocus();
}

void MainWindow::OnSeedEditChanged(const QString& text)
{
    ui->testButton->setEnabled(!text.isEmpty());
}

// A typed seed is the window's seed like one a source placed: without this,
// Burn would stay disabled for a seed the operator typed after Edit.
void MainWindow::OnSeedEdited(const QString& text)
{
    m_state.update([&text](ConsoleTexts& texts) { texts.seedText = text; });
    OnTokenRefresh();
}

// The seed is emptied first, whatever follows: a cancelled dialog or a failed
// load must not leave the previous seed looking like the file's.
void MainWindow::OnLoadSeedFile()
{
    m_state.update([](ConsoleTexts& texts) { texts.seedText.clear(); });
    ui->seedEdit->clear();

    const QString path = m_operator.askOpenFileName(tr("CSV Files (*.csv);;All Files (*)"));
    if (path.isEmpty())
        return;
    SeedFileResult result;
    {
        WaitCursor wait;
        result = LoadSeedFile(path, m_seedTable);
    }
    if (!result.loaded()) {
        m_operator.showMessage(tr("Failed to load seed file!"), tr("ERROR"));
        return;
    }
    ui->seedFileLabel->show();
    ui->seedFilePathText->show();
    m_state.update([&path](ConsoleTexts& texts) { texts.seedFilePath = path; });
    UpdateData();
    selectSeedForSerial();
}

void MainWindow::openExportFiles()
{
    QString message;
    switch (m_exportFiles.open(QDateTime::currentDateTime())) {
    case ExportFiles::OpenResult::Opened:
    case ExportFiles::OpenResult::AlreadyOpen:
        return;
    case ExportFiles::OpenResult::HexFailed:
        message = tr("Failed to create HEX seed file");
        break;
    case ExportFiles::OpenResult::B32Failed:
        message = tr("Failed to create B32 seed file");
        break;
    case ExportFiles::OpenResult::AzureFailed:
        message = tr("Failed to create Azure seed file");
        break;
    }
    m_operator.showMessage(message, kAppTitle, MessageIcon::Stop);
}

void MainWindow::appendExportRecord()
{
    const ConsoleTexts texts = m_state.texts();
    appendExportRecord(texts.serialNumber, texts.seedText);
}

void MainWindow::appendExportRecord(const QString& serialNumber, const QString& seedText)
{
    if (!exportChecked())
        return;
    // Export may have been checked after the Burn press that would have
    // created the files: create them now rather than drop the record.
    if (!m_exportFiles.isOpen())
        openExportFiles();

    const TimingOptions timing = readTimingOptions();
    const QString userName = onWindowThread([this] { return ui->userNameEdit->text(); });
    m_state.update([&userName](ConsoleTexts& texts) { texts.userName = userName; });
    ExportRecord record{userName, serialNumber, seedText, timing.timeStep};

    const QStringList failed = m_exportFiles.append(record);
    WipeText(record.seedText);
    for (const QString& path : failed)
        m_operator.showMessage(tr("Failed to write the seed file %1\n"
                                  "The record of token %2 is missing from it.")
                                   .arg(path, record.serialNumber),
                               kAppTitle, MessageIcon::Stop);
}
