#pragma once

#include <cmath>

namespace vexa {

// The window measures in twips (1/1440 inch); the screen in pixels at the system DPI.
struct ScreenDpi {
  // Window messages carry positions and sizes in 16 bits (WM_SIZE, WM_MOVE), so no control
  // is placed or sized beyond that, however large a value the logic sets (a bar measured
  // against a tiny announced length can grow to 10^11 twips).
  static constexpr double kMaxPixels = 32767;

  int x = 96;
  int y = 96;

  // The nearest pixel: 15 twips are one pixel at 96 DPI.
  int PixelsX(double twips) const { return Nearest(twips * x / 1440.0); }
  int PixelsY(double twips) const { return Nearest(twips * y / 1440.0); }
  float TwipsX(int pixels) const { return static_cast<float>(pixels * 1440.0 / x); }
  float TwipsY(int pixels) const { return static_cast<float>(pixels * 1440.0 / y); }

 private:
  static int Nearest(double pixels) {
    if (!(pixels > -kMaxPixels)) return static_cast<int>(-kMaxPixels);  // NaN included
    if (pixels > kMaxPixels) return static_cast<int>(kMaxPixels);
    return static_cast<int>(std::lround(pixels));
  }
};

}  // namespace vexa
