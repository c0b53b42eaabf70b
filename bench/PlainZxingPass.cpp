#include "PlainZxingPass.h"

#include <ZXing/ReadBarcode.h>

bool PlainZxingPassFinds(const Picture& picture, const std::string& payload)
{
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Results results =
        ZXing::ReadBarcodes(ZXing::ImageView(picture.grey.data(), picture.width, picture.height,
                                             ZXing::ImageFormat::Lum),
                            hints);
    for (const ZXing::Result& result : results) {
        if (std::string(result.bytes().begin(), result.bytes().end()) == payload) {
            return true;
        }
    }
    return false;
}
