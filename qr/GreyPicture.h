#pragma once

#include "qr/WorkControl.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QImage;

// 8-bit grey, rows top to bottom, no gap between rows: what the picture
// sources hand to the QR scan.
struct GreyRaster
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

enum class PictureStatus
{
    Loaded,         // the raster holds the picture
    CannotOpen,     // missing, unreadable, or no permission
    NotRegularFile, // a folder, a FIFO, a device, a socket
    NotAPicture,    // not PNG, JPEG, BMP or GIF, or damaged
    TooLarge,       // more than kMaxPicturePixels
    OutOfMemory,    // the picture's memory could not be had
    Cancelled,      // the caller's cancel flag stopped the reading
};

// The largest picture read: 50 megapixels, far beyond any screen or photo of
// a QR code, and about 250 MB while it is turned grey.
constexpr int64_t kMaxPicturePixels = 50'000'000;

// Reads a PNG, JPEG, BMP or GIF picture, told apart by its content whatever
// the file's name says, as one grey channel; transparent parts are laid on
// white first. Only regular files are read, and opening never blocks. The
// picture's width and height are checked before it is decoded. path is UTF-8.
// Anything but Loaded leaves the raster empty. Safe on any thread; progress
// follows the bytes the decoder has read.
PictureStatus LoadGreyPictureFile(const std::string& path, GreyRaster& raster,
                                  const WorkControl& control = {});

// The same for a picture already in memory (a dropped or pasted file's bytes).
PictureStatus DecodeGreyPicture(const uint8_t* bytes, size_t size, GreyRaster& raster,
                                const WorkControl& control = {});

// A picture Qt already holds (the clipboard's) as grey, laid on white the
// same way. Refuses a null picture as NotAPicture and a larger one than
// kMaxPicturePixels as TooLarge.
PictureStatus GreyRasterFromImage(const QImage& image, GreyRaster& raster);

// The message the operator sees for a status other than Loaded and Cancelled,
// in English (UTF-8).
std::string PictureStatusMessage(PictureStatus status);

// The first call's contract, kept for callers that only need yes or no.
bool LoadGreyPicture(const std::string& path, GreyRaster& raster);
