#pragma once

#include "platform/text.h"

namespace vexa {

// Opens `file` through the ShellExecute of the desktop's own shell (Explorer): it starts
// with the rights of the user who owns the desktop, not this elevated program's, so a web
// address opens in that user's browser, unelevated. False when there is no such shell to ask
// (none running, another shell, no COM on this thread): nothing was opened. Wine has none
// (CLSID_ShellWindows can't be created there), so only Windows runs the route to its end.
bool OpenThroughDesktop(const Text& file) noexcept;

}  // namespace vexa
