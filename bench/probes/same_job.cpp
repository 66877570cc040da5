// The job of vexa_update.exe REFRESH done plainly, for scripts/bench.sh: the reference for the
// program's own overhead. A second thread starts the registrations as the program does
// (cmd.exe /c regsvr32/s "<system folder>\<component>", hidden, not waited for) while the
// first sets the same three WinINet time-outs, receives the body in 1 MB reads into a
// temporary file, copies that into the target in 1 MB blocks and opens the target. (Under
// Wine, CreateProcess returns only once the new process runs, about 0.1 s each: started one
// after the other before the download, the eight would delay it by most of a second.)
// Usage: same_job.exe <times file> <url> <target> [no-processes] [no-receive-timeout]
//                     [window-first] <component>...
// The first two switches leave out one part each, to measure what it costs; window-first
// adds the one part of the program's design the plain job lacks: its window, shown and
// painted before the job starts (the bare window of window.cpp, so at most that cost). The times
// file gets one line per step, "<step> <seconds since 1970>": begin, started, request, received,
// written, opened; and "failed <call>:<system error number>" for a call that failed (exit code 1).
#include <windows.h>

#include <shellapi.h>
#include <wininet.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kBlock = 1024 * 1024;
constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                         INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;

std::FILE* times = nullptr;
std::mutex timesMutex;

void Mark(const char* step) {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const ULONGLONG ticks = (ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  std::lock_guard<std::mutex> lock(timesMutex);
  std::fprintf(times, "%s %.6f\n", step, static_cast<double>(ticks - 116444736000000000ULL) / 1e7);
}

// Records the call that failed, with the system's error number; false.
bool Failed(const char* call) {
  const DWORD error = GetLastError();
  std::lock_guard<std::mutex> lock(timesMutex);
  std::fprintf(times, "failed %s:%lu\n", call, static_cast<unsigned long>(error));
  return false;
}

bool StartHidden(const std::wstring& system, const std::wstring& component) {
  std::wstring line = L"cmd.exe /c regsvr32/s \"" + system + L"\\" + component + L"\"";
  const std::wstring program = system + L"\\cmd.exe";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      system.c_str(), &si, &pi)) {
    return Failed("CreateProcess");
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

bool Receive(const wchar_t* url, bool receiveTimeout, HANDLE file) {
  HINTERNET session = InternetOpenW(L"same_job", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return Failed("InternetOpen");
  DWORD connect = 30000, send = 30000, receive = 60000;
  InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
  if (receiveTimeout) {
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
  }
  HINTERNET request = InternetOpenUrlW(session, url, nullptr, 0, kFlags, 0);
  Mark("request");
  std::vector<char> block(kBlock);
  DWORD read = 0, written = 0;
  bool ok = request != nullptr || Failed("InternetOpenUrl");
  while (ok && (ok = InternetReadFile(request, block.data(), kBlock, &read) || Failed("Read")) &&
         read > 0) {
    ok = (WriteFile(file, block.data(), read, &written, nullptr) && written == read) ||
         Failed("WriteFile temporary");
  }
  if (request) InternetCloseHandle(request);
  InternetCloseHandle(session);
  return ok;
}

// Both files are created new (CREATE_NEW), as the program creates its files: under Wine on
// ext4, a file opened with CREATE_ALWAYS is cut to nothing, and closing it then waits for
// the disk (0.01 to 0.13 s for 256 MB here, against 1 ms), which the program does not pay.
bool Copy(HANDLE from, const wchar_t* target) {
  HANDLE to =
      CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (to == INVALID_HANDLE_VALUE) return Failed("CreateFile target");
  std::vector<char> block(kBlock);
  DWORD read = 0, written = 0;
  bool ok = SetFilePointer(from, 0, nullptr, FILE_BEGIN) == 0 || Failed("SetFilePointer");
  while (ok && (ok = ReadFile(from, block.data(), kBlock, &read, nullptr) || Failed("ReadFile")) &&
         read > 0) {
    ok = (WriteFile(to, block.data(), read, &written, nullptr) && written == read) ||
         Failed("WriteFile target");
  }
  return (CloseHandle(to) || Failed("CloseHandle target")) && ok;
}

void ShowWindowFirst() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SameJobWindow";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&wc);
  HWND w = CreateWindowW(wc.lpszClassName, L"Same job", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, 420, 300, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(w, SW_SHOWNORMAL);
  UpdateWindow(w);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || !(times = _wfopen(argv[1], L"w"))) return 2;
  Mark("begin");
  bool processes = true, receiveTimeout = true, windowFirst = false;
  int next = 4;
  for (;; ++next) {
    const std::wstring word = next < argc ? argv[next] : L"";
    if (word == L"no-processes") {
      processes = false;
    } else if (word == L"no-receive-timeout") {
      receiveTimeout = false;
    } else if (word == L"window-first") {
      windowFirst = true;
    } else {
      break;
    }
  }
  if (windowFirst) ShowWindowFirst();
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  bool ok = true, startedAll = true;
  std::thread starter([&] {
    for (int i = next; processes && i < argc; ++i) {
      startedAll = StartHidden(system, argv[i]) && startedAll;
    }
    Mark("started");
  });

  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring temporary =
      folder + (L"same_job-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
  HANDLE body = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ok = (body != INVALID_HANDLE_VALUE || Failed("CreateFile temporary")) &&
       Receive(argv[2], receiveTimeout, body) && ok;
  Mark("received");
  ok = ok && Copy(body, argv[3]);
  if (body != INVALID_HANDLE_VALUE) CloseHandle(body);
  DeleteFileW(temporary.c_str());
  Mark("written");
  ok = ok && (reinterpret_cast<INT_PTR>(
                  ShellExecuteW(nullptr, L"open", argv[3], nullptr, nullptr, SW_SHOWNORMAL)) > 32 ||
              Failed("ShellExecute"));
  Mark("opened");
  starter.join();
  std::fclose(times);
  return ok && startedAll ? 0 : 1;
}
