#pragma once

#include "Operator.h"
#include "ThreadCall.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// The operator at the desktop: message boxes and file dialogs over the main
// window, shown on the window's thread. A worker thread that asks waits there
// until the operator has answered.
class QtOperator : public QObject, public Operator
{
    Q_OBJECT

public:
    // Create it on the window's thread.
    explicit QtOperator(QObject* parent = nullptr);

    void setWindow(QWidget* window);

    void showMessage(const QString& text, const QString& caption,
                     MessageIcon icon = MessageIcon::None) override;
    bool askQuestion(const QString& text, const QString& caption) override;
    QString askOpenFileName(const QString& filter) override;
    void beep() override;

private:
    QPointer<QWidget> m_window;
    ThreadCaller m_ownThread; // runs the dialogs on the thread the operator was made on
};
