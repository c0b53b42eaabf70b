#include "qr/GreyPicture.h"

#include <QBuffer>
#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt refuses to allocate more than this for one picture: the largest allowed
// picture at 4 bytes a pixel, with room to spare.
constexpr int kAllocationLimitMb = 256;

// Only these decoders ever see a file's bytes, chosen by the bytes' own
// signature: the formats a QR code is saved in, each on a library Debian keeps
// up to date (libpng, libjpeg-turbo, Qt's BMP and GIF readers).
const char* FormatOf(const QByteArray& head)
{
    auto startsWith = [&head](const char* signature, int length) {
        return head.size() >= length && std::memcmp(head.constData(), signature, length) == 0;
    };
    if (startsWith("\x89PNG\r\n\x1a\n", 8)) {
        return "png";
    }
    if (startsWith("\xFF\xD8\xFF", 3)) {
        return "jpeg";
    }
    if (startsWith("GIF87a", 6) || startsWith("GIF89a", 6)) {
        return "gif";
    }
    if (startsWith("BM", 2)) {
        return "bmp";
    }
    return nullptr;
}

// Passes the decoder's reads through to the file or buffer, reports how far
// they have come, and ends them (as a read error) once the caller cancels.
class WatchedDevice : public QIODevice
{
public:
    WatchedDevice(QIODevice& inner, const WorkControl& control)
        : m_inner(inner), m_control(control), m_size(inner.size())
    {}

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 position) override
    {
        return QIODevice::seek(position) && m_inner.seek(position);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_control.cancelled()) {
            return -1;
        }
        const qint64 count = m_inner.read(data, maxSize);
        if (count > 0 && m_size > 0) {
            const qint64 reached = m_inner.pos();
            const int percent = static_cast<int>(std::min<qint64>(100, reached * 100 / m_size));
            if (percent > m_percent) {
                m_percent = percent;
                m_control.report(percent);
            }
        }
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& m_inner;
    const WorkControl& m_control;
    const qint64 m_size;
    int m_percent = -1;
};

bool TooManyPixels(qint64 width, qint64 height)
{
    return width * height > kMaxPicturePixels;
}

// Grey from red, green and blue with the weights of ITU-R BT.601.
inline uint8_t GreyOf(unsigned red, unsigned green, unsigned blue)
{
    return static_cast<uint8_t>((red * 77 + green * 150 + blue * 29) >> 8);
}

// A grey value with coverage alpha laid on white.
inline uint8_t OnWhite(unsigned grey, unsigned alpha)
{
    return static_cast<uint8_t>((grey * alpha + 255 * (255 - alpha) + 127) / 255);
}

void CopyGrey(const QImage& image, uint8_t* out)
{
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y, out += width) {
        std::memcpy(out, image.constScanLine(y), static_cast<size_t>(width));
    }
}

void IndexedToGrey(const QImage& image, uint8_t* out)
{
    uint8_t table[256] = {};
    const QList<QRgb> colours = image.colorTable();
    for (int i = 0; i < std::min<int>(256, static_cast<int>(colours.size())); ++i) {
        const QRgb c = colours[i];
        table[i] = OnWhite(GreyOf(qRed(c), qGreen(c), qBlue(c)), qAlpha(c));
    }
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y, out += width) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            out[x] = table[line[x]];
        }
    }
}

// ARGB32 in any of its three forms; anything else is converted to it first.
void RgbToGrey(const QImage& image, uint8_t* out)
{
    const QImage::Format format = image.format();
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y, out += width) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x];
            const unsigned grey = GreyOf(qRed(c), qGreen(c), qBlue(c));
            switch (format) {
            case QImage::Format_RGB32:
                out[x] = static_cast<uint8_t>(grey);
                break;
            case QImage::Format_ARGB32_Premultiplied:
                // Already multiplied by alpha: white shows through the rest.
                out[x] = static_cast<uint8_t>(std::min(255u, grey + 255 - qAlpha(c)));
                break;
            default:
                out[x] = OnWhite(grey, qAlpha(c));
                break;
            }
        }
    }
}

PictureStatus ToGrey(QImage image, GreyRaster& raster)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        return PictureStatus::NotAPicture;
    }
    if (TooManyPixels(image.width(), image.height())) {
        return PictureStatus::TooLarge;
    }
    GreyRaster grey;
    grey.pixels.resize(static_cast<size_t>(image.width()) * static_cast<size_t>(image.height()));
    grey.width = image.width();
    grey.height = image.height();
    switch (image.format()) {
    case QImage::Format_Grayscale8:
        CopyGrey(image, grey.pixels.data());
        break;
    case QImage::Format_Indexed8:
        IndexedToGrey(image, grey.pixels.data());
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        RgbToGrey(image, grey.pixels.data());
        break;
    default:
        // 16-bit grey, 1-bit, 16- and 64-bit colour: rare in files; Qt
        // converts them in place where it can.
        image.convertTo(QImage::Format_ARGB32);
        if (image.isNull()) {
            return PictureStatus::OutOfMemory;
        }
        RgbToGrey(image, grey.pixels.data());
        break;
    }
    raster = std::move(grey);
    return PictureStatus::Loaded;
}

// Qt's limit is process-wide; set before main, while one thread runs, so a
// worker's first picture never races the window's own image reads.
[[maybe_unused]] const bool kAllocationLimitSet = [] {
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    return true;
}();

PictureStatus Decode(QIODevice& source, GreyRaster& raster, const WorkControl& control)
{
    const char* format = FormatOf(source.peek(8));
    if (format == nullptr) {
        return PictureStatus::NotAPicture;
    }
    WatchedDevice device(source, control);
    if (!device.open(QIODevice::ReadOnly)) {
        return PictureStatus::CannotOpen;
    }
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    // The size comes from the header alone, before any pixel memory is taken.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return control.cancelled() ? PictureStatus::Cancelled : PictureStatus::NotAPicture;
    }
    if (TooManyPixels(size.width(), size.height())) {
        return PictureStatus::TooLarge;
    }
    QImage image;
    const bool read = reader.read(&image);
    if (control.cancelled()) {
        return PictureStatus::Cancelled;
    }
    if (!read) {
        return PictureStatus::NotAPicture;
    }
    const PictureStatus status = ToGrey(std::move(image), raster);
    if (status == PictureStatus::Loaded) {
        control.report(100);
    }
    return status;
}

template <typename Work> PictureStatus Guarded(GreyRaster& raster, Work work)
{
    raster = GreyRaster();
    try {
        const PictureStatus status = work();
        if (status != PictureStatus::Loaded) {
            raster = GreyRaster();
        }
        return status;
    } catch (const std::bad_alloc&) {
        raster = GreyRaster();
        return PictureStatus::OutOfMemory;
    }
}

} // namespace

PictureStatus LoadGreyPictureFile(const std::string& path, GreyRaster& raster,
                                  const WorkControl& control)
{
    return Guarded(raster, [&] {
        // Non-blocking, so a FIFO or a device named like a picture cannot hold
        // the caller; only a regular file is read on.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            return PictureStatus::CannotOpen;
        }
        struct stat status = {};
        if (::fstat(fd, &status) != 0) {
            ::close(fd);
            return PictureStatus::CannotOpen;
        }
        if (!S_ISREG(status.st_mode)) {
            ::close(fd);
            return PictureStatus::NotRegularFile;
        }
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return PictureStatus::CannotOpen;
        }
        return Decode(file, raster, control);
    });
}

PictureStatus DecodeGreyPicture(const uint8_t* bytes, size_t size, GreyRaster& raster,
                                const WorkControl& control)
{
    return Guarded(raster, [&] {
        if (bytes == nullptr || size == 0 || size > static_cast<size_t>(INT32_MAX)) {
            return PictureStatus::NotAPicture;
        }
        const QByteArray data =
            QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), static_cast<int>(size));
        QBuffer buffer;
        buffer.setData(data);
        if (!buffer.open(QIODevice::ReadOnly)) {
            return PictureStatus::CannotOpen;
        }
        return Decode(buffer, raster, control);
    });
}

PictureStatus GreyRasterFromImage(const QImage& image, GreyRaster& raster)
{
    return Guarded(raster, [&] { return ToGrey(image, raster); });
}

std::string PictureStatusMessage(PictureStatus status)
{
    switch (status) {
    case PictureStatus::Loaded:
    case PictureStatus::Cancelled:
        return {};
    case PictureStatus::CannotOpen:
    case PictureStatus::NotAPicture:
        return "Incorrect QR code file!";
    case PictureStatus::NotRegularFile:
        return "This is not a picture file: the station reads QR codes only from regular files.";
    case PictureStatus::TooLarge:
        return "The picture is too large: the station reads pictures of at most 50 megapixels.";
    case PictureStatus::OutOfMemory:
        return "QR : Failed to allocate memory!";
    }
    return {};
}

bool LoadGreyPicture(const std::string& path, GreyRaster& raster)
{
    return LoadGreyPictureFile(path, raster) == PictureStatus::Loaded;
}
