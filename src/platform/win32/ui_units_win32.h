#pragma once

#include <windows.h>
// Ui has a member named MessageBox; keep the Windows macro of that name from renaming it.
#undef MessageBox

#include <cmath>

#include "platform/ui.h"

namespace vexa {

// The window measures in twips (1/1440 inch); the screen in pixels at the system DPI.
struct ScreenDpi {
  int x = 96;
  int y = 96;

  // The nearest pixel: 15 twips are one pixel at 96 DPI.
  int PixelsX(double twips) const { return static_cast<int>(std::lround(twips * x / 1440.0)); }
  int PixelsY(double twips) const { return static_cast<int>(std::lround(twips * y / 1440.0)); }
  float TwipsX(int pixels) const { return static_cast<float>(pixels * 1440.0 / x); }
  float TwipsY(int pixels) const { return static_cast<float>(pixels * 1440.0 / y); }
};

// 0x800000nn is the system colour nn; anything else is 0x00BBGGRR, which is a COLORREF.
inline COLORREF ColorOf(OleColor color) {
  if (color & 0x80000000u) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

}  // namespace vexa
