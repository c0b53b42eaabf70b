// Where the window's seed comes from.
#include "MainWindow.h"
#include "seed/RandomSeed.h"
#include "seed/SecretText.h"
#include "seed/SeedFile.h"
#include "seed/SeedText.h"
#include "ui_MainWindow.h"

#include <QGuiApplication>
#include <memory>

// A failing generator leaves the seed as it was, without a word: the
// operator simply presses Random again.
void MainWindow::generateRandomSeed(int mode)
{
    QString seed = GenerateRandomSeedText(mode);
    if (seed.isEmpty())
        return;
    setSeedText(seed);
    WipeText(seed);
}

// The edit takes the caller's text as it is, sharing its storage: the caller
// wipes its own copy, and the edit is left the only holder.
void MainWindow::setSeedText(const QString& text)
{
    onWindowThread([this, &text] { ui->seedEdit->setText(text); });
    m_operator.beep();
}

// The token on the reader gets its own seed from the seed file, and its user
// when the file names one, shown in the user name for Burn to take; a token
// the file does not list keeps whatever seed the window holds.
void MainWindow::selectSeedForSerial()
{
    const QString serialNumber = m_texts.copy().serialNumber;
    if (serialNumber.isEmpty())
        return;
    std::optional<QString> seed = m_seedTable.find(serialNumber);
    if (!seed)
        return;
    if (const QString user = m_seedTable.userName(serialNumber); !user.isEmpty())
        onWindowThread([this, &user] { ui->userNameEdit->setText(user); });
    setSeedText(*seed);
    WipeText(*seed);
}

void MainWindow::editSeed()
{
    ui->seedEdit->setReadOnly(false);
    ui->seedEdit->setFocus();
}

// Burn follows the seed as soon as a source places or clears it, or the
// operator types it after Edit.
void MainWindow::updateSeedCommands(const QString& text)
{
    ui->testButton->setEnabled(!text.isEmpty());
    refreshTokenView();
}

// A whole file's seeds become the window's; a failure says why.
void MainWindow::applySeedFileLoad(const QString& path, const SeedFileResult& result,
                                   SeedTable& loaded)
{
    if (!result.loaded()) {
        m_operator.showMessage(tr("Failed to load seed file!") + "\n" + result.message(),
                               tr("ERROR"));
        return;
    }
    m_seedTable.swap(loaded);
    ui->seedFileLabel->show();
    ui->seedFilePathText->show();
    m_texts.update([&path](WindowTexts& texts) { texts.seedFilePath = path; });
    showTexts();
    selectSeedForSerial();
}

// The seed is emptied first, whatever follows: a cancelled dialog or a failed
// load must not leave the previous seed looking like the file's. The file is
// read on a worker thread into a table of its own, which becomes the window's
// only once the whole file has loaded: a failed or cancelled load leaves the
// previous file's seeds in use, as the path still on display says.
void MainWindow::loadSeedFile()
{
    if (m_background.busy())
        return;
    ui->seedEdit->clear();

    const QString path = m_operator.askOpenFileName(tr("CSV Files (*.csv);;All Files (*)"));
    if (path.isEmpty())
        return;
    auto table = std::make_shared<SeedTable>();
    m_background.run<SeedFileResult>(
        tr("Loading the seed file..."),
        [path, table](const WorkControl& control) {
            SeedFileOptions options;
            options.cancel = control.cancel;
            options.progress = [&control](int64_t bytesRead, int64_t totalBytes) {
                if (totalBytes > 0)
                    control.report(static_cast<int>(bytesRead * 100 / totalBytes));
            };
            return LoadSeedFile(path, *table, options);
        },
        [this, path, table](SeedFileResult& result, bool cancelled) mutable {
            if (!cancelled && result.status != SeedFileStatus::Cancelled)
                applySeedFileLoad(path, result, *table);
            // What the table holds now, the window's old seeds or a load that
            // did not become the window's, may be a million seeds to wipe.
            m_background.dispose([old = std::move(table)]() mutable { old.reset(); });
        });
}
