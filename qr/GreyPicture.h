#pragma once

#include <cstdint>
#include <string>
#include <vector>

// 8-bit grey, rows top to bottom, no gap between rows: what the picture
// sources hand to the QR scan.
struct GreyRaster
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Reads any picture format stb_image knows (PNG, JPEG, BMP, GIF, ...) as one
// grey channel, whatever the file's extension. path is UTF-8. False, with the
// raster left empty, when the file cannot be opened or is no picture.
bool LoadGreyPicture(const std::string& path, GreyRaster& raster);
