#pragma once

#include <cstdint>

namespace vexa {

// The copy of the program that runs already, as a second start finds it.
struct RunningCopy {
  std::uint32_t process = 0;  // 0: not known
  bool shown = false;         // its window was brought to the front
};

// The program runs one copy at a time on a machine: a second start (a second double click, a
// shortcut and a REFRESH start at once) hands over to the copy that runs.
class RunningCopies {
 public:
  virtual ~RunningCopies() = default;
  // Takes the machine-wide lock that the running copy holds until it ends; a lock left by a
  // copy that died is taken over. False when another running copy holds it.
  virtual bool TakeLock() = 0;
  // Brings the running copy's window to the front (its message box, when it shows one),
  // restored when minimised, waiting up to `waitMs` for one to appear.
  virtual RunningCopy BringRunningCopyToFront(std::int32_t waitMs) = 0;
};

}  // namespace vexa
