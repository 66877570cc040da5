// One program, three stand-ins, chosen by the name it runs under:
//   cmd.exe            the command interpreter: records how it was started and which file
//                      the command name resolves to, the way cmd searches for it, then
//                      runs "regsvr32 /s <path>" with it;
//   vexa_setup*.exe    the product's installer: records that it started;
//   probe.exe window T the product's main program: a top-level window titled T;
//   probe.exe open U   the web browser: records the address it was asked to open.
#include <cstdlib>
#include <cwctype>
#include <sstream>

#include "probe_log.h"

namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring Env(const wchar_t* name, const wchar_t* fallback) {
  wchar_t value[4096];
  DWORD n = GetEnvironmentVariableW(name, value, 4096);
  return n > 0 && n < 4096 ? value : fallback;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// Like cmd: the current folder first (unless NoDefaultCurrentDirectoryInExePath is set),
// then each folder of PATH, trying each extension of PATHEXT.
std::wstring Resolve(const std::wstring& name) {
  std::wstring dirs = Env(L"PATH", L"");
  if (Env(L"NoDefaultCurrentDirectoryInExePath", L"-") == L"-") dirs = L".;" + dirs;
  std::wistringstream dirList(dirs);
  for (std::wstring dir; std::getline(dirList, dir, L';');) {
    if (dir == L".") dir = CurrentFolder();
    std::wistringstream extList(Env(L"PATHEXT", L".COM;.EXE;.BAT;.CMD"));
    for (std::wstring ext; !dir.empty() && std::getline(extList, ext, L';');) {
      const std::wstring candidate = dir + L"\\" + name + ext;
      const DWORD a = GetFileAttributesW(candidate.c_str());
      if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
    }
  }
  return {};
}

int CommandInterpreter() {
  STARTUPINFOW si{};
  GetStartupInfoW(&si);
  std::wstring line = GetCommandLineW();
  AppendRecord({L"cmd", ModulePath(nullptr), line, std::to_wstring(si.dwFlags),
                std::to_wstring(si.wShowWindow), CurrentFolder()});
  auto c = Lower(line).find(L"/c ");
  if (c == std::wstring::npos) return 1;
  std::wstring rest = line.substr(c + 3);
  rest.erase(0, rest.find_first_not_of(L' '));
  auto end = rest.find_first_of(L" /\"");
  std::wstring name = rest.substr(0, end);
  std::wstring command = name + L" " + (end == std::wstring::npos ? L"" : rest.substr(end));
  std::wstring program = Resolve(name);
  AppendRecord({L"resolve", name, program});
  // A batch file would need a real interpreter; the record above already tells that cmd
  // would have run it.
  auto ext = Lower(program.substr(program.size() < 4 ? 0 : program.size() - 4));
  if (program.empty() || ext == L".bat" || ext == L".cmd") return 1;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &pi))
    return 9009;
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring self = Lower(ModulePath(nullptr));
  self = self.substr(self.find_last_of(L'\\') + 1);
  if (self == L"cmd.exe") return CommandInterpreter();
  if (self.rfind(L"vexa_setup", 0) == 0) {
    AppendRecord({L"setup", ModulePath(nullptr), GetCommandLineW(), CurrentFolder()});
    return 0;
  }
  if (__argc == 3 && std::wstring(__wargv[1]) == L"open") {
    AppendRecord({L"open", __wargv[2]});
    return 0;
  }
  if (__argc == 3 && std::wstring(__wargv[1]) == L"window") {  // until the process is ended
    CreateWindowW(L"STATIC", __wargv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 200, 80, nullptr,
                  nullptr, nullptr, nullptr);
    AppendRecord({L"window", __wargv[2], std::to_wstring(GetCurrentProcessId())});
    for (MSG m; GetMessageW(&m, nullptr, 0, 0) > 0;) DispatchMessageW(&m);
  }
  return 2;
}
