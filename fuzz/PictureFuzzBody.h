#pragma once

// The picture loader on any bytes: whatever it is handed, it ends, stays
// inside its buffers, and either refuses with an empty raster or gives a grey
// raster of exactly width x height bytes within the size limit. Shared by the
// libFuzzer target and the test that replays fuzz/regressions/picture.
#include "qr/GreyPicture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

inline PictureStatus CheckPictureBytes(const uint8_t* data, size_t size)
{
    GreyRaster raster;
    const PictureStatus status = DecodeGreyPicture(data, size, raster);
    if (status == PictureStatus::Loaded) {
        const bool sound =
            raster.width > 0 && raster.height > 0 &&
            static_cast<int64_t>(raster.width) * raster.height <= kMaxPicturePixels &&
            raster.pixels.size() ==
                static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height);
        if (!sound) {
            std::abort();
        }
    } else if (raster.width != 0 || raster.height != 0 || !raster.pixels.empty()) {
        std::abort();
    }
    return status;
}
