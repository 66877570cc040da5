#include "platform/win32/shell_win32.h"

#include <cstring>
#include <string>

#include "platform/system_environment.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/com_runtime.h"
#include "platform/win32/desktop_shell.h"
#include "platform/win32/elevated_files.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/held_files.h"
#include "platform/win32/shell_api.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// The owner-window argument of SHGetSpecialFolderLocation: reserved, ignored by the shell.
constexpr INT_PTR kReservedOwner = 100;
constexpr std::size_t kPathBufferChars = 512;
// ERROR_ELEVATION_REQUIRED, which MinGW's headers lack.
constexpr DWORD kElevationRequired = 740;

// An item-id list from the shell, freed with the shell's task allocator.
void FreeItemIdList(PIDLIST_ABSOLUTE items) {
  ComRuntime().CoTaskMemFree(items);
}
using ItemIdList = Owned<PIDLIST_ABSOLUTE, &FreeItemIdList>;

// ShellExecuteExW from shell32.dll, loaded only when first called.
BOOL WINAPI ShellExecuteLoaded(SHELLEXECUTEINFOW* execute) {
  return Shell32().ShellExecuteExW(execute);
}

bool RunsElevated() {
  return EnvironmentWin32().Elevated();
}

const InstallerStartApi kSystemInstallerStart{&::CreateProcessW, &ShellExecuteLoaded,
                                              &RunsElevated};

// The installer's environment: this program's own, with TEMP and TMP in the installer's
// protected folder inside the run folder. The user's own TEMP (HKCU\Environment) is one any
// of their unelevated programs can write into, while the elevated installer unpacks and loads
// its libraries there.
std::wstring InstallerEnvironment(const Text& path) {
  const EnvironmentStrings strings(GetEnvironmentStringsW());
  if (!strings) throw SystemError(GetLastError(), failure::kCannotStartInstaller, path);
  const wchar_t* end = strings.Get();
  while (*end != L'\0') end += wcslen(end) + 1;  // the block ends in an empty string
  const std::wstring_view block(strings.Get(), static_cast<std::size_t>(end - strings.Get()) + 1);
  return ToWide(WithTemporaryFolder(FromWide(block), FromWide(InstallerTemporaryFolder())));
}

}  // namespace

ShellWin32::ShellWin32(Log& log, ComApartment& com, const InstallerStartApi* api)
    : log_(log), com_(com), api_(api ? *api : kSystemInstallerStart) {}

// The installer's full path is the program to run and, quoted, its command line; its own
// folder is its working folder, never this program's download folder, where a user's files
// could lie in wait; no handle is inherited. It keeps this program's environment (it is the
// product's own installer and may need the user's folders), but for its temporary folder. The
// start has happened when this returns; the process is not waited for.
void ShellWin32::StartInstaller(const Text& path) {
  const std::wstring file = ToWide(path);
  const std::wstring folder = file.substr(0, file.find_last_of(L'\\') + 1);
  std::wstring commandLine = L"\"" + file + L"\"";  // CreateProcessW may write into it
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  std::wstring environment = InstallerEnvironment(path);
  // A virus scanner may hold the new file a moment longer: the start is tried again then.
  const DWORD error = RetriedWhileHeld(
      [&] {
        return api_.CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                   CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                   folder.empty() ? nullptr : folder.c_str(), &startup, &started)
                   ? ERROR_SUCCESS
                   : GetLastError();
      },
      path, notice_);
  if (error == ERROR_SUCCESS) {
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    log_.Write(u"opened " + path + u": started as a program (process " +
               DecimalText(started.dwProcessId) + u")");
    return;
  }
  // Elevated, the program has its rights to lend: a start that still asks for elevation is a
  // failure, never a reason to hand the installer to the shell.
  if (error != kElevationRequired || api_.Elevated()) {
    log_.Write(u"opened " + path + u": not started: error " + DecimalText(error));
    throw SystemError(error, failure::kCannotStartInstaller, path);
  }
  // SEE_MASK_NOASYNC: started when this returns, not on a thread of the shell's that the end
  // of the program would cut. SEE_MASK_FLAG_NO_UI: a failure ends in the program's own error
  // box, not in a box of the shell's that the program would wait behind.
  com_.Enter();
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"runas";
  execute.lpFile = file.c_str();
  execute.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  execute.nShow = SW_SHOWNORMAL;
  const bool called = api_.ShellExecuteExW(&execute) != FALSE;
  const DWORD shellError = called ? ERROR_SUCCESS : GetLastError();
  // Above 32 when the shell started the file, else an error code (ShellExecute's).
  const auto result = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(execute.hInstApp));
  const bool shellStarted = called && result > 32;
  log_.Write(u"opened " + path + u": needs elevation (error 740), through the shell's runas: " +
             (shellStarted ? Text(u"started") : u"not started: error " + DecimalText(shellError)));
  if (shellStarted) return;
  // ShellExecute's small codes (2, 3, 5, 8, 11...) are the system's error codes of the same
  // meaning, for when the shell set no last error.
  throw SystemError(shellError != ERROR_SUCCESS ? shellError : static_cast<DWORD>(result),
                    failure::kCannotStartInstaller, path);
}

void ShellWin32::Open(WindowHandle owner, const Text& address) {
  com_.Enter();
  const std::wstring file = ToWide(address);
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOASYNC;
  execute.hwnd = reinterpret_cast<HWND>(owner);
  execute.lpFile = file.c_str();
  execute.nShow = SW_SHOWNORMAL;
  Shell32().ShellExecuteExW(&execute);
  const auto result = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(execute.hInstApp));
  log_.Write(u"opened " + address + u": shell result " + DecimalText(result));
}

bool ShellWin32::OpenAsDesktopUser(const Text& address) {
  com_.Enter();
  const bool opened = OpenThroughDesktop(address);
  log_.Write(u"opened " + address +
             (opened ? Text(u" through the desktop shell")
                     : Text(u": no desktop shell to open it through")));
  return opened;
}

Text ShellWin32::SpecialFolderPath(std::int32_t csidl) {
  // The system folder as the processes and libraries are taken from it, without the shell.
  if (csidl == kCsidlSystem) return FromWide(SystemDirectory());
  const ShellApi& shell = Shell32();
  ItemIdList items;
  if (shell.SHGetSpecialFolderLocation(reinterpret_cast<HWND>(kReservedOwner), csidl,
                                       items.Out()) != S_OK) {
    return {};
  }
  // A zeroed buffer: when the path lookup fails the result is the empty text.
  char path[kPathBufferChars] = {};
  shell.SHGetPathFromIDListA(items.Get(), path);
  path[kPathBufferChars - 1] = '\0';
  return TextFromAnsi(std::string_view(path, std::strlen(path)));
}

}  // namespace vexa
