// Scan QR Code: the seed from an otpauth QR code on the screen or in a picture.
#include "MainWindow.h"
#include "WaitCursor.h"
#include "qr/GreyPicture.h"
#include "qr/PictureScan.h"
#include "qr/QrScan.h"
#include "qr/ScreenCapture.h"
#include "seed/SecretText.h"
#include "ui_MainWindow.h"

#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
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

// What the operator is told when the screens could not be copied; empty when
// they were.
QString ScreenGrabMessage(const ScreenGrab& grab, int portalTimeoutMs)
{
    auto tr = [](const char* text) { return MainWindow::tr(text); };
    const QString useAFile =
        tr("Save the QR code as a picture and use \"Load Image File\" instead.");
    switch (grab.status) {
    case ScreenGrabStatus::Ok:
        return {};
    case ScreenGrabStatus::NoScreenAccess:
        return tr("This Wayland session does not let the station read the screen.") + "\n" +
               useAFile;
    case ScreenGrabStatus::Unreadable:
        return tr("Something has gone wrong!");
    case ScreenGrabStatus::PortalRefused:
        return tr("The desktop did not let the station read the screen.");
    case ScreenGrabStatus::PortalEnded:
        return tr("The desktop ended the request to read the screen without a copy.");
    case ScreenGrabStatus::PortalNoAnswer:
        return tr("The desktop did not answer the request to read the screen within %1 s.")
                   .arg((portalTimeoutMs + 999) / 1000) +
               "\n" + useAFile;
    case ScreenGrabStatus::PortalFailed:
        return tr("The desktop could not copy the screen: %1").arg(grab.detail);
    case ScreenGrabStatus::PortalUnreadable:
        return tr("The desktop's copy of the screen could not be read:\n%1").arg(grab.detail);
    }
    return tr("Something has gone wrong!");
}

} // namespace

bool MainWindow::importSeedFromQr(const uint8_t* grey, int width, int height)
{
    QrScanResult result;
    {
        WaitCursor wait;
        result = ScanRasterForOtpauthSecret(grey, width, height);
    }
    return placeQrScanResult(result);
}

bool MainWindow::placeQrScanResult(QrScanResult& result)
{
    switch (result.status) {
    case QrScanStatus::SecretFound: {
        QString seed = QString::fromUtf8(result.secret);
        WipeText(result.secret);
        setSeedText(seed);
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

bool MainWindow::loadQrImageFile(const QString& path)
{
    GreyRaster raster;
    {
        WaitCursor wait;
        if (!LoadGreyPicture(QFile::encodeName(path).toStdString(), raster))
            return false;
    }
    return importSeedFromQr(raster.pixels.data(), raster.width, raster.height);
}

// A picture of any size is read and searched on a worker thread; the window
// keeps painting and the operator may cancel. A file's path is shown where a
// seed file's would be once its secret is placed; picture data leaves the
// path as it is.
void MainWindow::scanPictureInBackground(const QString& path, const QImage& picture)
{
    std::function<PictureScanResult(const WorkControl&)> scan;
    QString label;
    if (!path.isEmpty()) {
        label = tr("Reading the picture file...");
        scan = [file = QFile::encodeName(path).toStdString()](const WorkControl& control) {
            return ScanPictureFileForOtpauthSecret(file, control);
        };
    } else {
        label = tr("Searching the picture for a QR code...");
        scan = [picture](const WorkControl& control) {
            PictureScanResult result;
            GreyRaster raster;
            result.picture = GreyRasterFromImage(picture, raster);
            if (result.picture == PictureStatus::Loaded)
                result.scan = ScanRasterForOtpauthSecret(raster.pixels.data(), raster.width,
                                                         raster.height, control);
            return result;
        };
    }
    m_background.run<PictureScanResult>(
        label, std::move(scan), [this, path](PictureScanResult& result, bool cancelled) {
            if (cancelled || result.cancelled()) {
                WipeText(result.scan.secret);
                return;
            }
            if (result.picture != PictureStatus::Loaded) {
                m_operator.showMessage(tr(PictureStatusMessage(result.picture).c_str()),
                                       tr("ERROR"));
                return;
            }
            if (!placeQrScanResult(result.scan)) {
                m_operator.showMessage(tr("Incorrect QR code file!"), tr("ERROR"));
                return;
            }
            if (path.isEmpty())
                return;
            ui->seedFileLabel->show();
            ui->seedFilePathText->show();
            m_texts.update([&path](WindowTexts& texts) { texts.seedFilePath = path; });
            showTexts();
        });
}

// The seed is emptied first, so a failed or cancelled import never leaves an
// earlier seed looking like the picture's.
void MainWindow::loadImageFile()
{
    if (m_background.busy())
        return;
    ui->seedEdit->clear();

    const QString path = m_operator.askOpenFileName(
        tr("PNG Files (*.png);;JPG Files (*.jpg *.jpeg);;All Files (*)"));
    if (path.isEmpty())
        return;
    scanPictureInBackground(path, QImage());
}

// The station's own window must not hide the code it is asked to find: it is
// minimised while the screens are copied, then restored. Every screen is
// searched, the primary first; the first secret found is placed. The copy is
// Qt's to make on the window's thread; the search runs on a worker.
void MainWindow::scanScreen()
{
    if (m_background.busy())
        return;
    ui->seedEdit->clear();

    ScreenGrab grab;
    {
        WaitCursor wait;
        const Qt::WindowStates before = windowState();
        showMinimized();
        PauseKeepingEventsFlowing(kMinimiseSettleMs);
        ScreenGrabOptions options;
        options.portalTimeoutMs = m_screenPortalTimeoutMs;
        grab = GrabScreens(options);
        setWindowState(before & ~Qt::WindowMinimized);
        show();
        activateWindow();
    }

    if (const QString message = ScreenGrabMessage(grab, m_screenPortalTimeoutMs);
        !message.isEmpty()) {
        m_operator.showMessage(message, tr("ERROR"));
        return;
    }

    m_background.run<QrScanResult>(
        tr("Searching the screen for a QR code..."),
        [screens = std::move(grab.screens)](const WorkControl& control) {
            return ScanRastersForOtpauthSecret(screens, control);
        },
        [this](QrScanResult& result, bool cancelled) {
            if (cancelled || result.cancelled) {
                WipeText(result.secret);
                return;
            }
            if (!placeQrScanResult(result))
                m_operator.showMessage(tr("No QR Code found on the screen!"), tr("ERROR"));
        });
}
