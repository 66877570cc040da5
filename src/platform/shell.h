#pragma once

#include <cstdint>

#include "platform/text.h"

namespace vexa {

// The CSIDL number of the system folder.
constexpr std::int32_t kCsidlSystem = 37;

class Shell {
 public:
  virtual ~Shell() = default;
  // Starts the installer as a program (the file itself, no parameters, its own folder as the
  // working folder), never through the association of its kind of file, with no box of the
  // system's own. The start has happened when it returns. Throws PlatformError, naming the
  // file and the system's reason, when it did not start.
  virtual void StartInstaller(const Text& path) = 0;
  // Opens the web address as the user who owns the desktop, never with this program's
  // rights: through the desktop shell's own ShellExecute. False when that route is not
  // available (no desktop shell).
  virtual bool OpenAsDesktopUser(const Text& address) = 0;
  // Opens the web address as this program's user, as ShellExecute(owner, default verb, ...)
  // does; whether the shell could, it only logs.
  virtual void Open(WindowHandle owner, const Text& address) = 0;
  // The file-system path of the shell folder with this CSIDL number, as the shell gives
  // it, or the empty text when the shell can't locate the folder.
  virtual Text SpecialFolderPath(std::int32_t csidl) = 0;
};

}  // namespace vexa
