#pragma once

#include "platform/shell.h"

namespace vexa {

class ShellWin32 final : public Shell {
 public:
  ShellWin32() = default;
  ~ShellWin32() override;
  ShellWin32(const ShellWin32&) = delete;
  ShellWin32& operator=(const ShellWin32&) = delete;

  // Prepares COM on the calling thread (the window's) the first time, as the shell may hand
  // the file to an extension that needs it; not before, as the window has no other use for
  // it and shows sooner without it.
  std::int32_t Open(WindowHandle owner, const Text& file) override;
  Text SpecialFolderPath(std::int32_t csidl) override;

 private:
  bool comTried_ = false;
  bool comReady_ = false;
};

}  // namespace vexa
