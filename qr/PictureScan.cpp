#include "qr/PictureScan.h"

namespace {

// Decoding a picture file costs about a third of the whole.
constexpr int kLoadingShare = 35;

WorkControl Share(const WorkControl& control, int from, int to)
{
    WorkControl part;
    part.cancel = control.cancel;
    if (control.progress) {
        part.progress = [&control, from, to](int percent) {
            control.progress(from + percent * (to - from) / 100);
        };
    }
    return part;
}

} // namespace

PictureScanResult ScanPictureFileForOtpauthSecret(const std::string& path,
                                                  const WorkControl& control)
{
    PictureScanResult result;
    GreyRaster raster;
    result.picture = LoadGreyPictureFile(path, raster, Share(control, 0, kLoadingShare));
    if (result.picture != PictureStatus::Loaded) {
        return result;
    }
    result.scan = ScanRasterForOtpauthSecret(raster.pixels.data(), raster.width, raster.height,
                                             Share(control, kLoadingShare, 100));
    return result;
}
