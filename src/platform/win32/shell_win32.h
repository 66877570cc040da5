#pragma once

#include <windows.h>

#include <shellapi.h>

#include <utility>

#include "platform/log.h"
#include "platform/shell.h"
#include "platform/win32/com_runtime.h"
#include "platform/win32/held_files.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// The two system functions that start the installer, and whether the program runs elevated;
// the platform probe hands in fakes.
struct InstallerStartApi {
  decltype(&::CreateProcessW) CreateProcessW;
  decltype(&::ShellExecuteExW) ShellExecuteExW;  // only where the start needs elevation
  bool (*Elevated)();
};

class ShellWin32 final : public Shell {
 public:
  // The log gets each file opened and how. `com`: the window's thread's apartment, entered
  // when the shell is first asked to open something. `api`: by default the system's functions.
  ShellWin32(Log& log, ComApartment& com, const InstallerStartApi* api = nullptr);
  ShellWin32(const ShellWin32&) = delete;
  ShellWin32& operator=(const ShellWin32&) = delete;
  // Hears of an installer that another program holds as its start is waited for.
  void SetHeldFileNotice(HeldFileNotice notice) { notice_ = std::move(notice); }

  // The installer starts as a program (CreateProcessW, the file named as the program), never
  // through the shell's association for its kind of file: the merged HKEY_CLASSES_ROOT an
  // elevated program reads includes HKCU\Software\Classes, where the user's unelevated
  // programs can put a command of their own for "exefile". Only when Windows says the
  // installer needs elevation and the program itself runs unelevated (started without its
  // manifest's rights) does the shell start it, with "runas": unelevated, this program has no
  // rights to lend. Such a start can't be given an environment: the installer's TEMP is then
  // what Windows gives an elevated process of the user's. Started as a program, the installer's
  // TEMP and TMP are its own folder in the run folder (InstallerTemporaryFolder).
  void StartInstaller(const Text& path) override;
  // These two prepare COM on the calling thread (the window's) the first time, as the shell
  // may hand the address to an extension that needs it; not before, as the window has no
  // other use for it and shows sooner without it.
  bool OpenAsDesktopUser(const Text& address) override;
  void Open(WindowHandle owner, const Text& address) override;
  // The system folder (kCsidlSystem) comes from GetSystemDirectoryW, which gives the same
  // text as the shell for 32- and 64-bit programs, on Windows and under Wine, without loading
  // the shell: the load event asks for it before the window is idle. Other folders come from
  // the shell.
  Text SpecialFolderPath(std::int32_t csidl) override;

 private:
  Log& log_;
  ComApartment& com_;
  const InstallerStartApi& api_;
  HeldFileNotice notice_;
};

}  // namespace vexa
