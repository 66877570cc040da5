#include "platform/win32/environment_win32.h"

#include <windows.h>

#include "platform/command_line.h"
#include "platform/failure_texts.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

std::wstring ProgramPath() {
  return GrownText(
      [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
}

Text EnvironmentWin32::ProgramFolder() const {
  const std::wstring path = ProgramPath();
  if (path.empty()) throw SystemError(GetLastError(), failure::kNoProgramFolder, u"");
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

void EndProcess(UINT exitCode) {
  TerminateProcess(GetCurrentProcess(), exitCode);
  ExitProcess(exitCode);  // not reached
}

void ProgramEndWin32::Now() {
  if (beforeEnd_) beforeEnd_();
  EndProcess(0);
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
