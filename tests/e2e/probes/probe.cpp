// One program, three stand-ins and a tool, chosen by the name it runs under and its arguments:
//   cmd.exe            the command interpreter: records how it was started, its environment
//                      and which file the command name resolves to, then runs
//                      "regsvr32 /s <path>" with it;
//   vexa_setup*.exe    the product's installer: records that it started, with its TEMP, TMP
//                      and VEXA_PLANTED, and leaves a file setup.tmp in its TEMP;
//   probe.exe window T the product's main program: a top-level window titled T;
//   probe.exe open U   the web browser: records the address it was asked to open;
//   probe.exe trust F machine|user
//                      adds the certificate in file F (DER) to the machine's or the user's
//                      trusted roots;
//   probe.exe scan MS  a virus scanner: each file made in C:\ or the system folder is opened
//                      alone (no sharing) as soon as it can be, held for MS milliseconds, and
//                      let go; records the file, how long it waited for it and held it.
#include <atomic>
#include <cstdlib>
#include <cwctype>
#include <thread>

#include "probe_log.h"  // first: <windows.h>, which <wincrypt.h> needs

#include <wincrypt.h>

namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// The program starts "cmd.exe /c regsvr32/s <path>" in the system folder; the suite checks
// the line and the folder of the "cmd" record. cmd takes the command's program from its
// current folder first, so there it finds the system's regsvr32.exe, which is run.
int CommandInterpreter() {
  STARTUPINFOW si{};
  GetStartupInfoW(&si);
  std::wstring line = GetCommandLineW();
  AppendRecord({L"cmd", ModulePath(nullptr), line, std::to_wstring(si.dwFlags),
                std::to_wstring(si.wShowWindow), CurrentFolder()});
  // The environment it was given: every variable's name, and PATH.
  std::wstring names, path;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* variable = block; *variable; variable += wcslen(variable) + 1) {
    const std::wstring text = variable;
    const std::wstring name = text.substr(0, text.find(L'=', 1));
    names += (names.empty() ? L"" : L",") + name;
    if (Lower(name) == L"path") path = text.substr(name.size() + 1);
  }
  FreeEnvironmentStringsW(block);
  AppendRecord({L"cmdenv", names, path});
  const auto c = Lower(line).find(L"/c ");
  if (c == std::wstring::npos) return 1;
  const std::wstring rest = line.substr(line.find_first_not_of(L' ', c + 3));
  const auto end = rest.find_first_of(L" /\"");
  const std::wstring name = rest.substr(0, end);
  std::wstring command = name + L" " + (end == std::wstring::npos ? L"" : rest.substr(end));
  const std::wstring program = CurrentFolder() + L"\\" + name + L".exe";
  if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) return 1;
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

// The test authority trusted in the Wine prefix only, for the https download site and the
// signatures: what "certutil [-user] -addstore Root root.crt" does on Windows. Exit code 0
// once it is in the store.
int TrustRoot(const wchar_t* file, const std::wstring& how) {
  HANDLE h = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 3;
  std::vector<BYTE> der(GetFileSize(h, nullptr));
  DWORD got = 0;
  const BOOL read = ReadFile(h, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
  CloseHandle(h);
  const DWORD where =
      how == L"user" ? CERT_SYSTEM_STORE_CURRENT_USER : CERT_SYSTEM_STORE_LOCAL_MACHINE;
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, where, L"Root");
  const bool added = read && got == der.size() && root != nullptr &&
                     CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), got,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (root != nullptr) CertCloseStore(root, 0);
  return added ? 0 : 4;
}

// Several threads try at once, with no pause: the program's file is free only in the moment
// between its close and its reopening. The first to open it holds it.
void Hold(const std::wstring& path, DWORD ms) {
  const DWORD start = GetTickCount();
  std::atomic<bool> done{false};
  const auto grab = [&] {
    while (!done && GetTickCount() - start < 10000) {
      HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) done = true;  // gone before it was held
        continue;
      }
      done = true;
      const DWORD waited = GetTickCount() - start;
      Sleep(ms);
      CloseHandle(file);
      AppendRecord({L"scan", path, std::to_wstring(waited), std::to_wstring(ms)});
    }
  };
  std::thread helpers[] = {std::thread(grab), std::thread(grab), std::thread(grab),
                           std::thread(grab)};
  grab();
  for (std::thread& helper : helpers) helper.join();
}

int Scanner(DWORD ms) {
  for (const std::wstring folder : {L"C:\\", L"C:\\windows\\system32\\"}) {
    HANDLE watched = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (watched == INVALID_HANDLE_VALUE) return 5;
    std::thread([watched, folder, ms] {
      alignas(DWORD) static thread_local BYTE changes[64 * 1024];
      for (DWORD got = 0;
           ReadDirectoryChangesW(watched, changes, sizeof changes, FALSE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME, &got, nullptr, nullptr);) {
        for (DWORD at = 0; got > 0;) {
          const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(changes + at);
          if (change->Action == FILE_ACTION_ADDED) {
            const std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
            std::thread(Hold, folder + name, ms).detach();
          }
          if (change->NextEntryOffset == 0) break;
          at += change->NextEntryOffset;
        }
      }
    }).detach();
  }
  AppendRecord({L"scanning", std::to_wstring(GetCurrentProcessId())});
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring self = Lower(ModulePath(nullptr));
  self = self.substr(self.find_last_of(L'\\') + 1);
  if (self == L"cmd.exe") return CommandInterpreter();
  if (self.rfind(L"vexa_setup", 0) == 0) {
    // Its TEMP and TMP, a variable of the user's, and a file left in TEMP, as installers do.
    const std::wstring temp = Variable(L"TEMP");
    const HANDLE left = CreateFileW((temp + L"\\setup.tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (left != INVALID_HANDLE_VALUE) CloseHandle(left);
    AppendRecord({L"setup", ModulePath(nullptr), GetCommandLineW(), CurrentFolder(), temp,
                  Variable(L"TMP"), Variable(L"VEXA_PLANTED")});
    return 0;
  }
  if (__argc == 3 && std::wstring(__wargv[1]) == L"open") {
    AppendRecord({L"open", __wargv[2]});
    return 0;
  }
  if (__argc == 4 && std::wstring(__wargv[1]) == L"trust") return TrustRoot(__wargv[2], __wargv[3]);
  if (__argc == 3 && std::wstring(__wargv[1]) == L"scan") return Scanner(_wtoi(__wargv[2]));
  if (__argc == 3 && std::wstring(__wargv[1]) == L"window") {  // until the process is ended
    CreateWindowW(L"STATIC", __wargv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 200, 80, nullptr,
                  nullptr, nullptr, nullptr);
    AppendRecord({L"window", __wargv[2], std::to_wstring(GetCurrentProcessId())});
    for (MSG m; GetMessageW(&m, nullptr, 0, 0) > 0;) DispatchMessageW(&m);
  }
  return 2;
}
