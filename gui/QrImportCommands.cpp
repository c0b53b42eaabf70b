// Scan QR Code: the seed from an otpauth QR code on the screen or in a picture.
#include "MainWindow.h"
#include "WaitCursor.h"
#include "qr/GreyPicture.h"
#include "qr/QrScan.h"
#include "qr/ScreenCapture.h"
#include "seed/SecretText.h"
#include "ui_MainWindow.h"

#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>

namespace {

// Time for the desktop to take the minimised window off the screen before it
// is copied.
constexpr int kMinimiseSettleMs = 333;

// Waits while the window keeps painting and the workers' calls into it keep
// being served; the operator's clicks wait until the scan is over.
void PauseKeepingEventsFlowing(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

bool MainWindow::ImportSeedFromQr(const uint8_t* grey, int width, int height)
{
    QrScanResult result;
    {
        WaitCursor wait;
        result = ScanRasterForOtpauthSecret(grey, width, height);
    }
    switch (result.status) {
    case QrScanStatus::SecretFound: {
        QString seed = QString::fromUtf8(result.secret);
        WipeText(result.secret);
        SetSeedText(seed);
        WipeText(seed);
        return true;
    }
    case QrScanStatus::NoOtpauthCode:
        return false;
    case QrScanStatus::DecodeFailed:
        m_operator.showMessage(tr("QR : Failed to decode!"), tr("ERROR"));
        return false;
    case QrScanStatus::OutOfMemory:
        m_operator.showMessage(tr("QR : Failed to allocate memory!"), tr("ERROR"));
        return false;
    case QrScanStatus::RasterUnusable:
        m_operator.showMessage(tr("QR : Failed to allocate video memory!"), tr("ERROR"));
        return false;
    }
    return false;
}

bool MainWindow::LoadQrImageFile(const QString& path)
{
    GreyRaster raster;
    {
        WaitCursor wait;
        if (!LoadGreyPicture(QFile::encodeName(path).toStdString(), raster))
            return false;
    }
    return ImportSeedFromQr(raster.pixels.data(), raster.width, raster.height);
}

// The seed is emptied first, so a failed or cancelled import never leaves an
// earlier seed looking like the picture's.
void MainWindow::OnLoadImageFile()
{
    m_state.update([](ConsoleTexts& texts) { texts.seedText.clear(); });
    ui->seedEdit->clear();

    const QString path = m_operator.askOpenFileName(
        tr("PNG Files (*.png);;JPG Files (*.jpg *.jpeg);;All Files (*)"));
    if (path.isEmpty())
        return;
    if (!LoadQrImageFile(path)) {
        m_operator.showMessage(tr("Incorrect QR code file!"), tr("ERROR"));
        return;
    }
    ui->seedFileLabel->show();
    ui->seedFilePathText->show();
    m_state.update([&path](ConsoleTexts& texts) { texts.seedFilePath = path; });
    UpdateData();
}

// The station's own window must not hide the code it is asked to find: it is
// minimised while the primary screen is copied, then restored.
void MainWindow::OnScanScreen()
{
    m_state.update([](ConsoleTexts& texts) { texts.seedText.clear(); });
    ui->seedEdit->clear();

    ScreenGrab grab;
    {
        WaitCursor wait;
        const Qt::WindowStates before = windowState();
        showMinimized();
        PauseKeepingEventsFlowing(kMinimiseSettleMs);
        grab = GrabPrimaryScreen();
        setWindowState(before & ~Qt::WindowMinimized);
        show();
        activateWindow();
    }

    switch (grab.status) {
    case ScreenGrabStatus::Ok:
        break;
    case ScreenGrabStatus::NoScreenAccess:
        m_operator.showMessage(tr("This Wayland session does not let the station read the "
                                  "screen.\nSave the QR code as a picture and use "
                                  "\"Load Image File\" instead."),
                               tr("ERROR"));
        return;
    case ScreenGrabStatus::Unreadable:
        m_operator.showMessage(tr("Something has gone wrong!"), tr("ERROR"));
        return;
    }

    const std::vector<uint8_t> grey = BlueChannelRaster(grab.picture);
    if (!ImportSeedFromQr(grey.data(), grab.picture.width(), grab.picture.height()))
        m_operator.showMessage(tr("No QR Code found on the screen!"), tr("ERROR"));
}
