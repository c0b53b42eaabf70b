#include "qr/QrScan.h"

#include "qr/OtpauthSecret.h"
#include "seed/ByteString.h"

#include <ZXing/ReadBarcode.h>
#include <algorithm>
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

// A grey picture the scan reads, owned or borrowed.
struct View
{
    const uint8_t* grey;
    int width;
    int height;

    ZXing::ImageView image() const
    {
        return ZXing::ImageView(grey, width, height, ZXing::ImageFormat::Lum);
    }
    size_t count() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
};

std::vector<uint8_t> Inverted(const View& view)
{
    std::vector<uint8_t> inverted(view.count());
    for (size_t i = 0; i < inverted.size(); ++i) {
        inverted[i] = static_cast<uint8_t>(255 - view.grey[i]);
    }
    return inverted;
}

// Half the width and height, each pixel the mean of four.
std::vector<uint8_t> Halved(const View& view, int& width, int& height)
{
    width = view.width / 2;
    height = view.height / 2;
    std::vector<uint8_t> half(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* top = view.grey + static_cast<size_t>(2 * y) * view.width;
        const uint8_t* bottom = top + view.width;
        uint8_t* out = half.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            out[x] = static_cast<uint8_t>(
                (top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1] + 2) / 4);
        }
    }
    return half;
}

// Whether the picture could be nothing but one code: its dark pixels fill a
// roughly square box. A screen or a page never is, and the pure-code pass
// costs a whole binarisation of the picture.
bool MayBeALoneCode(const View& view)
{
    uint8_t lowest = 255;
    uint8_t highest = 0;
    for (size_t i = 0; i < view.count(); ++i) {
        lowest = std::min(lowest, view.grey[i]);
        highest = std::max(highest, view.grey[i]);
    }
    if (highest - lowest < 16) {
        return false;
    }
    const int middle = (lowest + highest) / 2;
    int left = view.width;
    int right = -1;
    int top = view.height;
    int bottom = -1;
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* row = view.grey + static_cast<size_t>(y) * view.width;
        for (int x = 0; x < view.width; ++x) {
            if (row[x] < middle) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return false;
    }
    const int boxWidth = right - left + 1;
    const int boxHeight = bottom - top + 1;
    return boxWidth * 4 <= boxHeight * 5 && boxHeight * 4 <= boxWidth * 5;
}

// Pictures at least this wide and high are searched in full once; the other
// passes read them at half size. A code on such a screen has modules of 2
// pixels or more, still at least one at half size.
constexpr int kLargePicture = 1000;

class Scanner
{
public:
    Scanner(const View& view, const WorkControl& control) : m_view(view), m_control(control) {}

    QrScanResult run()
    {
        m_control.report(0);
        return std::min(m_view.width, m_view.height) >= kLargePicture ? runLarge() : runSmall();
    }

private:
    // Every pass at full size, as they cost little here.
    QrScanResult runSmall()
    {
        ZXing::DecodeHints hints = ScanHints();
        if (found(m_view, hints, 25)) {
            return done();
        }
        if (found(m_view, LowContrast(hints), 50)) {
            return done();
        }
        const std::vector<uint8_t> inverted = Inverted(m_view);
        if (found(View{inverted.data(), m_view.width, m_view.height}, hints, 75)) {
            return done();
        }
        return pure();
    }

    // One full pass, then the others at half size: together about what one
    // pass with the decoder's own downscaling costs.
    QrScanResult runLarge()
    {
        ZXing::DecodeHints hints = ScanHints();
        hints.setTryDownscale(false);
        if (found(m_view, hints, 60)) {
            return done();
        }
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> halved = Halved(m_view, width, height);
        const View half{halved.data(), width, height};
        // Large or soft codes, which the decoder's downscaling would have found.
        if (found(half, ScanHints(), 70)) {
            return done();
        }
        if (found(half, LowContrast(hints), 80)) {
            return done();
        }
        const std::vector<uint8_t> inverted = Inverted(half);
        if (found(View{inverted.data(), width, height}, hints, 90)) {
            return done();
        }
        if (m_control.cancelled() || !MayBeALoneCode(half)) {
            return done();
        }
        return pure();
    }

    // Faint codes: a histogram of the whole picture tells modules from ground
    // where the neighbourhood average sees too little range.
    static ZXing::DecodeHints LowContrast(ZXing::DecodeHints hints)
    {
        hints.setBinarizer(ZXing::Binarizer::GlobalHistogram);
        hints.setTryDownscale(false);
        return hints;
    }

    // Asked only now: with errors returned, a failed full-size result can end
    // the search before a downscaled pass would have decoded the same code.
    // ZXing 1.4 keeps a found but undecodable code only when it reads the
    // picture as nothing but that code, so this pass is a pure one; it also
    // reads a lone code too small for the search above.
    QrScanResult pure()
    {
        if (m_control.cancelled()) {
            return done();
        }
        ZXing::DecodeHints hints = ScanHints();
        hints.setReturnErrors(true);
        hints.setIsPure(true);
        const ZXing::Results lone = ZXing::ReadBarcodes(m_view.image(), hints);
        if (std::optional<std::string> secret = FirstOtpauthSecret(lone)) {
            m_result = {QrScanStatus::SecretFound, std::move(*secret)};
            return done();
        }
        for (const ZXing::Result& result : lone) {
            if (result.error()) {
                m_result.status = QrScanStatus::DecodeFailed;
                break;
            }
        }
        return done();
    }

    // True when the pass found a secret or the caller cancelled: the scan ends.
    bool found(const View& view, const ZXing::DecodeHints& hints, int percentAfter)
    {
        if (m_control.cancelled()) {
            return true;
        }
        std::optional<std::string> secret =
            FirstOtpauthSecret(ZXing::ReadBarcodes(view.image(), hints));
        m_control.report(percentAfter);
        if (secret) {
            m_result = {QrScanStatus::SecretFound, std::move(*secret)};
            return true;
        }
        return m_control.cancelled();
    }

    QrScanResult done()
    {
        if (m_result.status != QrScanStatus::SecretFound && m_control.cancelled()) {
            m_result = {QrScanStatus::NoOtpauthCode, {}, true};
        } else {
            m_control.report(100);
        }
        return std::move(m_result);
    }

    const View m_view;
    const WorkControl& m_control;
    QrScanResult m_result;
};

} // namespace

QrScanResult ScanRasterForOtpauthSecret(const uint8_t* grey, int width, int height)
{
    return ScanRasterForOtpauthSecret(grey, width, height, WorkControl());
}

QrScanResult ScanRasterForOtpauthSecret(const uint8_t* grey, int width, int height,
                                        const WorkControl& control)
{
    // The decoder indexes pixels with int.
    if (grey == nullptr || width <= 0 || height <= 0 ||
        static_cast<int64_t>(width) * height > INT_MAX) {
        return {QrScanStatus::RasterUnusable, {}};
    }
    try {
        return Scanner(View{grey, width, height}, control).run();
    } catch (const std::bad_alloc&) {
        return {QrScanStatus::OutOfMemory, {}};
    } catch (const std::exception&) {
        // The decoder gave up on the picture in a way of its own.
        return {QrScanStatus::DecodeFailed, {}};
    }
}
