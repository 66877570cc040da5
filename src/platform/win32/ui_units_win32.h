#pragma once

#include <windows.h>
// Ui has a member named MessageBox; keep the Windows macro of that name from renaming it.
#undef MessageBox

#include "platform/screen_units.h"
#include "platform/ui.h"

namespace vexa {

// 0x800000nn is the system colour nn; anything else is 0x00BBGGRR, which is a COLORREF.
inline COLORREF ColorOf(OleColor color) {
  if (color & 0x80000000u) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

}  // namespace vexa
