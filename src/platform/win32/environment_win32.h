#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/environment.h"
#include "platform/win32/protected_files.h"  // RunFolder, where the spool files go

namespace vexa {

class EnvironmentWin32 final : public Environment {
 public:
  Text ProgramFolder() const override;
  Text CommandLineArgument() const override;
  // From the process token; when it can't be read, elevated (the side that opens nothing as
  // the program). Wine reports every process elevated (TokenElevationTypeFull).
  bool Elevated() const override;
};

// Ends the process at once with exit code 0: no window message, unload event or library
// clean-up runs. Files the program still has open go with it: a replacement file not yet
// committed and the transfer's spool files are all marked for deletion, so the system
// removes them when it closes their handles.
// Ends the process at once with this exit code (see ProgramEndWin32).
[[noreturn]] void EndProcess(UINT exitCode);

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

// This program's file, as the system loaded it (a path may be longer than MAX_PATH); "" when
// the system can't tell, with the reason in GetLastError.
std::wstring ProgramPath();

// The system folder as Windows names it (for a 32-bit program on 64-bit Windows the system
// redirects it to the 32-bit one), without a trailing separator.
std::wstring SystemDirectory();

// "%SystemRoot%\Temp\", from GetSystemWindowsDirectoryW: not from the environment, which the
// user's unelevated programs set, and never the user's %TEMP%, which they can turn into a
// junction. IfAny gives "" where the other throws, for what goes on without it (the log).
std::wstring SystemTemporaryFolder();
std::wstring SystemTemporaryFolderIfAny();

}  // namespace vexa
