#pragma once

#include "BackgroundWork.h"
#include "JournalSetting.h"
#include "JournalWatch.h"
#include "Operator.h"
#include "PskcExport.h"
#include "ReaderLines.h"
#include "ReaderListWatcher.h"
#include "Station.h"
#include "ThreadCall.h"
#include "UserAssignments.h"
#include "WindowTexts.h"
#include "journal/JournalLocation.h"
#include "journal/ProgrammingJournal.h"
#include "journal/SeedSeal.h"
#include "seed/ExportFiles.h"
#include "seed/SeedTable.h"

#include <QDialog>
#include <memory>
#include <type_traits>

namespace Ui {
class MainWindow;
}
struct HeldPicture;
struct OpenedJournal;
class QSettings;
struct SeedFileResult;
struct UserListResult;
class QImage;
struct QrScanResult;

// The operator's window: seed sources, timing choices, a line per reader
// (Connect, its token, its counters), Burn for the chosen line,
// auto-programming for every connected line, the last outcome in large
// letters, and the log with its counters. It lives as long as the process.
// It observes the reader list and the stations through their signals; no
// card exchange runs on its thread.
class MainWindow : public QDialog
{
    Q_OBJECT

public:
    // dataFolder receives the export files; op shows messages and file dialogs.
    MainWindow(Operator& op, QString dataFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    SharedWindowTexts& texts() { return m_texts; }
    // The station of the chosen line; null while that line is not connected.
    Station* station() const { return m_lines.station(m_lines.current()); }
    ReaderLines& lines() { return m_lines; }

    // What a line's Connect check box does: the reader's station is started
    // (and its line chosen), or stopped. Window's thread.
    void connectReader(const QString& readerName, bool connect);

    // Choices read from the controls when they are used. Window's thread.
    TimingOptions readTimingOptions() const;
    bool syncClockChecked() const;
    bool exportChecked() const;

    // Seed sources. Any thread.
    void generateRandomSeed(int mode); // 1: 32 characters, otherwise 64
    void setSeedText(const QString& text);
    // The seed file's seed of the token on the reader.
    void selectSeedForSerial();

    // QR import: places the secret of the first otpauth code found, as
    // setSeedText does. Window's thread.
    bool loadQrImageFile(const QString& path);
    bool importSeedFromQr(const uint8_t* grey, int width, int height);

    // How long Scan Screen waits for a desktop portal's answer.
    void setScreenPortalTimeout(int milliseconds) { m_screenPortalTimeoutMs = milliseconds; }

    // The user's settings, where the window's Journal setting is kept; set
    // before startReaderMonitor. Without them (a widget test), the window
    // records into the Data folder's journal and keeps no setting.
    void useSettings(QSettings* settings);
    // Opens the journal of the Journal setting, then starts following the
    // readers; the application calls it as the window opens. A window
    // without it (a widget test) touches no PC/SC. A server's journal is
    // opened off the window's thread: no reader is followed, so no token
    // programmed, before the journal is there.
    void startReaderMonitor();

    // "PSKC Key...": the pre-shared key the PSKC file's seeds are encrypted
    // under, typed by the operator; empty for seeds in clear.
    void askPskcKey();

    // The folder that receives the export files, as the window was given it.
    QString dataFolder() const { return m_dataFolder; }

public slots:
    void refreshTokenView();
    void burn();
    void seal();
    void clearLog();
    void previewOtp();
    void scanScreen();
    void loadImageFile();
    void pasteImage();
    void loadSeedFile();
    void editSeed();
    void showAbout();
    // "Journal...": the journal and the fleet's certificate of the next start.
    void editJournalSetting();
    // "Load User List...": the users the production line gives its tokens
    // with random seeds, in order; read off the window's thread.
    void loadUserList();

    // The reader list as the platform reports it (ReaderListWatcher).
    void updateReaderList(const QString& readerListText);
    void handleReaderListFailure();
    // A finished attempt of a connected station: a log row.
    void recordAttempt(const QString& readerName, const QString& serialNumber,
                       const QString& userName, const QString& result);

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setUpControls();
    JournalLocation journalLocation() const;
    bool loadSeedSeal();
    void useJournal(OpenedJournal& opened);
    void reportUnfinished(const JournalResult<QList<JournalAttempt>>& unfinished);
    void startLines();
    void showJournal();
    void showJournalReach(bool reachable, const QString& why);
    void closeExportFiles();
    void shutdown();
    void updateSeedCommands(const QString& text);
    void layOutControls();
    void fitLogColumns();
    void showTexts(); // the window's texts to their labels
    bool placeQrScanResult(QrScanResult& result);
    void importSeedFromPicture(const HeldPicture& held, const QString& noPictureMessage);
    // A picture file (path), or else picture data, read and searched on a
    // worker thread; the secret is placed, or the failure shown, after.
    void scanPictureInBackground(const QString& path, const QImage& picture);
    void applySeedFileLoad(const QString& path, const SeedFileResult& result, SeedTable& loaded);

    // The reader lines (MainWindowLines.cpp).
    void connectLines();
    void showLines();
    void showLine(const QString& readerName);
    void chooseLine();
    void showCurrentLine();
    void showTokenRead(const QString& readerName);
    void showArmed(const QString& readerName, bool armed);
    void finishBurn(const QString& readerName);
    void showOutcome(const TokenOutcome& outcome);
    // Auto-programming follows its check box and every control it reads.
    void applyAutoProgramming();
    void enableSeedFileSource();
    // The user name counts once the operator has finished editing it, never
    // while a name is half typed.
    void takeUserName();
    void applyUserList(const QString& path, const UserListResult& result);
    // The next user and how many are left, or that the list is used up.
    void showUserList();

    void showExportSet(const QString& hexPath);
    void addLogRow(const QString& serialNumber, const QString& userName, const QString& result,
                   const QString& readerName = QString());
    void showCounters();
    void releaseBurnButton();

    // Runs work on the window's thread; a worker thread waits for it.
    template <typename Work> auto onWindowThread(Work work) -> std::invoke_result_t<Work>;

    std::unique_ptr<Ui::MainWindow> ui;
    ThreadCaller m_windowThread; // made on the window's thread with the window
    Operator& m_operator;
    SharedWindowTexts m_texts;
    SeedTable m_seedTable;
    BackgroundWork m_background{this}; // seed files and pictures, off the window's thread
    ExportFiles m_exportFiles;
    const QString m_dataFolder;
    // After a press, Burn stays disabled until the press's work is over and
    // the hold time has passed, whatever the token and seed fields say.
    bool m_burnHeld = false;
    bool m_burnRunning = false;
    QString m_burnReader; // the line the running press was made on
    bool m_shutDown = false;
    bool m_showingLines = false; // the table is being filled: its signals are not the operator's
    int m_screenPortalTimeoutMs = 60000;
    // Every attempt of every line, beside the export files; null when it
    // could not be opened (m_journalProblem says why, at the start).
    std::unique_ptr<ProgrammingJournal> m_journal;
    QString m_journalProblem;
    std::unique_ptr<SeedSeal> m_seedSeal; // the fleet's certificate, when seeds are sealed
    QSettings* m_settings = nullptr;
    JournalSetting m_journalSetting;     // the one this start uses
    JournalSetting m_nextJournalSetting; // kept for the next start
    bool m_journalOpened = false;
    QString m_journalState;   // how the journal answers, after its name
    QString m_journalBlocked; // why this start programs no token, when it does not
    bool m_journalUnreachable = false;
    JournalWatch m_journalWatch;
    PskcExport m_pskc;          // the pre-shared key, if any, lives here only
    UserAssignments m_userList; // the loaded user list, shared by the lines' stations
    QString m_takenUserName;    // the user name as it was when editing finished
    // Last members: built when everything they reach is, and stopped first.
    ReaderListWatcher m_readerList;
    ReaderLines m_lines;
};

template <typename Work> auto MainWindow::onWindowThread(Work work) -> std::invoke_result_t<Work>
{
    return m_windowThread.call(std::move(work));
}
