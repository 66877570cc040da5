#include "platform/win32/system_folders.h"

#include <windows.h>

#include "platform/failure_texts.h"
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

std::wstring SystemTemporaryFolder(DWORD& error) {
  std::wstring folder = GrownText(GetSystemWindowsDirectoryW);
  error = GetLastError();
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
