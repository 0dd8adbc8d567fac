#include "twips.h"

#include <cmath>

namespace twips {

namespace {
double g_dpi = 96.0;
}

void SetDpi(double dpi) {
    if (dpi > 0) g_dpi = dpi;
}

double PerPixel() {
    return 1440.0 / g_dpi;
}

int ToPixels(double value) {
    return static_cast<int>(std::nearbyint(value / PerPixel()));
}

double FromPixels(int pixels) {
    return pixels * PerPixel();
}

} // namespace twips
