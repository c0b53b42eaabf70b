#include "QtOperator.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

QtOperator::QtOperator(QObject* parent) : QObject(parent) {}

void QtOperator::setWindow(QWidget* window)
{
    m_window = window;
}

void QtOperator::showMessage(const QString& text, const QString& caption, MessageIcon icon)
{
    m_ownThread.call([&] {
        QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                        caption, text, QMessageBox::Ok, m_window);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    });
}

bool QtOperator::askQuestion(const QString& text, const QString& caption)
{
    return m_ownThread.call([&] {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No,
                        m_window);
        box.setDefaultButton(QMessageBox::No);
        box.setWindowModality(Qt::ApplicationModal);
        return box.exec() == QMessageBox::Yes;
    });
}

QString QtOperator::askOpenFileName(const QString& filter)
{
    return m_ownThread.call(
        [&] { return QFileDialog::getOpenFileName(m_window, QString(), QString(), filter); });
}

// Sounding the bell never holds up the thread that placed the seed.
void QtOperator::beep()
{
    QMetaObject::invokeMethod(
        this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}
