#include "BackgroundWork.h"

#include <QEventLoop>
#include <QProgressBar>
#include <QProgressDialog>

BackgroundWork::BackgroundWork(QWidget* window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("backgroundWork"));
}

BackgroundWork::~BackgroundWork()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_disposal.joinable())
        m_disposal.join();
    delete m_dialog;
}

void BackgroundWork::dispose(std::function<void()> cleanup)
{
    if (m_disposal.joinable())
        m_disposal.join();
    m_disposal = std::thread(std::move(cleanup));
}

bool BackgroundWork::start(const QString& label, std::function<void(const WorkControl&)> work,
                           std::function<void(bool cancelled)> done)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_cancel = false;
    m_percent = 0;
    m_progressPosted = false;
    m_done = std::move(done);

    auto* dialog = new QProgressDialog(label, tr("Cancel"), 0, 100, m_window);
    dialog->setObjectName(QStringLiteral("backgroundWorkProgress"));
    dialog->setWindowTitle(m_window ? m_window->windowTitle() : QString());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    // The dialog's own setValue serves events while it is shown (it is
    // modal), which would let the work's end delete it under that call: the
    // progress goes to a bar of ours instead.
    auto* bar = new QProgressBar(dialog);
    bar->setRange(0, 100);
    dialog->setBar(bar);
    dialog->setMinimumDuration(kShowAfterMs);
    dialog->setValue(0); // starts the clock that shows it
    connect(dialog, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
    m_dialog = dialog;
    m_bar = bar;

    m_thread = std::thread([this, work = std::move(work), hook = m_startHook] {
        if (hook)
            hook();
        WorkControl control;
        control.cancel = &m_cancel;
        control.progress = [this](int percent) { report(percent); };
        work(control);
        m_windowThread.post([this] { workerEnded(); });
    });
    return true;
}

// At most one call is waiting in the window's queue, whatever the pace of the
// work's reports.
void BackgroundWork::report(int percent)
{
    m_percent.store(percent, std::memory_order_relaxed);
    if (!m_progressPosted.exchange(true))
        m_windowThread.post([this] { showProgress(); });
}

void BackgroundWork::showProgress()
{
    m_progressPosted = false;
    if (m_bar)
        m_bar->setValue(m_percent.load(std::memory_order_relaxed));
}

void BackgroundWork::workerEnded()
{
    if (!m_busy)
        return;
    m_thread.join();
    delete m_dialog;
    m_busy = false;
    const bool cancelled = m_cancel;
    std::function<void(bool)> done = std::move(m_done);
    m_done = nullptr;
    done(cancelled);
    emit finished();
}

void BackgroundWork::cancelAndWait()
{
    if (!m_busy)
        return;
    m_cancel = true;
    QEventLoop loop;
    connect(this, &BackgroundWork::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
