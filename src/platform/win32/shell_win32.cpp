#include "platform/win32/shell_win32.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <cstring>

#include "platform/win32/code_page_win32.h"

namespace vexa {
namespace {

// The owner-window argument of SHGetSpecialFolderLocation: reserved, ignored by the shell.
constexpr INT_PTR kReservedOwner = 100;
constexpr std::size_t kPathBufferChars = 512;

// An item list from the shell, released with the shell's task allocator.
class ItemList {
 public:
  ItemList() = default;
  ~ItemList() { CoTaskMemFree(items_); }
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;
  PIDLIST_ABSOLUTE* Out() { return &items_; }
  PCIDLIST_ABSOLUTE Get() const { return items_; }

 private:
  PIDLIST_ABSOLUTE items_ = nullptr;
};

}  // namespace

ShellWin32::~ShellWin32() {
  if (comReady_) CoUninitialize();
}

std::int32_t ShellWin32::Open(WindowHandle owner, const Text& file) {
  if (!comTried_) {
    comTried_ = true;
    comReady_ =
        SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
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
  ShellExecuteExA(&execute);
  // As ShellExecuteA answers: above 32 when the shell started the file, else an error code.
  return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(execute.hInstApp));
}

Text ShellWin32::SpecialFolderPath(std::int32_t csidl) {
  ItemList items;
  if (SHGetSpecialFolderLocation(reinterpret_cast<HWND>(kReservedOwner), csidl, items.Out()) !=
      S_OK) {
    return {};
  }
  // A zeroed buffer: when the path lookup fails the result is the empty text.
  char path[kPathBufferChars] = {};
  SHGetPathFromIDListA(items.Get(), path);
  path[kPathBufferChars - 1] = '\0';
  return TextFromAnsi(std::string_view(path, std::strlen(path)));
}

}  // namespace vexa
