// Twips (1/1440 inch) are the unit of every window and control position in
// this program. This is the one place that turns them into screen pixels.
#pragma once

namespace twips {

// Logical dots per inch used for the mapping; 96 unless the screen says
// otherwise (set once the application knows its screen).
void SetDpi(double dpi);

// 15 at 96 dots per inch.
double PerPixel();

// Rounds to the nearest pixel, ties to even.
int ToPixels(double twips);
double FromPixels(int pixels);

} // namespace twips
