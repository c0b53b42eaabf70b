// Pictures the operator already holds: pasted from the clipboard (Paste Image,
// Ctrl+V) or dropped on the window, searched like a picture file.
#include "PictureInput.h"

#include "MainWindow.h"
#include "ui_MainWindow.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace {

QString FirstLocalFile(const QMimeData* data)
{
    if (!data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    return {};
}

} // namespace

HeldPicture PictureIn(const QMimeData* data)
{
    HeldPicture held;
    if (!data)
        return held;
    held.path = FirstLocalFile(data);
    if (!held.path.isEmpty()) {
        held.held = true;
        return held;
    }
    if (data->hasImage()) {
        held.held = true;
        held.picture = qvariant_cast<QImage>(data->imageData());
    }
    return held;
}

// Without a picture nothing is read and the seed stays: Ctrl+V pressed by
// mistake costs no seed. With one, the seed is emptied first, like both QR
// commands do, so that no failure leaves an earlier seed looking like the
// picture's. A file is read and its path shown as Load Image File does;
// picture data leaves the path as it is. Both are searched off the window's
// thread; while a search runs, another picture is not taken.
void MainWindow::importSeedFromPicture(const HeldPicture& held, const QString& noPictureMessage)
{
    if (m_background.busy())
        return;
    if (!held.held) {
        m_operator.showMessage(noPictureMessage, tr("ERROR"));
        return;
    }
    ui->seedEdit->clear();
    scanPictureInBackground(held.path, held.picture);
}

void MainWindow::pasteImage()
{
    importSeedFromPicture(PictureIn(QGuiApplication::clipboard()->mimeData()),
                          tr("The clipboard holds no picture.\nCopy a QR code picture, or a "
                             "picture file, and paste again."));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_background.busy() && PictureIn(event->mimeData()).held)
        event->acceptProposedAction();
    else
        event->ignore();
}

// The drop is answered at once and the picture searched right after, so the
// program it came from is not kept waiting on our messages.
void MainWindow::dropEvent(QDropEvent* event)
{
    HeldPicture held = PictureIn(event->mimeData());
    event->acceptProposedAction();
    QMetaObject::invokeMethod(
        this,
        [this, held = std::move(held)] {
            importSeedFromPicture(held, tr("What was dropped on the window holds no picture."));
        },
        Qt::QueuedConnection);
}
