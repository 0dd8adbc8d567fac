#include "grob/prepare.h"

#include "bluenoise.h"
#include "grob/halftone.h"

#include "grob/options.h"
#include "grob/reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

namespace grob {

namespace {

std::uint32_t Channel(std::uint32_t pixel, int shift) {
    return (pixel >> shift) & 255u;
}

// Rec. 601 luminance, rounded; a gray keeps its value exactly.
std::uint32_t Luminance(std::uint32_t pixel) {
    return (299 * Channel(pixel, 0) + 587 * Channel(pixel, 8) + 114 * Channel(pixel, 16) + 500) /
           1000;
}

// The tone curve over brightness 0..255.
std::array<double, 256> ToneCurve(const Preparation& p) {
    std::array<double, 256> curve{};
    const double c = std::clamp(p.contrast, -100.0, 100.0) / 100.0;
    const double factor = c >= 0 ? 1.0 / std::max(1e-3, 1.0 - c) : 1.0 + c;
    const double gamma = p.gamma > 0 ? p.gamma : 1.0;
    for (int v = 0; v < 256; ++v) {
        double x = v / 255.0;
        if (p.invert) x = 1.0 - x;
        x += std::clamp(p.brightness, -100.0, 100.0) / 100.0;
        x = (x - 0.5) * factor + 0.5;
        x = std::clamp(x, 0.0, 1.0);
        x = std::pow(x, 1.0 / gamma);
        curve[std::size_t(v)] = x * 255.0;
    }
    return curve;
}

// 8 x 8 Bayer matrix, thresholds 0..63.
constexpr int kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

struct Spread {
    int dx, dy;
    double share;
};
// Floyd–Steinberg: 7/16 ahead, 3/16 behind below, 5/16 below, 1/16 ahead below.
constexpr Spread kFloydSteinberg[] = {
    {1, 0, 7 / 16.0}, {-1, 1, 3 / 16.0}, {0, 1, 5 / 16.0}, {1, 1, 1 / 16.0}};
// Atkinson: 1/8 to six neighbours; a quarter of the error is let go.
constexpr Spread kAtkinson[] = {{1, 0, 1 / 8.0}, {2, 0, 1 / 8.0}, {-1, 1, 1 / 8.0},
                                {0, 1, 1 / 8.0}, {1, 1, 1 / 8.0}, {0, 2, 1 / 8.0}};

} // namespace

std::optional<Dither> DitherForName(std::string_view name) {
    for (const DitherMethod& method : kDitherMethods)
        if (method.name == name) return method.dither;
    return std::nullopt;
}

std::string_view NameOfDither(Dither dither) {
    for (const DitherMethod& method : kDitherMethods)
        if (method.dither == dither) return method.name;
    return kDitherMethods.front().name;
}

FitBox FitBeforeTurning(const Preparation& p) {
    if (!p.quarterTurned()) return p.fit;
    return {p.fit.height, p.fit.width, p.fit.upscale};
}

void FitSize(const FitBox& fit, int width, int height, int& outWidth, int& outHeight) {
    outWidth = width;
    outHeight = height;
    if (!fit.any() || width <= 0 || height <= 0) return;
    const double scale = std::min(double(fit.width) / width, double(fit.height) / height);
    if (scale < 1) {
        outWidth = std::max(1, int(std::lround(width * scale)));
        outHeight = std::max(1, int(std::lround(height * scale)));
        // Rounding must not step outside the box.
        outWidth = std::min(outWidth, fit.width);
        outHeight = std::min(outHeight, fit.height);
    } else if (fit.upscale) {
        const int factor = std::max(1, int(std::floor(scale)));
        outWidth = width * factor;
        outHeight = height * factor;
    }
}

namespace {

// The largest part of `area` in the box's proportions, at the anchor: the
// side the area has too much of is cut, the other kept whole; the cut side
// rounded to the nearest pixel, which the fit's own rounding then takes to
// the box's side exactly.
Region FillPart(const FitBox& box, const Region& area, Anchor anchor) {
    Region part = area;
    if (std::int64_t(area.width) * box.height > std::int64_t(area.height) * box.width)
        part.width =
            int(std::max<std::int64_t>(1, (2 * std::int64_t(area.height) * box.width + box.height) /
                                              (2 * std::int64_t(box.height))));
    else
        part.height =
            int(std::max<std::int64_t>(1, (2 * std::int64_t(area.width) * box.height + box.width) /
                                              (2 * std::int64_t(box.width))));
    const int spareX = area.width - part.width, spareY = area.height - part.height;
    part.x = area.x + (anchor == Anchor::Left ? 0 : anchor == Anchor::Right ? spareX : spareX / 2);
    part.y = area.y + (anchor == Anchor::Top ? 0 : anchor == Anchor::Bottom ? spareY : spareY / 2);
    return part;
}

// A fitted (and turned) picture on a field of the box's size and the
// background's gray, at the anchor.
MemoryRaster Padded(const MemoryRaster& picture, const Preparation& p) {
    const int w = std::max(p.fit.width, picture.width());
    const int h = std::max(p.fit.height, picture.height());
    MemoryRaster field(w, h, std::uint32_t(std::clamp(p.background, 0, 255)) * 0x010101u);
    const int spareX = w - picture.width(), spareY = h - picture.height();
    const Anchor a = p.anchor;
    const int left = a == Anchor::Left ? 0 : a == Anchor::Right ? spareX : spareX / 2;
    const int top = a == Anchor::Top ? 0 : a == Anchor::Bottom ? spareY : spareY / 2;
    for (int y = 0; y < picture.height(); ++y)
        std::copy_n(picture.view().row(y), picture.width(), field.row(top + y) + left);
    return field;
}

} // namespace

bool CroppedArea(const Preparation& p, int width, int height, Region& area) {
    area = {0, 0, std::max(width, 0), std::max(height, 0)};
    if (!p.cropped()) {
        if (p.filled() && area.any()) area = FillPart(FitBeforeTurning(p), area, p.anchor);
        return true;
    }
    const Region& crop = p.crop;
    const std::int64_t left = std::max<std::int64_t>(crop.x, 0);
    const std::int64_t top = std::max<std::int64_t>(crop.y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(crop.x) + crop.width, width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(crop.y) + crop.height, height);
    if (left >= right || top >= bottom) {
        area = {};
        return false;
    }
    area = {int(left), int(top), int(right - left), int(bottom - top)};
    if (p.filled()) area = FillPart(FitBeforeTurning(p), area, p.anchor);
    return true;
}

Region FillingCrop(const Preparation& p, int width, int height) {
    const FitBox box = FitBeforeTurning(p);
    if (!box.any() || width <= 0 || height <= 0) return {};
    return FillPart(box, {0, 0, width, height}, Anchor::Center);
}

void FittedSize(const Preparation& p, int width, int height, int& outWidth, int& outHeight) {
    Region area;
    CroppedArea(p, width, height, area);
    if (area.width == 0) {
        outWidth = outHeight = 0;
        return;
    }
    FitSize(FitBeforeTurning(p), area.width, area.height, outWidth, outHeight);
    if (p.quarterTurned()) std::swap(outWidth, outHeight);
    if (p.padded()) {
        outWidth = std::max(outWidth, p.fit.width);
        outHeight = std::max(outHeight, p.fit.height);
    }
}

// Area averaging: each fitted pixel is the mean of the source area it
// covers, partly covered source pixels counting by the part covered; each
// sum gathers its terms row by row, left to right. Enlarging: whole factors,
// every pixel a sharp block.
RowFitter::RowFitter(int width, int height, const FitBox& fit)
    : sourceWidth_(std::max(width, 0)), sourceHeight_(std::max(height, 0)) {
    int w = 0, h = 0;
    FitSize(fit, sourceWidth_, sourceHeight_, w, h);
    out_ = MemoryRaster(w, h);
    if (w < sourceWidth_ || h < sourceHeight_) {
        mode_ = Mode::Down;
        sx_ = double(sourceWidth_) / w;
        sy_ = double(sourceHeight_) / h;
        // Each fitted column takes the source columns it covers, one shared
        // with its neighbour at most: set aside at once, not grown twice over.
        first_.reserve(std::size_t(w) + 1);
        column_.reserve(std::size_t(sourceWidth_) + std::size_t(w));
        share_.reserve(std::size_t(sourceWidth_) + std::size_t(w));
        for (int x = 0; x < w; ++x) {
            first_.push_back(int(column_.size()));
            const double x0 = x * sx_, x1 = (x + 1) * sx_;
            for (int ix = int(x0); ix < std::min(int(std::ceil(x1)), sourceWidth_); ++ix) {
                column_.push_back(ix);
                share_.push_back(std::min(x1, ix + 1.0) - std::max(x0, double(ix)));
            }
        }
        first_.push_back(int(column_.size()));
        for (std::vector<double>& sums : sums_)
            sums.assign(std::size_t(w) * 3, 0.0);
    } else if (w > sourceWidth_) {
        mode_ = Mode::Up;
        factor_ = w / sourceWidth_;
    }
}

void RowFitter::add(const std::uint32_t* row) {
    if (fed_ >= sourceHeight_) return;
    const int iy = fed_++;
    const int w = out_.width();
    switch (mode_) {
    case Mode::Copy:
        std::copy(row, row + sourceWidth_, out_.row(iy));
        return;
    case Mode::Up:
        for (int f = 0; f < factor_; ++f) {
            std::uint32_t* to = out_.row(iy * factor_ + f);
            for (int x = 0; x < w; ++x)
                to[x] = row[x / factor_] & 0xFFFFFFu;
        }
        return;
    case Mode::Down:
        break;
    }
    // The fitted rows whose area this row is part of, with its share of their height.
    for (int y = next_; y < out_.height(); ++y) {
        const double y0 = y * sy_, y1 = (y + 1) * sy_;
        if (int(y0) > iy) break;
        if (iy >= std::min(int(std::ceil(y1)), sourceHeight_)) continue;
        const double wy = std::min(y1, iy + 1.0) - std::max(y0, double(iy));
        double* sums = sums_[y & 1].data();
        const int* column = column_.data();
        const double* share = share_.data();
        for (int x = 0; x < w; ++x, sums += 3) {
            // Three independent sums, each in the order of its terms.
            double r = sums[0], g = sums[1], b = sums[2];
            for (int k = first_[std::size_t(x)]; k < first_[std::size_t(x) + 1]; ++k) {
                const double weight = wy * share[k];
                const std::uint32_t pixel = row[column[k]];
                r += weight * Channel(pixel, 0);
                g += weight * Channel(pixel, 8);
                b += weight * Channel(pixel, 16);
            }
            sums[0] = r;
            sums[1] = g;
            sums[2] = b;
        }
    }
    // Rows whose last source row this was are complete.
    while (next_ < out_.height() &&
           std::min(int(std::ceil((next_ + 1) * sy_)), sourceHeight_) <= fed_)
        finishRow();
}

void RowFitter::finishRow() {
    const double area = sx_ * sy_;
    std::vector<double>& sums = sums_[next_ & 1];
    std::uint32_t* row = out_.row(next_);
    for (int x = 0; x < out_.width(); ++x) {
        std::uint32_t pixel = 0;
        for (int c = 0; c < 3; ++c)
            pixel |= std::uint32_t(std::lround(
                         std::clamp(sums[std::size_t(x) * 3 + std::size_t(c)] / area, 0.0, 255.0)))
                     << (8 * c);
        row[x] = pixel;
    }
    std::fill(sums.begin(), sums.end(), 0.0);
    ++next_;
}

MemoryRaster RowFitter::take() {
    if (!done()) return {};
    return std::move(out_);
}

MemoryRaster Fit(const PixelView& picture, const FitBox& fit) {
    RowFitter fitter(picture.width, picture.height, fit);
    for (int y = 0; y < picture.height; ++y)
        fitter.add(picture.row(y));
    return fitter.take();
}

MemoryRaster Fit(const PixelView& whole, const Preparation& p) {
    Region area;
    if (!CroppedArea(p, whole.width, whole.height, area)) return {};
    const PixelView picture{whole.row(area.y) + area.x, area.width, area.height, whole.stride};
    MemoryRaster fitted = Fit(picture, FitBeforeTurning(p));
    if (p.turned()) fitted = Turn(fitted.view(), p);
    return p.padded() ? Padded(fitted, p) : fitted;
}

MemoryRaster Turn(const PixelView& picture, const Preparation& p) {
    const int w = picture.width, h = picture.height;
    const int quarters = ((p.turn / 90) % 4 + 4) % 4;
    const bool sideways = quarters % 2 != 0;
    MemoryRaster turned(sideways ? h : w, sideways ? w : h);
    const int tw = turned.width(), th = turned.height();
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* row = picture.row(y);
        for (int x = 0; x < w; ++x) {
            // Where the pixel goes turned clockwise, then mirrored.
            int tx = x, ty = y;
            switch (quarters) {
            case 1:
                tx = h - 1 - y, ty = x;
                break;
            case 2:
                tx = w - 1 - x, ty = h - 1 - y;
                break;
            case 3:
                tx = y, ty = w - 1 - x;
                break;
            default:
                break;
            }
            if (p.flip == Flip::Horizontal) tx = tw - 1 - tx;
            if (p.flip == Flip::Vertical) ty = th - 1 - ty;
            turned.row(ty)[tx] = row[x] & 0xFFFFFFu;
        }
    }
    return turned;
}

MemoryRaster Prepare(const PixelView& picture, const OutputKind& kind, const Preparation& p) {
    MemoryRaster fitted = Fit(picture, p);
    // Neither fitted, toned nor dithered: the picture as it is, cropped and turned.
    if (!p.fits() && !p.toned() && p.dither == Dither::None) return fitted;
    return PrepareFitted(std::move(fitted), kind, p);
}

MemoryRaster PrepareFitted(MemoryRaster fitted, const OutputKind& kind, const Preparation& p) {
    const int w = fitted.width(), h = fitted.height();
    const auto curve = ToneCurve(p);
    std::vector<double> value(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* row = fitted.row(y);
        for (int x = 0; x < w; ++x)
            value[std::size_t(y) * w + x] = curve[Luminance(row[x])];
    }
    // The true gray of each level, black first: brightness step b is the
    // kind's level levels - 1 - b. Dithering chooses among these, so that a
    // picture of exactly these grays comes back unchanged.
    const int levels = kind.shades();
    std::vector<double> grays(static_cast<std::size_t>(levels));
    for (int b = 0; b < levels; ++b)
        grays[std::size_t(b)] = GrayOfShade(kind, levels - 1 - b);
    const std::vector<double> shown = grays; // what each level is written as
    // In linear light: the picture and the levels compared, and the errors
    // carried, as the light the screen gives, not as the grays' numbers.
    if (p.linear && p.dither != Dither::None) {
        auto linear = [](double gray) {
            const double c = std::clamp(gray, 0.0, 255.0) / 255.0;
            return 255.0 * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        };
        for (double& v : value)
            v = linear(v);
        for (double& g : grays)
            g = linear(g);
    }
    // The step whose gray is at or below v (0 .. levels - 2), for interpolating to the next.
    auto below = [&](double v) {
        const auto above = std::upper_bound(grays.begin(), grays.end(), v);
        return std::clamp(int(above - grays.begin()) - 1, 0, levels - 2);
    };
    auto put = [&](int x, int y, int step) {
        fitted.setPixel(x, y, std::uint32_t(shown[std::size_t(step)]) * 0x010101u);
    };
    // The 1-bit kind's band moved: a gray from the threshold up is white.
    const bool thresholded = levels == 2 && p.threshold != kPlainThreshold;
    switch (p.dither) {
    case Dither::None:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                auto gray = std::uint32_t(std::lround(value[std::size_t(y) * w + x]));
                if (thresholded) gray = int(gray) >= p.threshold ? 255u : 0u;
                fitted.setPixel(x, y, gray * 0x010101u); // the encoder's own bands
            }
        break;
    case Dither::Ordered:
    case Dither::BlueNoise:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double v = value[std::size_t(y) * w + x];
                const int b = below(v);
                const double position = (v - grays[std::size_t(b)]) /
                                        (grays[std::size_t(b) + 1] - grays[std::size_t(b)]);
                // Blue noise: the same threshold for a dot in every frame,
                // without the Bayer map's grid.
                const double threshold =
                    p.dither == Dither::Ordered
                        ? (kBayer[y % 8][x % 8] + 0.5) / 64.0
                        : (kBlueNoise[y % kBlueNoiseSide][x % kBlueNoiseSide] + 0.5) /
                              double(kBlueNoiseSide * kBlueNoiseSide);
                put(x, y, b + (position > threshold ? 1 : 0));
            }
        break;
    case Dither::Search: {
        // Floyd-Steinberg's halftone first, then the search from it.
        const std::vector<double> picture = value;
        std::vector<int> steps(value.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = std::size_t(y) * w + x;
                const double v = std::clamp(value[i], 0.0, 255.0);
                int b = below(v);
                if (v - grays[std::size_t(b)] >= grays[std::size_t(b) + 1] - v) ++b;
                steps[i] = b;
                const double error = v - grays[std::size_t(b)];
                for (const Spread& s : kFloydSteinberg) {
                    const int nx = x + s.dx, ny = y + s.dy;
                    if (nx >= 0 && nx < w && ny < h)
                        value[std::size_t(ny) * w + nx] += error * s.share;
                }
            }
        const SearchedHalftone found = SearchHalftone(picture, w, h, grays, std::move(steps));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                put(x, y, found.steps[std::size_t(y) * w + x]);
        break;
    }
    case Dither::FloydSteinberg:
    case Dither::Atkinson: {
        const auto spreads = p.dither == Dither::FloydSteinberg
                                 ? std::span<const Spread>(kFloydSteinberg)
                                 : std::span<const Spread>(kAtkinson);
        // Every row left to right. Running every other row right to left
        // (serpentine), with the kernel mirrored, leaves a coarser texture in
        // the mid-dark and mid-light grays (about 15-40 % and 60-85 %): at
        // 1 bit that put the dots about 5 % further from the picture, seen
        // through a blur of one dot, on every picture of bench/quality.py.
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                // What the neighbours passed on is kept within black and white:
                // the error of a dot past either end is not carried further.
                const double v = std::clamp(value[std::size_t(y) * w + x], 0.0, 255.0);
                // The nearest level gray; halfway goes to the lighter one.
                int b = below(v);
                if (v - grays[std::size_t(b)] >= grays[std::size_t(b) + 1] - v) ++b;
                put(x, y, b);
                const double error = v - grays[std::size_t(b)];
                for (const Spread& s : spreads) {
                    const int nx = x + s.dx, ny = y + s.dy;
                    if (nx >= 0 && nx < w && ny < h)
                        value[std::size_t(ny) * w + nx] += error * s.share;
                }
            }
        }
        break;
    }
    }
    return fitted;
}

} // namespace grob
