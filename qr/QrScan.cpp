#include "qr/QrScan.h"

#include "qr/OtpauthSecret.h"
#include "seed/ByteString.h"

#include <ZXing/ReadBarcode.h>
#include <climits>
#include <new>
#include <optional>
#include <vector>

namespace {

constexpr int kMaxCodesPerPicture = 8;

ZXing::DecodeHints ScanHints()
{
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setMaxNumberOfSymbols(kMaxCodesPerPicture);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    hints.setTryDownscale(true);
    hints.setBinarizer(ZXing::Binarizer::LocalAverage);
    return hints;
}

// The payload as the code carries it, up to its first zero byte.
std::string PayloadOf(const ZXing::Result& result)
{
    const ZXing::ByteArray& bytes = result.bytes();
    std::string payload(bytes.begin(), bytes.end());
    if (const size_t zero = payload.find('\0'); zero != std::string::npos) {
        payload.resize(zero);
    }
    return payload;
}

std::optional<std::string> FirstOtpauthSecret(const ZXing::Results& results)
{
    for (const ZXing::Result& result : results) {
        if (!result.isValid()) {
            continue;
        }
        std::string payload = PayloadOf(result);
        std::optional<std::string> secret = OtpauthSecretOf(payload);
        WipeMemory(payload.data(), payload.size());
        if (secret) {
            return secret;
        }
    }
    return std::nullopt;
}

std::vector<uint8_t> Inverted(const uint8_t* grey, size_t count)
{
    std::vector<uint8_t> inverted(count);
    for (size_t i = 0; i < count; ++i) {
        inverted[i] = static_cast<uint8_t>(255 - grey[i]);
    }
    return inverted;
}

QrScanResult Scan(const uint8_t* grey, int width, int height)
{
    const ZXing::ImageView image(grey, width, height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints = ScanHints();
    if (std::optional<std::string> secret = FirstOtpauthSecret(ZXing::ReadBarcodes(image, hints))) {
        return {QrScanStatus::SecretFound, std::move(*secret)};
    }

    // Light modules on a dark ground (dark-mode pages) only show up inverted.
    const std::vector<uint8_t> inverted =
        Inverted(grey, static_cast<size_t>(width) * static_cast<size_t>(height));
    const ZXing::ImageView invertedImage(inverted.data(), width, height, ZXing::ImageFormat::Lum);
    if (std::optional<std::string> secret =
            FirstOtpauthSecret(ZXing::ReadBarcodes(invertedImage, hints))) {
        return {QrScanStatus::SecretFound, std::move(*secret)};
    }

    // Asked only now: with errors returned, a failed full-size result can end
    // the search before a downscaled pass would have decoded the same code.
    // ZXing 1.4 keeps a found but undecodable code only when it reads the
    // picture as nothing but that code, so this pass is a pure one; it also
    // reads a lone code too small for the search above.
    hints.setReturnErrors(true);
    hints.setIsPure(true);
    const ZXing::Results lone = ZXing::ReadBarcodes(image, hints);
    if (std::optional<std::string> secret = FirstOtpauthSecret(lone)) {
        return {QrScanStatus::SecretFound, std::move(*secret)};
    }
    for (const ZXing::Result& result : lone) {
        if (result.error()) {
            return {QrScanStatus::DecodeFailed, {}};
        }
    }
    return {QrScanStatus::NoOtpauthCode, {}};
}

} // namespace

QrScanResult ScanRasterForOtpauthSecret(const uint8_t* grey, int width, int height)
{
    // The decoder indexes pixels with int.
    if (grey == nullptr || width <= 0 || height <= 0 ||
        static_cast<int64_t>(width) * height > INT_MAX) {
        return {QrScanStatus::RasterUnusable, {}};
    }
    try {
        return Scan(grey, width, height);
    } catch (const std::bad_alloc&) {
        return {QrScanStatus::OutOfMemory, {}};
    } catch (const std::exception&) {
        // The decoder gave up on the picture in a way of its own.
        return {QrScanStatus::DecodeFailed, {}};
    }
}
