#pragma once

#include "ConsoleController.h"
#include "ConsoleWindow.h"
#include "ThreadCall.h"
#include "seed/ExportFiles.h"
#include "seed/SeedTable.h"

#include <QDialog>
#include <memory>
#include <type_traits>

namespace Ui {
class MainWindow;
}
struct HeldPicture;
struct QrScanResult;

// The operator's window: seed sources, timing choices, the token on the
// reader, Burn, and the log with its counters. It lives as long as the
// process; the workers reach it through ConsoleWindow from their threads.
class MainWindow : public QDialog, public ConsoleWindow
{
    Q_OBJECT

public:
    // dataFolder receives the export files; op shows messages and file dialogs.
    MainWindow(Operator& op, QString dataFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    // ConsoleWindow: callable from any thread.
    ConsoleState& state() override { return m_state; }
    Operator& op() override { return m_operator; }
    void postTokenRefresh() override;
    QStringList readerEntries() override;
    int selectedReaderIndex() override;
    void deleteReaderEntry(int index) override;
    void appendReaderEntry(const QString& name) override;
    void setBurnEnabled(bool enabled) override;
    void setBurnText(const QString& text) override;
    void normalizeSeedText() override;
    void selectSeedForSerial() override;
    TimingOptions readTimingOptions() override;
    bool syncClockChecked() override;
    bool exportChecked() override;
    void openExportFiles() override;
    void appendExportRecord(const QString& serialNumber, const QString& seedText) override;
    void appendExportRecord(); // the token and seed the fields show
    void addLogRow(const QString& serialNumber, const QString& userName,
                   const QString& result) override;
    void showCounters() override;

    // Seed sources. Any thread.
    void GenerateRandomSeed(int mode); // 1: 32 characters, otherwise 64
    void SetSeedText(const QString& text);

    // QR import: places the secret of the first otpauth code found, as
    // SetSeedText does. Window's thread.
    bool LoadQrImageFile(const QString& path);
    bool ImportSeedFromQr(const uint8_t* grey, int width, int height);

    // How long Scan Screen waits for a desktop portal's answer.
    void setScreenPortalTimeout(int milliseconds) { m_screenPortalTimeoutMs = milliseconds; }

    // Keeps Burn disabled for the given time whatever the token refresh says,
    // then enables it: the pause after an arming press, without blocking the
    // window. Window's thread.
    void holdBurnButton(int milliseconds);

    // Starts following the readers; the application calls it as the window
    // opens. A window without it (a widget test) touches no PC/SC.
    void StartReaderMonitor();

public slots:
    void OnTokenRefresh();
    void OnConnect();
    void OnBurn();
    void OnSeal();
    void OnClear();
    void OnTest();
    void OnScanScreen();
    void OnLoadImageFile();
    void OnPasteImage();
    void OnLoadSeedFile();
    void OnEdit();
    void OnAbout();

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnInitDialog();
    void OnDestroy();
    void OnSeedEditChanged(const QString& text);
    void OnSeedEdited(const QString& text);
    void LayOutAsTemplate();
    void UpdateData(); // the state's texts to their labels
    bool PlaceQrScanResult(QrScanResult& result);
    void ImportSeedFromPicture(const HeldPicture& held, const QString& noPictureMessage);

    // Runs work on the window's thread; a worker thread waits for it.
    template <typename Work> auto onWindowThread(Work work) -> std::invoke_result_t<Work>;

    std::unique_ptr<Ui::MainWindow> ui;
    ThreadCaller m_windowThread; // made on the window's thread with the window
    Operator& m_operator;
    ConsoleState m_state;
    SeedTable m_seedTable;
    ExportFiles m_exportFiles;
    bool m_burnHeld = false;
    int m_screenPortalTimeoutMs = 60000;
    // Last member: built when everything it reaches is, and shut down first.
    std::unique_ptr<ConsoleController> m_console;
};

template <typename Work> auto MainWindow::onWindowThread(Work work) -> std::invoke_result_t<Work>
{
    return m_windowThread.call(std::move(work));
}
