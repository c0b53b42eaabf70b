// Pictures the operator already holds: pasted from the clipboard (Paste Image,
// Ctrl+V) or dropped on the window, searched like a picture file.
#include "PictureInput.h"

#include "MainWindow.h"
#include "WaitCursor.h"
#include "qr/GreyPicture.h"
#include "ui_MainWindow.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <cstring>

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

// Picture data as one grey channel, transparent parts laid on white first:
// a code on a transparent ground keeps its light ground.
GreyRaster GreyRasterOf(const QImage& picture)
{
    QImage flat(picture.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return {};
    flat.fill(Qt::white);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, picture);
    }
    const QImage grey = flat.convertToFormat(QImage::Format_Grayscale8);
    GreyRaster raster;
    raster.width = grey.width();
    raster.height = grey.height();
    raster.pixels.resize(static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height));
    for (int y = 0; y < raster.height; ++y)
        std::memcpy(raster.pixels.data() + static_cast<size_t>(y) * raster.width,
                    grey.constScanLine(y), static_cast<size_t>(raster.width));
    return raster;
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
// picture data leaves the path as it is.
void MainWindow::ImportSeedFromPicture(const HeldPicture& held, const QString& noPictureMessage)
{
    if (!held.held) {
        m_operator.showMessage(noPictureMessage, tr("ERROR"));
        return;
    }
    m_state.update([](ConsoleTexts& texts) { texts.seedText.clear(); });
    ui->seedEdit->clear();
    if (!held.path.isEmpty()) {
        if (!LoadQrImageFile(held.path)) {
            m_operator.showMessage(tr("Incorrect QR code file!"), tr("ERROR"));
            return;
        }
        ui->seedFileLabel->show();
        ui->seedFilePathText->show();
        m_state.update([&held](ConsoleTexts& texts) { texts.seedFilePath = held.path; });
        UpdateData();
        return;
    }
    GreyRaster raster;
    if (!held.picture.isNull()) {
        WaitCursor wait;
        raster = GreyRasterOf(held.picture);
    }
    if (raster.pixels.empty() ||
        !ImportSeedFromQr(raster.pixels.data(), raster.width, raster.height))
        m_operator.showMessage(tr("Incorrect QR code file!"), tr("ERROR"));
}

void MainWindow::OnPasteImage()
{
    ImportSeedFromPicture(PictureIn(QGuiApplication::clipboard()->mimeData()),
                          tr("The clipboard holds no picture.\nCopy a QR code picture, or a "
                             "picture file, and paste again."));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (PictureIn(event->mimeData()).held)
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
            ImportSeedFromPicture(held, tr("What was dropped on the window holds no picture."));
        },
        Qt::QueuedConnection);
}
