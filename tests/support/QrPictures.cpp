#include "QrPictures.h"

#include <QPainter>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <algorithm>

QImage QrCodeImage(const std::string& payload, const QrLook& look)
{
    const ZXing::BitMatrix modules = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                         .setMargin(0)
                                         .setEccLevel(look.eccLevel)
                                         .encode(payload, 0, 0);
    const int scale = look.pixelsPerModule;
    const int border = look.quietModules * scale;
    QImage image(modules.width() * scale + 2 * border, modules.height() * scale + 2 * border,
                 QImage::Format_RGB32);
    image.fill(look.light);
    QPainter painter(&image);
    for (int y = 0; y < modules.height(); ++y)
        for (int x = 0; x < modules.width(); ++x)
            if (modules.get(x, y))
                painter.fillRect(border + x * scale, border + y * scale, scale, scale, look.dark);
    return image;
}

QImage PicturesInRow(const std::vector<QImage>& pictures, QColor background)
{
    int width = 0;
    int height = 0;
    for (const QImage& picture : pictures) {
        width += picture.width();
        height = std::max(height, picture.height());
    }
    QImage row(width, height, QImage::Format_RGB32);
    row.fill(background);
    QPainter painter(&row);
    int x = 0;
    for (const QImage& picture : pictures) {
        painter.drawImage(x, 0, picture);
        x += picture.width();
    }
    return row;
}

QImage DamagedCode(const QImage& code, const QrLook& look)
{
    QImage damaged = code;
    const int border = look.quietModules * look.pixelsPerModule;
    const int side = code.width() - 2 * border;
    // Finder patterns take 8 modules from three corners; wipe well inside them.
    const int finder = 9 * look.pixelsPerModule;
    QPainter painter(&damaged);
    painter.fillRect(border + finder, border + finder, side - 2 * finder, side - 2 * finder,
                     look.light);
    return damaged;
}

QImage Inverted(const QImage& picture)
{
    QImage inverted = picture.convertToFormat(QImage::Format_RGB32);
    inverted.invertPixels();
    return inverted;
}
