#include "preview.h"

#include "grob/checks.h"
#include "grob/options.h"

#include <algorithm>
#include <stdexcept>

namespace preview {

Size PreviewSize(int width, int height, int zoom) {
    const std::int64_t w = std::max(width, grob::kScreens.back().width);
    const std::int64_t h = std::max(height, grob::kScreens.back().height);
    return {w * zoom + 2 * kMargin, h * zoom + 2 * kMargin};
}

int ZoomWithin(int width, int height, int wanted) {
    for (int zoom = wanted; zoom >= 1; --zoom) {
        const Size size = PreviewSize(width, height, zoom);
        if (size.width * size.height <= grob::kMaxPreviewPixels) return zoom;
    }
    return 0;
}

ZoomChoice ChooseZoom(int width, int height, int wanted, bool lower, std::string_view zoomHint,
                      std::string_view fitHint) {
    ZoomChoice choice;
    choice.zoom = ZoomWithin(width, height, wanted);
    if (choice.zoom == wanted) return choice;
    const Size asked = PreviewSize(width, height, wanted);
    const std::string tooLarge = "at zoom " + std::to_string(wanted) + " the preview would be " +
                                 grob::Thousands(asked.width) + " x " +
                                 grob::Thousands(asked.height) + " pixels; at most " +
                                 grob::Thousands(grob::kMaxPreviewPixels) + " are drawn";
    if (choice.zoom == 0) {
        choice.refusal = tooLarge + ", even at zoom 1: " + std::string(fitHint);
    } else if (!lower) {
        std::string hint(zoomHint);
        if (const auto at = hint.find("%d"); at != std::string::npos)
            hint.replace(at, 2, std::to_string(choice.zoom));
        choice.refusal = tooLarge + ": " + hint;
    } else {
        choice.note = "Zoom lowered to " + std::to_string(choice.zoom) + ": " + tooLarge + ".";
    }
    return choice;
}

std::uint32_t ShadeColour(int level, int levels) {
    const double dark = levels > 1 ? double(level) / (levels - 1) : 0.0;
    auto channel = [&](int shift) {
        const int light = int(kLcdLight >> shift & 255u), full = int(kLcdDark >> shift & 255u);
        return unsigned(light + (full - light) * dark + 0.5);
    };
    return Rgb(channel(0), channel(8), channel(16));
}

grob::Image Draw(const grob::ShadePicture& shades, int zoom) {
    zoom = std::max(1, zoom);
    const Size size = PreviewSize(shades.width, shades.height, zoom);
    if (size.width * size.height > grob::kMaxPreviewPixels)
        throw std::length_error("the preview would be too large");
    grob::Image image;
    image.width = int(size.width);
    image.height = int(size.height);
    image.pixels.assign(std::size_t(size.width * size.height), kLcdLight);
    auto at = [&](std::int64_t x, std::int64_t y) -> std::uint32_t& {
        return image.pixels[std::size_t(y * image.width + x)];
    };

    std::vector<std::uint32_t> colours(std::size_t(std::max(shades.shades, 1)));
    for (int level = 0; level < shades.shades; ++level)
        colours[std::size_t(level)] = ShadeColour(level, shades.shades);
    for (int y = 0; y < shades.height; ++y) {
        const std::uint8_t* level = shades.levels.data() + std::size_t(y) * shades.width;
        std::uint32_t* first = &at(kMargin, kMargin + std::int64_t(y) * zoom);
        for (int x = 0; x < shades.width; ++x)
            std::fill_n(first + std::ptrdiff_t(x) * zoom, zoom, colours[level[x]]);
        for (int dy = 1; dy < zoom; ++dy)
            std::copy_n(first, std::size_t(shades.width) * zoom,
                        first + std::ptrdiff_t(dy) * image.width);
    }

    // The outlines, just outside each screen's dots; where they cross the
    // picture they stop at its dots and go on in the margin.
    const std::int64_t left = kMargin - 1,
                       right = kMargin + std::int64_t(grob::kScreens[0].width) * zoom;
    const std::int64_t pictureRight = kMargin + std::int64_t(shades.width) * zoom;
    const std::int64_t pictureBottom = kMargin + std::int64_t(shades.height) * zoom;
    auto plot = [&](std::int64_t x, std::int64_t y, bool dashed, std::int64_t along) {
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
        if (x >= kMargin && x < pictureRight && y >= kMargin && y < pictureBottom) return;
        if (dashed && along % 6 >= 4) return; // 4 on, 2 off
        at(x, y) = kOutline;
    };
    // Later screens first, so that where the edges meet the solid one shows.
    for (auto screen = grob::kScreens.rbegin(); screen != grob::kScreens.rend(); ++screen) {
        const bool dashed = screen != grob::kScreens.rend() - 1;
        const std::int64_t bottom = kMargin + std::int64_t(screen->height) * zoom;
        for (std::int64_t y = left; y <= bottom; ++y) {
            plot(left, y, dashed, y);
            plot(right, y, dashed, y);
        }
        for (std::int64_t x = left; x <= right; ++x)
            plot(x, left, false, x);
        for (std::int64_t x = 0; x < image.width; ++x)
            plot(x, bottom, dashed, x);
    }
    return image;
}

grob::Image Draw(const grob::GrobObject& object, int zoom) {
    return Draw(
        grob::ShadesOf(object, object.kind, "preview", grob::kMaxSide * 8, grob::kMaxPixels * 8),
        zoom);
}

grob::Image DrawFile(std::span<const std::uint8_t> file, const grob::OutputKind& kind, int zoom) {
    grob::GrobObject object = grob::ReadBinaryGrob(file, "preview");
    object.kind = kind;
    return Draw(object, zoom);
}

} // namespace preview
