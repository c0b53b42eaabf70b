#include "qr/GreyPicture.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stb_image.h>

namespace {

struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};

struct PixelsFree
{
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

} // namespace

bool LoadGreyPicture(const std::string& path, GreyRaster& raster)
{
    raster = GreyRaster();
    // Narrow paths are UTF-8 on the platforms the station runs on.
    const std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    int width = 0;
    int height = 0;
    int channelsInFile = 0;
    const std::unique_ptr<stbi_uc, PixelsFree> pixels(
        stbi_load_from_file(file.get(), &width, &height, &channelsInFile, 1));
    if (!pixels || width <= 0 || height <= 0) {
        return false;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    raster.pixels.assign(pixels.get(), pixels.get() + count);
    raster.width = width;
    raster.height = height;
    return true;
}
