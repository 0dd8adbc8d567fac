#include "grob/checks.h"

#include "grob/grobfile.h"
#include "grob/options.h"

namespace grob {

std::string Thousands(std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string PictureSizeRefusal(std::int64_t width, std::int64_t height, std::int64_t maxSide,
                               std::int64_t maxPixels) {
    if (!TooLarge(width, height, maxSide, maxPixels)) return {};
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most " + std::to_string(maxSide) + " x " + std::to_string(maxSide) +
           " and " + std::to_string(maxPixels / (1024 * 1024)) + " million pixels are accepted";
}

std::string ConversionSizeRefusal(int width, int height, const OutputKind& kind,
                                  const Preparation& preparation, const Hints& hints) {
    if (std::string refusal = CropRefusal(width, height, preparation); !refusal.empty())
        return refusal;
    int w = 0, h = 0;
    FittedSize(preparation, width, height, w, h);
    if (w > kMaxSide || h > kMaxSide || std::int64_t(w) * h > kMaxPixels)
        return "enlarged to fit, the picture would be " + Thousands(w) + " x " + Thousands(h) +
               " pixels; at most " + Thousands(kMaxSide) + " on a side and " +
               std::to_string(kMaxPixels / (1024 * 1024)) +
               " million pixels are made: " + std::string(hints.enlarge);
    const Extent dots = GrobExtent(kind, std::uint64_t(w), std::uint64_t(h));
    const std::uint64_t grobWidth = dots.width, grobHeight = dots.height;
    const std::uint64_t body = (grobWidth + 7) / 8 * grobHeight;
    if (grobWidth >= kFieldLimit || grobHeight >= kFieldLimit || 15 + 2 * body >= kFieldLimit)
        return "the GROB would be " + Thousands(std::int64_t(grobWidth)) + " x " +
               Thousands(std::int64_t(grobHeight)) + " dots, a body of " +
               Thousands(std::int64_t(body)) +
               " bytes; a GROB holds at most 524,280: " + std::string(hints.fit);
    return {};
}

std::string CropRefusal(int width, int height, const Preparation& preparation) {
    Region kept;
    if (CroppedArea(preparation, width, height, kept)) return {};
    const Region& crop = preparation.crop;
    return "the crop " + std::to_string(crop.width) + "x" + std::to_string(crop.height) + "+" +
           std::to_string(crop.x) + "+" + std::to_string(crop.y) +
           " lies outside the picture, which is " + Thousands(width) + " x " + Thousands(height) +
           " pixels";
}

std::string TileSizeRefusal(int tileWidth, int tileHeight, std::optional<OutputKind> kind,
                            const Preparation& preparation, const Hints& hints) {
    const std::string tiles =
        "tiles of " + Thousands(tileWidth) + " x " + Thousands(tileHeight) + " pixels";
    if (tileWidth > kMaxSide || tileHeight > kMaxSide ||
        std::int64_t(tileWidth) * tileHeight > kMaxPixels)
        return tiles + " are larger than any picture made (at most " + Thousands(kMaxSide) +
               " on a side and " + std::to_string(kMaxPixels / (1024 * 1024)) +
               " million pixels): choose smaller tiles";
    if (!kind) return {};
    // The tiles are cut from the crop, and prepared without it.
    const std::string refusal =
        ConversionSizeRefusal(tileWidth, tileHeight, *kind, CropCleared(preparation), hints);
    return refusal.empty() ? refusal : tiles + " cannot be converted: " + refusal;
}

} // namespace grob
