#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include "platform/program_end.h"

namespace vexa {

// Ends the process at once with this exit code (see ProgramEndWin32).
[[noreturn]] void EndProcess(UINT exitCode);

// Ends the process at once with exit code 0: no window message, unload event or library
// clean-up runs. Files the program still has open go with it: a replacement file not yet
// committed and the transfer's spool files are all marked for deletion, so the system
// removes them when it closes their handles.
class ProgramEndWin32 final : public ProgramEnd {
 public:
  // `beforeEnd` runs just before the end, for what must not be cut off: processes asked
  // for but not yet started, the window's last values (the "100%" of a save, say) that it
  // has not had time to paint, the workers that are to stop, and failures reported from
  // other threads. What it throws ends the program through the error box instead.
  explicit ProgramEndWin32(std::function<void()> beforeEnd = {})
      : beforeEnd_(std::move(beforeEnd)) {}
  [[noreturn]] void Now() override;

 private:
  std::function<void()> beforeEnd_;
};

}  // namespace vexa
