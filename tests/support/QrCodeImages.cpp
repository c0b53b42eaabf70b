#include "QrCodeImages.h"

#include <QFile>
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

namespace {

// Collects codes of a fixed width, least significant bit first, as GIF wants.
class CodeStream
{
public:
    void put(unsigned code, int width)
    {
        m_bits |= code << m_count;
        m_count += width;
        while (m_count >= 8) {
            m_bytes.append(static_cast<char>(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_count > 0)
            m_bytes.append(static_cast<char>(m_bits & 0xFF));
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    unsigned m_bits = 0;
    int m_count = 0;
};

void PutLittleEndian16(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

} // namespace

bool SaveAsGif(const QImage& picture, const QString& path)
{
    constexpr unsigned kClear = 256;
    constexpr unsigned kEnd = 257;
    constexpr int kCodeWidth = 9;
    // The decoder widens its codes once its table holds 512 entries; a clear
    // code every 250 pixels keeps it well below that.
    constexpr int kPixelsPerClear = 250;

    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    QByteArray gif("GIF89a");
    PutLittleEndian16(gif, grey.width());
    PutLittleEndian16(gif, grey.height());
    gif.append(char(0xF7)); // a global table of 256 colours
    gif.append(char(0));    // background colour
    gif.append(char(0));    // square pixels
    for (int level = 0; level < 256; ++level)
        gif.append(QByteArray(3, static_cast<char>(level)));

    gif.append(char(0x2C)); // the one image, covering the whole screen
    PutLittleEndian16(gif, 0);
    PutLittleEndian16(gif, 0);
    PutLittleEndian16(gif, grey.width());
    PutLittleEndian16(gif, grey.height());
    gif.append(char(0));
    gif.append(char(8)); // minimum code size

    CodeStream codes;
    int sinceClear = kPixelsPerClear;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            if (sinceClear == kPixelsPerClear) {
                codes.put(kClear, kCodeWidth);
                sinceClear = 0;
            }
            codes.put(line[x], kCodeWidth);
            ++sinceClear;
        }
    }
    codes.put(kEnd, kCodeWidth);
    const QByteArray data = codes.finish();
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif.append(static_cast<char>(block.size()));
        gif.append(block);
    }
    gif.append(char(0));    // end of the image data
    gif.append(char(0x3B)); // end of the file

    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(gif) == gif.size();
}
