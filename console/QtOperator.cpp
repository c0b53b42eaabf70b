#include "QtOperator.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <type_traits>

namespace {

// Runs work on owner's thread; a worker thread waits for the answer.
template <typename Work> auto OnThreadOf(QObject* owner, Work work) -> std::invoke_result_t<Work>
{
    using Result = std::invoke_result_t<Work>;
    if (QThread::currentThread() == owner->thread())
        return work();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(owner, work, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            owner, [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

} // namespace

QtOperator::QtOperator(QObject* parent) : QObject(parent) {}

void QtOperator::setWindow(QWidget* window)
{
    m_window = window;
}

void QtOperator::showMessage(const QString& text, const QString& caption, MessageIcon icon)
{
    OnThreadOf(this, [&] {
        QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                        caption, text, QMessageBox::Ok, m_window);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    });
}

QString QtOperator::askOpenFileName(const QString& filter)
{
    return OnThreadOf(
        this, [&] { return QFileDialog::getOpenFileName(m_window, QString(), QString(), filter); });
}

// Sounding the bell never holds up the thread that placed the seed.
void QtOperator::beep()
{
    QMetaObject::invokeMethod(
        this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}
