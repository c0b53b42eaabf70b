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

struct Rect
{
    int left;
    int top;
    int width;
    int height;
};

// Minimum, maximum and mean of each square block of a picture: one cheap
// look that tells the scan where a later pass is worth its cost.
class Blocks
{
public:
    static constexpr int kSize = 8;

    explicit Blocks(const View& view)
        : m_columns(view.width / kSize), m_rows(view.height / kSize),
          m_stats(static_cast<size_t>(m_columns) * static_cast<size_t>(m_rows))
    {
        for (int y = 0; y < m_rows * kSize; ++y) {
            const uint8_t* line = view.grey + static_cast<size_t>(y) * view.width;
            Stat* stats = &m_stats[static_cast<size_t>(y / kSize) * m_columns];
            for (int column = 0; column < m_columns; ++column) {
                Stat& stat = stats[column];
                const uint8_t* pixels = line + column * kSize;
                for (int x = 0; x < kSize; ++x) {
                    stat.lowest = std::min(stat.lowest, pixels[x]);
                    stat.highest = std::max(stat.highest, pixels[x]);
                    stat.sum += pixels[x];
                }
            }
        }
    }

    // Whether the picture could be nothing but one code: its dark parts fill
    // a roughly square box. A screen or a page never is, and the pure-code
    // pass costs a whole binarisation of the picture.
    bool mayBeALoneCode() const
    {
        uint8_t lowest = 255;
        uint8_t highest = 0;
        for (const Stat& stat : m_stats) {
            lowest = std::min(lowest, stat.lowest);
            highest = std::max(highest, stat.highest);
        }
        if (highest - lowest < 16) {
            return false;
        }
        const int middle = (lowest + highest) / 2;
        Box box;
        for (int row = 0; row < m_rows; ++row) {
            for (int column = 0; column < m_columns; ++column) {
                if (at(column, row).lowest < middle) {
                    box.add(column, row);
                }
            }
        }
        return box.right >= 0 && box.width() * 4 <= box.height() * 5 + 4 &&
               box.height() * 4 <= box.width() * 5 + 4;
    }

    // Where a light-on-dark code may sit, in pixels: regions of blocks
    // darker than mid-grey on average (a dark quiet zone, a dark page) large
    // enough each way to hold a code of one pixel per module. A light page
    // with dark text, a title bar or an icon has none.
    std::vector<Rect> darkRegions(int minimumPixels) const
    {
        const int minimumBlocks = (minimumPixels + kSize - 1) / kSize;
        std::vector<uint8_t> seen(m_stats.size(), 0);
        std::vector<Rect> regions;
        std::vector<int> stack;
        for (int start = 0; start < static_cast<int>(m_stats.size()); ++start) {
            if (seen[start] || !dark(m_stats[start])) {
                continue;
            }
            Box box;
            seen[start] = 1;
            stack.assign(1, start);
            while (!stack.empty()) {
                const int index = stack.back();
                stack.pop_back();
                const int column = index % m_columns;
                const int row = index / m_columns;
                box.add(column, row);
                const int neighbours[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
                for (const auto& step : neighbours) {
                    const int c = column + step[0];
                    const int r = row + step[1];
                    if (c < 0 || r < 0 || c >= m_columns || r >= m_rows) {
                        continue;
                    }
                    const int next = r * m_columns + c;
                    if (!seen[next] && dark(m_stats[next])) {
                        seen[next] = 1;
                        stack.push_back(next);
                    }
                }
            }
            if (box.width() >= minimumBlocks && box.height() >= minimumBlocks) {
                // One block of margin on each side, in pixels.
                regions.push_back({(box.left - 1) * kSize, (box.top - 1) * kSize,
                                   (box.width() + 2) * kSize, (box.height() + 2) * kSize});
            }
        }
        return regions;
    }

private:
    struct Stat
    {
        uint8_t lowest = 255;
        uint8_t highest = 0;
        uint32_t sum = 0;
    };
    struct Box
    {
        int left = INT_MAX;
        int top = INT_MAX;
        int right = -1;
        int bottom = -1;
        void add(int x, int y)
        {
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
        int width() const { return right - left + 1; }
        int height() const { return bottom - top + 1; }
    };

    static bool dark(const Stat& stat) { return stat.sum < 140u * kSize * kSize; }
    const Stat& at(int column, int row) const
    {
        return m_stats[static_cast<size_t>(row) * m_columns + column];
    }

    int m_columns;
    int m_rows;
    std::vector<Stat> m_stats;
};

// The part of view inside region (clipped to the view), light and dark
// exchanged; width and height are the part's.
std::vector<uint8_t> InvertedPart(const View& view, const Rect& region, int& width, int& height)
{
    const int left = std::max(0, region.left);
    const int top = std::max(0, region.top);
    width = std::min(view.width, region.left + region.width) - left;
    height = std::min(view.height, region.top + region.height) - top;
    std::vector<uint8_t> part(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = view.grey + static_cast<size_t>(top + y) * view.width + left;
        uint8_t* out = part.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            out[x] = static_cast<uint8_t>(255 - in[x]);
        }
    }
    return part;
}

// Pictures at least this wide and high are searched in full once; the other
// passes read them at half size. A code on such a screen has modules of 2
// pixels or more, still at least one at half size.
constexpr int kLargePicture = 1000;
// A version 1 code with its quiet zone at one pixel per module.
constexpr int kSmallestCode = 29;

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

    // One full pass without the decoder's own downscaling, then the others at
    // half size (which stands in for that downscaling: soft and large codes
    // are found there), the inverted one only where the picture has dark
    // regions. Together they cost about what one plain pass does.
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
        if (found(half, LowContrast(hints), 80)) {
            return done();
        }
        const Blocks blocks(half);
        for (const Rect& region : blocks.darkRegions(kSmallestCode)) {
            int partWidth = 0;
            int partHeight = 0;
            const std::vector<uint8_t> part = InvertedPart(half, region, partWidth, partHeight);
            if (found(View{part.data(), partWidth, partHeight}, hints, 90)) {
                return done();
            }
        }
        if (m_control.cancelled() || !blocks.mayBeALoneCode()) {
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
