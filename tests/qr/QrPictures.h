#pragma once

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Grey pictures for the QR scan tests and benchmarks: white canvas, QR codes
// drawn by ZXing's writer at any module size, window-like clutter, and the
// picture files the station reads.
struct Picture
{
    Picture(int w, int h, uint8_t fill = 255)
        : width(w), height(h), grey(static_cast<size_t>(w) * static_cast<size_t>(h), fill)
    {}
    uint8_t& at(int x, int y) { return grey[static_cast<size_t>(y) * width + x]; }

    int width;
    int height;
    std::vector<uint8_t> grey;
};

struct QrPlacement
{
    int left = 0;
    int top = 0;
    int scale = 4;            // pixels per module
    bool lightOnDark = false; // light modules on a dark ground
    bool damaged = false;     // data modules scrambled, finder patterns kept
};

// Draws the code with a quiet zone of 4 modules; returns its size in pixels.
int DrawQrCode(Picture& picture, const std::string& text, const QrPlacement& placement);
// Size in pixels, quiet zone included, of the code DrawQrCode would draw.
int QrCodeSize(const std::string& text, int scale);

// A title bar, menu and text rows, separators, buttons and icons.
void DrawWindowClutter(Picture& picture, uint32_t seed);

// The grey picture as Qt sees it, sharing its pixels (keep picture alive).
QImage ToImage(const Picture& picture);

void WritePng(const std::filesystem::path& path, const Picture& picture);
void WriteBmp(const std::filesystem::path& path, const Picture& picture);
void WriteJpeg(const std::filesystem::path& path, const Picture& picture);
void WriteJpegAtQuality(const std::filesystem::path& path, const Picture& picture, int quality);
// A two-colour GIF: pixels darker than 128 black, the others white.
void WriteGif(const std::filesystem::path& path, const Picture& picture);

// A fresh folder under the system's temporary folder, removed with its files.
class TemporaryFolder
{
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
