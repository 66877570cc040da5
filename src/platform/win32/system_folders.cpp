#include "platform/win32/system_folders.h"

#include <windows.h>

#include "platform/win32/failure_texts.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"

namespace vexa {

std::wstring ProgramPath() {
  return GrownText(
      [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
}

std::wstring SystemDirectory() {
  std::wstring folder = GrownText(GetSystemDirectoryW);
  if (folder.empty()) throw SystemError(GetLastError(), failure::kNoSystemFolder, u"");
  return folder;
}

namespace {

// The Windows folder without a trailing separator; "" when the system can't tell, with the
// reason in `error`.
std::wstring WindowsDirectory(DWORD& error) {
  std::wstring folder = GrownText(GetSystemWindowsDirectoryW);
  error = GetLastError();
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

}  // namespace

std::wstring WindowsDirectory() {
  DWORD error = 0;
  std::wstring folder = WindowsDirectory(error);
  if (folder.empty()) throw SystemError(error, failure::kNoWindowsFolder, u"");
  return folder;
}

std::wstring SystemTemporaryFolder() {
  DWORD error = 0;
  const std::wstring folder = WindowsDirectory(error);
  if (folder.empty()) throw SystemError(error, failure::kNoTemporaryFolder, u"");
  return folder + L"\\Temp\\";
}

std::wstring SystemTemporaryFolderIfAny() {
  DWORD error = 0;
  const std::wstring folder = WindowsDirectory(error);
  return folder.empty() ? folder : folder + L"\\Temp\\";
}

}  // namespace vexa
