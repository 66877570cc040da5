// One program, three stand-ins, chosen by the name it runs under:
//   cmd.exe            the command interpreter: records how it was started and which file
//                      the command name resolves to, the way cmd searches for it, then
//                      runs "regsvr32 /s <path>" with it;
//   vexa_setup*.exe    the product's installer: records that it started;
//   probe.exe window T the product's main program: a top-level window titled T.
#include <cstdlib>
#include <cwctype>

#include "probe_log.h"

namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring BaseName(const std::wstring& path) {
  auto slash = path.find_last_of(L"\\/");
  return Lower(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

std::wstring Env(const wchar_t* name, const wchar_t* fallback) {
  wchar_t value[4096];
  DWORD n = GetEnvironmentVariableW(name, value, 4096);
  return n > 0 && n < 4096 ? value : fallback;
}

bool IsFile(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Like cmd: the current folder first (unless NoDefaultCurrentDirectoryInExePath is set),
// then each folder of PATH, trying each extension of PATHEXT.
std::wstring Resolve(const std::wstring& name) {
  std::wstring dirs = Env(L"PATH", L"");
  if (Env(L"NoDefaultCurrentDirectoryInExePath", L"-") == L"-") dirs = L".;" + dirs;
  std::wstring exts = Env(L"PATHEXT", L".COM;.EXE;.BAT;.CMD") + L";";
  size_t d = 0;
  for (size_t e; (e = dirs.find(L';', d)) != std::wstring::npos || d < dirs.size(); d = e + 1) {
    if (e == std::wstring::npos) e = dirs.size();
    std::wstring dir = dirs.substr(d, e - d);
    if (dir == L".") {
      wchar_t cwd[MAX_PATH];
      GetCurrentDirectoryW(MAX_PATH, cwd);
      dir = cwd;
    }
    for (size_t x = 0, y; (y = exts.find(L';', x)) != std::wstring::npos; x = y + 1) {
      std::wstring candidate = dir + L"\\" + name + exts.substr(x, y - x);
      if (!dir.empty() && IsFile(candidate)) return candidate;
    }
  }
  return {};
}

DWORD Run(const std::wstring& application, std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi))
    return 9009;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

int CommandInterpreter() {
  STARTUPINFOW si{};
  GetStartupInfoW(&si);
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  std::wstring line = GetCommandLineW();
  AppendRecord({L"cmd", ModulePath(nullptr), line, std::to_wstring(si.dwFlags),
                std::to_wstring(si.wShowWindow), cwd});
  auto c = Lower(line).find(L"/c ");
  if (c == std::wstring::npos) return 1;
  std::wstring rest = line.substr(c + 3);
  rest.erase(0, rest.find_first_not_of(L' '));
  if (rest.size() > 1 && rest.front() == L'"' && rest.back() == L'"')
    rest = rest.substr(1, rest.size() - 2);  // cmd drops the quotes around the whole command
  auto end = rest.find_first_of(L" /\"");
  std::wstring name = rest.substr(0, end);
  std::wstring args = end == std::wstring::npos ? L"" : rest.substr(end);
  args.erase(0, args.find_first_not_of(L' '));
  std::wstring program = Resolve(name);
  AppendRecord({L"resolve", name, program});
  if (program.empty()) return 9009;
  // A batch file would need a real interpreter; the record above already tells that cmd
  // would have run it.
  auto ext = Lower(program.substr(program.size() - 4));
  if (ext == L".bat" || ext == L".cmd") return 1;
  return Run(program, name + L" " + args);
}

LRESULT CALLBACK ProductProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(w, msg, wp, lp);
}

int ProductWindow(const wchar_t* title) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProductProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"E2EProduct";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&wc);
  CreateWindowW(wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 200, 80, nullptr,
                nullptr, wc.hInstance, nullptr);
  AppendRecord({L"window", title, std::to_wstring(GetCurrentProcessId())});
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring self = BaseName(ModulePath(nullptr));
  if (self == L"cmd.exe") return CommandInterpreter();
  if (self.rfind(L"vexa_setup", 0) == 0) {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    AppendRecord({L"setup", ModulePath(nullptr), GetCommandLineW(), cwd});
    return 0;
  }
  if (__argc == 3 && std::wstring(__wargv[1]) == L"window") return ProductWindow(__wargv[2]);
  return 2;
}
