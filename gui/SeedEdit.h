#pragma once

#include <QLineEdit>

// The seed edit. A seed is a secret: selecting it must not publish it to the
// desktop's selection (X11's PRIMARY, which any other program may read), and
// what was typed must not linger in the undo history once the seed is used
// or replaced. Copy and Cut, which the operator asks for, still work.
class SeedEdit : public QLineEdit
{
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

    // Drops the undo history, keeping the text.
    void forgetHistory();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void KeepSelectionPrivate();
};
