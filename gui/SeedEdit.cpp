#include "SeedEdit.h"

#include "seed/SecretText.h"

#include <QClipboard>
#include <QGuiApplication>

SeedEdit::SeedEdit(QWidget* parent) : QLineEdit(parent)
{
    // Every change the operator makes is recorded for Undo as it is made;
    // the record goes at once, whatever made the change (keys, the context
    // menu, a paste, a drop, an input method).
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (isUndoAvailable() || isRedoAvailable())
            forgetHistory();
    });
}

void SeedEdit::forgetHistory()
{
    // setText starts a new history; the text itself stays as it is.
    QString text = this->text();
    const int cursor = cursorPosition();
    setText(text);
    setCursorPosition(cursor);
    WipeText(text);
}

// QLineEdit hands a selection made with the mouse or the keyboard to the
// desktop's selection as it is made. It is taken back here before the event
// loop turns again, so no other program is ever served the seed.
void SeedEdit::keepSelectionPrivate()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && clipboard->ownsSelection() && hasSelectedText())
        clipboard->clear(QClipboard::Selection);
}

void SeedEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    keepSelectionPrivate();
}

void SeedEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    keepSelectionPrivate();
}

void SeedEdit::keyPressEvent(QKeyEvent* event)
{
    QLineEdit::keyPressEvent(event);
    keepSelectionPrivate();
}
