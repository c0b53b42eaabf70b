#include "SeedEdit.h"

#include "seed/SecretText.h"

#include <QClipboard>
#include <QGuiApplication>

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
void SeedEdit::KeepSelectionPrivate()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && clipboard->ownsSelection() && hasSelectedText())
        clipboard->clear(QClipboard::Selection);
}

void SeedEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    KeepSelectionPrivate();
}

void SeedEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    KeepSelectionPrivate();
}

void SeedEdit::keyPressEvent(QKeyEvent* event)
{
    QLineEdit::keyPressEvent(event);
    KeepSelectionPrivate();
}
