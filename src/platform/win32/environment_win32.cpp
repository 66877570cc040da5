#include "platform/win32/environment_win32.h"
#include "platform/win32/code_page_win32.h"

#include <windows.h>

#include "platform/command_line.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

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

}  // namespace vexa
