#include "platform/win32/held_files.h"

#include <algorithm>

namespace vexa {

DWORD RetriedWhileHeld(const std::function<DWORD()>& attempt, const Text& path,
                       const HeldFileNotice& notice) {
  constexpr DWORD kFirstPauseMs = 100;
  constexpr DWORD kLongestPauseMs = 2000;
  const ULONGLONG start = GetTickCount64();
  for (DWORD pause = kFirstPauseMs;; pause = std::min(2 * pause, kLongestPauseMs)) {
    const DWORD error = attempt();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                      error == ERROR_LOCK_VIOLATION;
    const ULONGLONG waited = GetTickCount64() - start;
    if (!held || waited >= kHeldFileWaitMs) return error;
    if (pause == kFirstPauseMs && notice) notice(path);
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, kHeldFileWaitMs - waited)));
  }
}

}  // namespace vexa
