#pragma once

#include "platform/shell.h"

namespace vexa {

class ShellWin32 final : public Shell {
 public:
  // Made on the window's thread: prepares COM there, as the shell may hand a file to an
  // extension that needs it.
  ShellWin32();
  ~ShellWin32() override;
  ShellWin32(const ShellWin32&) = delete;
  ShellWin32& operator=(const ShellWin32&) = delete;

  std::int32_t Open(WindowHandle owner, const Text& file) override;
  Text SpecialFolderPath(std::int32_t csidl) override;

 private:
  bool comReady_;
};

}  // namespace vexa
