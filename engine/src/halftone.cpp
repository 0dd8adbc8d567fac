#include "grob/halftone.h"

#include <algorithm>
#include <cmath>

namespace grob {

namespace {

constexpr int kEyeRadius = 3;          // the blur, cut off at 3 dots
constexpr int kReach = 2 * kEyeRadius; // the blur seen through itself
constexpr int kSide = 2 * kReach + 1;

// The blur's autocorrelation, c(d) = sum over x of p(x) p(x + d), for
// offsets up to kReach: what a change at one dot does to the difference
// seen at another.
std::vector<double> Autocorrelation() {
    constexpr int side = 2 * kEyeRadius + 1;
    std::vector<double> p(side * side);
    double total = 0;
    for (int y = -kEyeRadius; y <= kEyeRadius; ++y)
        for (int x = -kEyeRadius; x <= kEyeRadius; ++x)
            total += p[(y + kEyeRadius) * side + x + kEyeRadius] =
                std::exp(-(x * x + y * y) / (2 * kEyeSpread * kEyeSpread));
    for (double& v : p)
        v /= total;
    std::vector<double> c(kSide * kSide, 0.0);
    for (int dy = -kReach; dy <= kReach; ++dy)
        for (int dx = -kReach; dx <= kReach; ++dx) {
            double sum = 0;
            for (int y = -kEyeRadius; y <= kEyeRadius; ++y)
                for (int x = -kEyeRadius; x <= kEyeRadius; ++x) {
                    const int u = x + dx, v = y + dy;
                    if (u < -kEyeRadius || u > kEyeRadius || v < -kEyeRadius || v > kEyeRadius)
                        continue;
                    sum += p[(y + kEyeRadius) * side + x + kEyeRadius] *
                           p[(v + kEyeRadius) * side + u + kEyeRadius];
                }
            c[(dy + kReach) * kSide + dx + kReach] = sum;
        }
    return c;
}

} // namespace

SearchedHalftone SearchHalftone(std::span<const double> picture, int w, int h,
                                std::span<const double> grays, std::vector<int> start) {
    static const std::vector<double> c = Autocorrelation();
    auto cpp = [&](int dx, int dy) { return c[(dy + kReach) * kSide + dx + kReach]; };
    SearchedHalftone found;
    found.steps = std::move(start);
    std::vector<int>& steps = found.steps;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    // Each dot's difference from the picture spread by the blur's
    // autocorrelation (cpe): the whole difference seen, the summed squares of
    // the blurred difference, is the sum of error x cpe over the dots, and a
    // change's effect on it is read from cpe where it is made.
    std::vector<double> cpe(n, 0.0);
    auto spread = [&](int x0, int y0, double amount) {
        for (int dy = -kReach; dy <= kReach; ++dy) {
            const int y = y0 + dy;
            if (y < 0 || y >= h) continue;
            for (int dx = -kReach; dx <= kReach; ++dx) {
                const int x = x0 + dx;
                if (x >= 0 && x < w) cpe[std::size_t(y) * w + x] += amount * cpp(dx, dy);
            }
        }
    };
    auto error = [&](std::size_t i) { return grays[std::size_t(steps[i])] - picture[i]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            spread(x, y, error(std::size_t(y) * w + x));
    auto seen = [&] {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            sum += error(i) * cpe[i];
        return sum;
    };
    found.startError = seen();
    const double c0 = cpp(0, 0);
    const int levels = int(grays.size());
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        bool changed = false;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = std::size_t(y) * w + x;
                // The best change here: a step up or down, or a swap.
                double best = 0;
                int bestStep = -1, bestX = -1, bestY = -1;
                for (const int to : {steps[i] - 1, steps[i] + 1}) {
                    if (to < 0 || to >= levels) continue;
                    const double a = grays[std::size_t(to)] - grays[std::size_t(steps[i])];
                    const double change = a * a * c0 + 2 * a * cpe[i];
                    if (change < best) best = change, bestStep = to, bestX = -1;
                }
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int u = x + dx, v = y + dy;
                        if ((dx == 0 && dy == 0) || u < 0 || u >= w || v < 0 || v >= h) continue;
                        const std::size_t j = std::size_t(v) * w + u;
                        if (steps[j] == steps[i]) continue;
                        const double a =
                            grays[std::size_t(steps[j])] - grays[std::size_t(steps[i])];
                        const double change =
                            2 * a * a * (c0 - cpp(dx, dy)) + 2 * a * (cpe[i] - cpe[j]);
                        if (change < best) best = change, bestStep = -1, bestX = u, bestY = v;
                    }
                if (best >= -1e-9) continue;
                changed = true;
                if (bestX < 0) {
                    spread(x, y, grays[std::size_t(bestStep)] - grays[std::size_t(steps[i])]);
                    steps[i] = bestStep;
                } else {
                    const std::size_t j = std::size_t(bestY) * w + bestX;
                    const double a = grays[std::size_t(steps[j])] - grays[std::size_t(steps[i])];
                    spread(x, y, a);
                    spread(bestX, bestY, -a);
                    std::swap(steps[i], steps[j]);
                }
            }
        if (!changed) break;
    }
    found.endError = seen();
    return found;
}

} // namespace grob
