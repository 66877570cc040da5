#include "platform/win32/shell_win32.h"

#include <cstring>
#include <string>

#include "platform/failure_texts.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/desktop_shell.h"
#include "platform/win32/shell_api.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/win_error.h"

namespace vexa {
namespace {

// The owner-window argument of SHGetSpecialFolderLocation: reserved, ignored by the shell.
constexpr INT_PTR kReservedOwner = 100;
constexpr std::size_t kPathBufferChars = 512;

// An item-id list from the shell, freed with the shell's task allocator.
class OwnedItemIdList {
 public:
  OwnedItemIdList() = default;
  ~OwnedItemIdList() {
    if (items_) Shell32().CoTaskMemFree(items_);
  }
  OwnedItemIdList(const OwnedItemIdList&) = delete;
  OwnedItemIdList& operator=(const OwnedItemIdList&) = delete;
  PIDLIST_ABSOLUTE* Out() { return &items_; }
  PCIDLIST_ABSOLUTE Get() const { return items_; }

 private:
  PIDLIST_ABSOLUTE items_ = nullptr;
};

}  // namespace

ShellWin32::~ShellWin32() {
  if (comReady_) Shell32().CoUninitialize();
}

void ShellWin32::PrepareCom() {
  if (comTried_) return;
  comTried_ = true;
  comReady_ = SUCCEEDED(
      Shell32().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

// SEE_MASK_NOASYNC: the shell may start a file on a thread of its own (some file
// associations, some shell extensions) and would then lose the start when the program ends
// right after; with it, the start has happened when this returns. SEE_MASK_FLAG_NO_UI: a
// file the shell can't start ends in the program's own error box, not in a box of the
// shell's that the program would wait behind. The installer's own folder is its working
// folder, never this program's download folder, where a user's files could lie in wait.
// Wine starts every file at once and shows none of the asynchronous part.
void ShellWin32::StartInstaller(const Text& path) {
  PrepareCom();
  const std::wstring file = ToWide(path);
  const std::wstring folder = file.substr(0, file.find_last_of(L'\\') + 1);
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpFile = file.c_str();
  execute.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  execute.nShow = SW_SHOWNORMAL;
  const bool called = Shell32().ShellExecuteExW(&execute) != FALSE;
  const DWORD error = called ? ERROR_SUCCESS : GetLastError();
  // Above 32 when the shell started the file, else an error code (ShellExecute's).
  const auto result = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(execute.hInstApp));
  const bool started = called && result > 32;
  log_.Write(
      u"opened " + path + u": shell result " + DecimalText(result) +
      (started ? Text(u" (started)") : u" (not started: error " + DecimalText(error) + u")"));
  if (started) return;
  // ShellExecute's small codes (2, 3, 5, 8, 11...) are the system's error codes of the same
  // meaning, for when the shell set no last error.
  throw SystemError(error != ERROR_SUCCESS ? error : static_cast<DWORD>(result),
                    failure::kCannotStartInstaller, path);
}

void ShellWin32::Open(WindowHandle owner, const Text& address) {
  PrepareCom();
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
  PrepareCom();
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
  OwnedItemIdList items;
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
