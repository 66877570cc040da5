#pragma once

#include <windows.h>

#include <oleacc.h>

#include <optional>

#include "platform/text.h"

namespace vexa {

// What a control tells a screen reader about itself, in Active Accessibility's terms. It is
// asked afresh at every question, as it changes while the window runs.
struct AccessibleFacts {
  long role = ROLE_SYSTEM_CLIENT;
  Text name;                  // empty: the object has no name
  std::optional<Text> value;  // none: the object has no value
  long state = 0;             // STATE_SYSTEM_* bits
};

// The facts of the control a window shows; none once the window is gone or no longer one of
// the program's controls (a reader may hold an object longer than the window lives).
using AccessibleFactsOf = std::optional<AccessibleFacts> (*)(HWND window);

// The answer to WM_GETOBJECT for a window's client area: an object whose role, name, value
// and state come from `factsOf`, and whose place, parent, children and navigation are those of
// the system's standard object for the window. Call it in the window's thread, inside its
// single-threaded COM apartment, where the object's calls then arrive. None when the
// system's accessibility library can't make it: the system then answers as it would anyway.
std::optional<LRESULT> AnswerAccessibleObject(HWND window, WPARAM flags, AccessibleFactsOf factsOf);

}  // namespace vexa
