#pragma once

#include <QString>

enum class MessageIcon
{
    None,
    Stop
};

// Everything the station shows to the operator or asks of the operator goes
// through here, so tests can record messages and answer file dialogs.
class Operator
{
public:
    virtual ~Operator() = default;

    // A message box over the main window, OK button only; returns once the
    // operator has closed it. Any thread: a worker thread waits for the answer.
    virtual void showMessage(const QString& text, const QString& caption,
                             MessageIcon icon = MessageIcon::None) = 0;

    // A question with Yes and No buttons; true for Yes. Any thread, like
    // showMessage.
    virtual bool askQuestion(const QString& text, const QString& caption) = 0;

    // Asks for one file to open; an empty text when the dialog was cancelled.
    // filter uses Qt's form, e.g. "CSV Files (*.csv);;All Files (*.*)".
    virtual QString askOpenFileName(const QString& filter) = 0;

    // The bell that tells the operator a seed was placed.
    virtual void beep() = 0;
};
