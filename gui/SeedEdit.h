#pragma once

#include <QLineEdit>

// The seed edit. A seed is a secret: selecting it must not publish it to the
// desktop's selection (X11's PRIMARY, which any other program may read), and
// the edit keeps no history of what it held: a seed typed over, cut or
// deleted cannot be brought back with Undo (QLineEdit keeps each removed
// character for its undo). Copy and Cut, which the operator asks for, still
// work.
class SeedEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit SeedEdit(QWidget* parent = nullptr);

    // Drops the undo history, keeping the text and the cursor.
    void forgetHistory();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void keepSelectionPrivate();
};
