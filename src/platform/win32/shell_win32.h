#pragma once

#include "platform/log.h"
#include "platform/shell.h"

namespace vexa {

class ShellWin32 final : public Shell {
 public:
  // The log gets each file opened and the shell's answer.
  explicit ShellWin32(Log& log) : log_(log) {}
  ~ShellWin32() override;
  ShellWin32(const ShellWin32&) = delete;
  ShellWin32& operator=(const ShellWin32&) = delete;

  // These three prepare COM on the calling thread (the window's) the first time, as the
  // shell may hand the file to an extension that needs it; not before, as the window has no
  // other use for it and shows sooner without it. A failure names the file as the
  // installer's (it is the one program the window starts).
  void StartInstaller(const Text& path) override;
  bool OpenAsDesktopUser(const Text& address) override;
  void Open(WindowHandle owner, const Text& address) override;
  // The system folder (kCsidlSystem) comes from GetSystemDirectoryW, which gives the same
  // text as the shell for 32- and 64-bit programs, on Windows and under Wine, without loading
  // the shell: the load event asks for it before the window is idle. Other folders come from
  // the shell.
  Text SpecialFolderPath(std::int32_t csidl) override;

 private:
  void PrepareCom();

  Log& log_;
  bool comTried_ = false;
  bool comReady_ = false;
};

}  // namespace vexa
