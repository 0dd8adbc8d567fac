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

ConversionSize SizeOfConversion(int width, int height, const OutputKind& kind,
                                const Preparation& preparation, const Hints& hints) {
    ConversionSize size;
    size.refusal = CropRefusal(width, height, preparation);
    if (!size.refusal.empty()) return size;
    FittedSize(preparation, width, height, size.width, size.height);
    const int w = size.width, h = size.height;
    size.smallerFitHelps = true;
    if (w > kMaxSide || h > kMaxSide || std::int64_t(w) * h > kMaxPixels) {
        size.refusal = "enlarged to fit, the picture would be " + Thousands(w) + " x " +
                       Thousands(h) + " pixels; at most " + Thousands(kMaxSide) +
                       " on a side and " + std::to_string(kMaxPixels / (1024 * 1024)) +
                       " million pixels are made: " + std::string(hints.enlarge);
        return size;
    }
    size.grob = GrobExtent(kind, std::uint64_t(w), std::uint64_t(h));
    const std::uint64_t grobWidth = size.grob.width, grobHeight = size.grob.height;
    const std::uint64_t body = (grobWidth + 7) / 8 * grobHeight;
    if (grobWidth >= kFieldLimit || grobHeight >= kFieldLimit || 15 + 2 * body >= kFieldLimit)
        size.refusal = "the GROB would be " + Thousands(std::int64_t(grobWidth)) + " x " +
                       Thousands(std::int64_t(grobHeight)) + " dots, a body of " +
                       Thousands(std::int64_t(body)) +
                       " bytes; a GROB holds at most 524,280: " + std::string(hints.fit);
    else
        size.smallerFitHelps = false;
    return size;
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
        SizeOfConversion(tileWidth, tileHeight, *kind, CropCleared(preparation), hints).refusal;
    return refusal.empty() ? refusal : tiles + " cannot be converted: " + refusal;
}

} // namespace grob
