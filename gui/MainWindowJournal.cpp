// The window's journal: opened as the Journal setting says, watched, and
// reported to the operator at the start.
#include "JournalSettingsDialog.h"
#include "MainWindow.h"
#include "ProgrammingMessages.h"
#include "journal/JournalFiles.h"
#include "journal/JournalMessages.h"
#include "ui_MainWindow.h"

#include <QFileInfo>
#include <QSettings>

// A journal opened off the window's thread, with what the operator is told.
struct OpenedJournal
{
    std::unique_ptr<ProgrammingJournal> journal;
    QString problem;     // why there is no journal
    QString unreachable; // the server did not answer: the journal refuses calls until it does
    std::optional<JournalResult<QList<JournalAttempt>>> unfinished;
};

namespace {
OpenedJournal OpenJournalAt(const JournalLocation& location)
{
    OpenedJournal opened;
    auto journal = OpenJournal(location, &opened.unreachable);
    if (!journal.ok()) {
        opened.problem = journal.error();
        return opened;
    }
    opened.journal = std::move(journal).value();
    if (opened.unreachable.isEmpty())
        opened.unfinished = opened.journal->unfinished();
    return opened;
}
} // namespace

void MainWindow::useSettings(QSettings* settings)
{
    m_settings = settings;
    m_journalSetting = settings ? JournalSetting::read(*settings) : JournalSetting{};
    m_nextJournalSetting = m_journalSetting;
    showJournal();
}

JournalLocation MainWindow::journalLocation() const
{
    return {m_journalSetting.journal, JournalDatabasePath(m_dataFolder)};
}

void MainWindow::startReaderMonitor()
{
    m_shutDown = false;
    if (m_journalOpened) {
        startLines();
        return;
    }
    const JournalLocation location = journalLocation();
    connect(&m_journalWatch, &JournalWatch::checked, this, &MainWindow::showJournalReach);
    m_journalWatch.watch(location);
    if (!loadSeedSeal())
        return;
    if (!location.isServer()) { // a file opens at once
        OpenedJournal opened = OpenJournalAt(location);
        useJournal(opened);
        return;
    }
    m_journalState = tr("opening");
    showJournal();
    m_background.run<OpenedJournal>(
        tr("Opening the programming journal %1...").arg(location.displayName()),
        [location](const WorkControl&) { return OpenJournalAt(location); },
        [this](OpenedJournal& opened, bool) {
            if (!m_shutDown)
                useJournal(opened);
        });
}

// Seeds the operator asked to be sealed are never sent unsealed: without
// the certificate, no token is programmed.
bool MainWindow::loadSeedSeal()
{
    if (m_journalSetting.sealTo.isEmpty())
        return true;
    auto loaded = SeedSeal::load(m_journalSetting.sealTo);
    if (loaded.ok()) {
        m_seedSeal = std::move(loaded).value();
        return true;
    }
    m_journalBlocked = tr("seeds cannot be sealed: no token is programmed");
    showJournal();
    m_operator.showMessage(loaded.error() + tr("\nNo token is programmed until the Journal "
                                               "setting names a certificate that can be read."),
                           kErrorCaption, MessageIcon::Stop);
    return false;
}

void MainWindow::useJournal(OpenedJournal& opened)
{
    m_journalOpened = true;
    m_journal = std::move(opened.journal);
    m_journalProblem = opened.problem;
    if (!m_journal && !m_journalSetting.journal.isEmpty()) {
        // A journal the operator named is the fleet's record: no token is
        // programmed past it.
        m_journalBlocked = tr("cannot be used: no token is programmed");
        showJournal();
        m_operator.showMessage(opened.problem + tr("\nNo token is programmed until the Journal "
                                                   "setting names a journal that can be used."),
                               kErrorCaption, MessageIcon::Stop);
        return;
    }
    m_lines.setJournal(m_journal.get());
    m_lines.setSeedSeal(m_seedSeal.get());
    startLines();
    if (!m_journal) {
        m_operator.showMessage(JournalNotOpenMessage(m_journalProblem), kErrorCaption,
                               MessageIcon::Stop);
        return;
    }
    if (!opened.unreachable.isEmpty())
        m_operator.showMessage(opened.unreachable +
                                   tr("\nNo token is programmed until it answers."),
                               kErrorCaption, MessageIcon::Stop);
    else if (opened.unfinished)
        reportUnfinished(*opened.unfinished);
}

void MainWindow::startLines()
{
    m_lines.resume();
    m_readerList.start();
}

// The tokens a stopped station may have left with a seed recorded nowhere.
void MainWindow::reportUnfinished(const JournalResult<QList<JournalAttempt>>& unfinished)
{
    if (!unfinished.ok()) {
        m_operator.showMessage(JournalNotOpenMessage(unfinished.error()), kErrorCaption,
                               MessageIcon::Stop);
        return;
    }
    if (unfinished.value().isEmpty())
        return;
    m_operator.showMessage(UnfinishedAttemptsMessage(unfinished.value()), kProductCaption,
                           MessageIcon::Stop);
    QList<qint64> ids;
    for (const JournalAttempt& attempt : unfinished.value())
        ids << attempt.id;
    // Told once: they stay in the journal as interrupted.
    if (const JournalResult<void> marked = m_journal->markInterrupted(ids); !marked.ok())
        m_operator.showMessage(marked.error(), kErrorCaption);
}

void MainWindow::editJournalSetting()
{
    JournalSettingsDialog dialog(m_nextJournalSetting, JournalDatabasePath(m_dataFolder), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_nextJournalSetting = dialog.setting();
    if (m_settings)
        m_nextJournalSetting.write(*m_settings);
    showJournal();
}

// "Journal: <where> (sealed to <certificate>): <how it answers>", and the
// setting of the next start when it differs.
void MainWindow::showJournal()
{
    const JournalLocation location = journalLocation();
    QString text = tr("Journal: %1").arg(location.displayName());
    if (!m_journalSetting.sealTo.isEmpty())
        text += tr(", seeds sealed to %1").arg(QFileInfo(m_journalSetting.sealTo).fileName());
    const QString state = m_journalBlocked.isEmpty() ? m_journalState : m_journalBlocked;
    if (!state.isEmpty())
        text += QStringLiteral(": ") + state;
    if (m_nextJournalSetting != m_journalSetting) {
        const JournalLocation next{m_nextJournalSetting.journal, location.defaultPath};
        text += tr("\nFrom the next start: %1").arg(next.displayName());
        if (!m_nextJournalSetting.sealTo.isEmpty())
            text +=
                tr(", seeds sealed to %1").arg(QFileInfo(m_nextJournalSetting.sealTo).fileName());
    }
    ui->journalText->setText(text);
    const bool trouble = !m_journalBlocked.isEmpty() || m_journalUnreachable;
    ui->journalText->setStyleSheet(trouble ? QStringLiteral("color: #b00020") : QString());
}

void MainWindow::showJournalReach(bool reachable, const QString& why)
{
    m_journalUnreachable = !reachable;
    m_journalState =
        reachable ? tr("reachable")
                  : tr("not reachable (%1): no token is programmed until it answers").arg(why);
    showJournal();
}
