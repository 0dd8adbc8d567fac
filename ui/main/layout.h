// The two layout rules of the main window, in twips with single precision.
#pragma once

namespace layout {

struct FrameFit {
    float frameWidth;
    float frameHeight;
    float labelLeft;
};

// Fits the frame around the picture box (given by its outer size) and moves
// the marker to the frame's top-right corner.
FrameFit FitFrame(float pictureOuterWidth, float pictureOuterHeight);

struct FramePosition {
    int left;
    int top;
};

// Centres the frame in the window's outer width, and in its outer height
// less 600 twips for title bar, menu bar and borders. No clamping: a window
// smaller than the frame gives negative offsets.
FramePosition CentreFrame(float windowOuterWidth, float windowOuterHeight, float frameWidth,
                          float frameHeight);

// Rounds to the nearest whole number, ties to even, then halves with integer
// division that truncates toward zero.
int RoundAndHalve(float difference);

} // namespace layout
