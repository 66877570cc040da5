#include "platform/win32/shell_win32.h"

#include <cstring>
#include <string>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/shell_api.h"
#include "platform/win32/win_error.h"

namespace vexa {
namespace {

// The owner-window argument of SHGetSpecialFolderLocation: reserved, ignored by the shell.
constexpr INT_PTR kReservedOwner = 100;
constexpr std::int32_t kCsidlSystem = 37;
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

std::int32_t ShellWin32::Open(WindowHandle owner, const Text& file) {
  const ShellApi& shell = Shell32();
  if (!comTried_) {
    comTried_ = true;
    comReady_ =
        SUCCEEDED(shell.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  }
  // ShellExecuteA's parameters, and SEE_MASK_NOASYNC: the shell may start a file on a thread
  // of its own (some file associations, some shell extensions) and would then lose the start
  // when the program ends right after; with it, the start has happened when this returns.
  // Wine starts every file at once and shows none of this.
  const std::string ansiFile = AnsiFromText(file);
  SHELLEXECUTEINFOA execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOASYNC;
  execute.hwnd = reinterpret_cast<HWND>(owner);
  execute.lpFile = ansiFile.c_str();
  execute.nShow = SW_SHOWNORMAL;
  shell.ShellExecuteExA(&execute);
  // As ShellExecuteA answers: above 32 when the shell started the file, else an error code.
  const auto result = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(execute.hInstApp));
  log_.Write(u"opened " + file + u": shell result " + DecimalText(result) +
             (result > 32 ? u" (started)" : u" (not started)"));
  return result;
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
