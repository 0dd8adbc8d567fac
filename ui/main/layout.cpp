#include "layout.h"

#include <cmath>

namespace layout {

FrameFit FitFrame(float pictureOuterWidth, float pictureOuterHeight) {
    FrameFit fit{};
    fit.frameHeight = pictureOuterHeight + 340.0f;
    fit.frameWidth = pictureOuterWidth + 240.0f;
    fit.labelLeft = fit.frameWidth - 375.0f;
    return fit;
}

int RoundAndHalve(float difference) {
    // nearbyint rounds in the default mode: to nearest, ties to even.
    const auto rounded = static_cast<long long>(std::nearbyint(difference));
    return static_cast<int>(rounded / 2);
}

FramePosition CentreFrame(float windowOuterWidth, float windowOuterHeight, float frameWidth,
                          float frameHeight) {
    FramePosition position{};
    position.top = RoundAndHalve(windowOuterHeight - frameHeight - 600.0f);
    position.left = RoundAndHalve(windowOuterWidth - frameWidth);
    return position;
}

} // namespace layout
