#include "QrPictures.h"

#include <QImage>
#include <QString>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace {

constexpr int kQuietZone = 4;

ZXing::BitMatrix Modules(const std::string& text)
{
    return ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(0).encode(text, 0, 0);
}

// Finder patterns, their separators, timing rows and format information sit
// in the first 9 rows and columns and the last 8; the middle is data.
bool IsDataModule(int x, int y, int count)
{
    const bool nearTopLeft = x < 9 && y < 9;
    const bool nearTopRight = x >= count - 8 && y < 9;
    const bool nearBottomLeft = x < 9 && y >= count - 8;
    const bool nearAlignment = x >= count - 10 && y >= count - 10;
    return !(nearTopLeft || nearTopRight || nearBottomLeft || nearAlignment || x == 6 || y == 6);
}

void FillRect(Picture& picture, int left, int top, int w, int h, uint8_t value)
{
    for (int y = std::max(top, 0); y < std::min(top + h, picture.height); ++y) {
        for (int x = std::max(left, 0); x < std::min(left + w, picture.width); ++x) {
            picture.at(x, y) = value;
        }
    }
}

void Check(bool written, const std::filesystem::path& path)
{
    if (!written) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

int QrCodeSize(const std::string& text, int scale)
{
    return (Modules(text).width() + 2 * kQuietZone) * scale;
}

int DrawQrCode(Picture& picture, const std::string& text, const QrPlacement& placement)
{
    const ZXing::BitMatrix modules = Modules(text);
    const int count = modules.width();
    const uint8_t dark = placement.lightOnDark ? 235 : 20;
    const uint8_t light = placement.lightOnDark ? 30 : 245;
    const int size = (count + 2 * kQuietZone) * placement.scale;
    FillRect(picture, placement.left, placement.top, size, size, light);

    std::mt19937 random(7);
    for (int y = 0; y < count; ++y) {
        for (int x = 0; x < count; ++x) {
            bool set = modules.get(x, y);
            if (placement.damaged && IsDataModule(x, y, count) && random() % 2 == 0) {
                set = !set;
            }
            if (set) {
                FillRect(picture, placement.left + (x + kQuietZone) * placement.scale,
                         placement.top + (y + kQuietZone) * placement.scale, placement.scale,
                         placement.scale, dark);
            }
        }
    }
    return size;
}

void DrawWindowClutter(Picture& picture, uint32_t seed)
{
    std::mt19937 random(seed);
    auto below = [&random](int limit) { return static_cast<int>(random() % limit); };

    FillRect(picture, 0, 0, picture.width, 30, 60); // title bar
    for (int x = 10; x < picture.width - 120; x += 7 + below(5)) {
        FillRect(picture, x, 10, 4, 10, 230); // title text
    }
    for (int y = 60; y < picture.height - 40; y += 18 + below(30)) {
        if (below(6) == 0) {
            FillRect(picture, 0, y, picture.width, 1, 120); // separator
            continue;
        }
        // A row of words: glyphs of random strokes, 7 pixels apart.
        int x = 20 + below(60);
        const int end = std::min(picture.width - 20, x + 200 + below(picture.width / 2));
        while (x < end) {
            const int letters = 2 + below(9);
            for (int i = 0; i < letters && x < end; ++i, x += 7) {
                for (int stroke = 0; stroke < 3; ++stroke) {
                    const bool vertical = below(2) == 0;
                    FillRect(picture, x + below(5), y + below(8), vertical ? 1 : 4,
                             vertical ? 9 : 1, static_cast<uint8_t>(below(80)));
                }
            }
            x += 6;
        }
    }
    for (int i = 0; i < 40; ++i) {
        // Buttons and icons: framed boxes and small filled glyphs.
        const int size = 16 + below(48);
        const int left = below(std::max(1, picture.width - size));
        const int top = 40 + below(std::max(1, picture.height - size - 40));
        FillRect(picture, left, top, size, size, 90);
        FillRect(picture, left + 2, top + 2, size - 4, size - 4,
                 static_cast<uint8_t>(150 + below(100)));
        FillRect(picture, left + size / 4, top + size / 4, size / 2, size / 3,
                 static_cast<uint8_t>(below(120)));
    }
}

QImage ToImage(const Picture& picture)
{
    return QImage(picture.grey.data(), picture.width, picture.height, picture.width,
                  QImage::Format_Grayscale8);
}

namespace {

void Save(const std::filesystem::path& path, const QImage& image, const char* format,
          int quality = -1)
{
    Check(image.save(QString::fromStdString(path.string()), format, quality), path);
}

} // namespace

void WritePng(const std::filesystem::path& path, const Picture& picture)
{
    Save(path, ToImage(picture), "PNG");
}

void WriteBmp(const std::filesystem::path& path, const Picture& picture)
{
    Save(path, ToImage(picture), "BMP");
}

void WriteJpeg(const std::filesystem::path& path, const Picture& picture)
{
    WriteJpegAtQuality(path, picture, 95);
}

void WriteJpegAtQuality(const std::filesystem::path& path, const Picture& picture, int quality)
{
    Save(path, ToImage(picture), "JPEG", quality);
}

// GIF's LZW with the code width held at 3 bits: a clear code after every two
// pixels keeps the decoder's table from growing, so no compression is needed.
void WriteGif(const std::filesystem::path& path, const Picture& picture)
{
    std::vector<uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a'};
    auto put16 = [&bytes](int value) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    };
    put16(picture.width);
    put16(picture.height);
    bytes.insert(bytes.end(), {0x81, 0, 0}); // global table of 4 colours
    bytes.insert(bytes.end(), {0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0});
    bytes.push_back(0x2C); // image descriptor
    put16(0);
    put16(0);
    put16(picture.width);
    put16(picture.height);
    bytes.push_back(0);
    bytes.push_back(2); // minimum code size: clear is 4, end is 5

    std::vector<uint8_t> data;
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    auto putCode = [&](uint32_t code) {
        bitBuffer |= code << bitCount;
        bitCount += 3;
        while (bitCount >= 8) {
            data.push_back(static_cast<uint8_t>(bitBuffer & 0xFF));
            bitBuffer >>= 8;
            bitCount -= 8;
        }
    };
    for (size_t i = 0; i < picture.grey.size(); ++i) {
        if (i % 2 == 0) {
            putCode(4);
        }
        putCode(picture.grey[i] < 128 ? 0 : 1);
    }
    putCode(5);
    if (bitCount > 0) {
        data.push_back(static_cast<uint8_t>(bitBuffer & 0xFF));
    }
    for (size_t start = 0; start < data.size(); start += 255) {
        const size_t count = std::min<size_t>(255, data.size() - start);
        bytes.push_back(static_cast<uint8_t>(count));
        bytes.insert(bytes.end(), data.begin() + static_cast<long>(start),
                     data.begin() + static_cast<long>(start + count));
    }
    bytes.push_back(0);
    bytes.push_back(0x3B);

    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(file), path);
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "station-qr-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
