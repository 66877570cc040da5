#include "platform/win32/environment_win32.h"

#include <windows.h>

#include "platform/command_line.h"
#include "platform/failure_texts.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

Text EnvironmentWin32::ProgramFolder() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) throw SystemError(GetLastError(), failure::kNoProgramFolder, u"");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try again with more room
  }
  return FromWide(path.substr(0, path.find_last_of(L"\\/")));
}

Text EnvironmentWin32::CommandLineArgument() const {
  return Text(SplitCommandLine(FromWide(GetCommandLineW())).argument);
}

bool EnvironmentWin32::Elevated() const {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  const UniqueHandle owned(token);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return true;
  return elevation.TokenIsElevated != 0;
}

void ProgramEndWin32::Now() {
  if (beforeEnd_) beforeEnd_();
  TerminateProcess(GetCurrentProcess(), 0);
  ExitProcess(0);  // not reached
}

namespace {

// The text that `call(size, buffer)` writes: a call that, given too small a buffer, returns
// the size it needs (GetSystemDirectoryW, GetSystemWindowsDirectoryW). When it fails: "",
// and the system's reason in `error`.
template <class Call>
std::wstring FolderFromSystem(Call call, DWORD& error) {
  std::wstring folder(MAX_PATH + 1, L'\0');
  DWORD length = call(static_cast<DWORD>(folder.size()), folder.data());
  if (length >= folder.size()) {
    folder.resize(length);
    length = call(static_cast<DWORD>(folder.size()), folder.data());
  }
  if (length == 0 || length >= folder.size()) {
    error = GetLastError();
    return {};
  }
  folder.resize(length);
  return folder;
}

}  // namespace

std::wstring SystemDirectory() {
  DWORD error = 0;
  std::wstring folder = FolderFromSystem(
      [](DWORD size, wchar_t* buffer) { return GetSystemDirectoryW(buffer, size); }, error);
  if (folder.empty()) throw SystemError(error, failure::kNoSystemFolder, u"");
  return folder;
}

namespace {

std::wstring SystemTemporaryFolder(DWORD& error) {
  std::wstring folder = FolderFromSystem(
      [](DWORD size, wchar_t* buffer) { return GetSystemWindowsDirectoryW(buffer, size); }, error);
  if (folder.empty()) return folder;
  if (folder.back() != L'\\') folder += L'\\';
  return folder + L"Temp\\";
}

}  // namespace

std::wstring SystemTemporaryFolder() {
  DWORD error = 0;
  std::wstring folder = SystemTemporaryFolder(error);
  if (folder.empty()) throw SystemError(error, failure::kNoTemporaryFolder, u"");
  return folder;
}

std::wstring SystemTemporaryFolderIfAny() {
  DWORD error = 0;
  return SystemTemporaryFolder(error);
}

}  // namespace vexa
