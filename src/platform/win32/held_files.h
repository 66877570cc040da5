#pragma once

#include <windows.h>

#include <functional>

#include "platform/text.h"

namespace vexa {

// Told, on the calling thread, that `path` is held by another program and is waited for.
using HeldFileNotice = std::function<void(const Text& path)>;

// How long a file held by another program is waited for, in all.
inline constexpr DWORD kHeldFileWaitMs = 30000;

// Runs `attempt` (a system call on `path`, giving its error code) until it succeeds, or fails
// for another reason than the file being held. Right after a file is closed, a virus scanner
// or the search indexer on Windows often opens it for a moment, sometimes for seconds, and
// opening, moving or starting it then fails with a sharing violation (or access denied while
// the scanner's handle goes). So it is tried again, after 100 ms, then twice as long each time
// up to 2 s, for kHeldFileWaitMs in all; `notice` (if any) hears of the first wait. Returns the
// last attempt's error code. Wine has no such scanners and shows none of this by itself.
DWORD RetriedWhileHeld(const std::function<DWORD()>& attempt, const Text& path,
                       const HeldFileNotice& notice);

}  // namespace vexa
