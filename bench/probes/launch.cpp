// Starts programs and measures them from outside, the way a user's system sees them.
// Usage: launch.exe <out file> start <rounds> <program A> <program B>
//          Starts A and B once each round, A first in even rounds and B first in odd ones,
//          so each round's pair sees the same machine: the time from CreateProcess until the
//          process has gone idle (WaitForInputIdle) with a visible top-level window, then ends
//          it. One line per start, a round's two together: "start <A|B> <ms>".
//        launch.exe <out file> memory <program> [argument]
//          Runs the program to its end, sampling its peak working set
//          (GetProcessMemoryInfo) every few milliseconds. One line: "memory <bytes> <ms>".
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

// The process and its first thread, closed when done.
struct Child {
  PROCESS_INFORMATION pi{};
  ~Child() {
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
  }
};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Start(const std::wstring& program, const std::wstring& argument, Child& child) {
  std::wstring line = L"\"" + program + L"\"" + (argument.empty() ? L"" : L" " + argument);
  std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  return CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &child.pi) != FALSE;
}

BOOL CALLBACK FindShown(HWND w, LPARAM found) {
  auto* query = reinterpret_cast<std::pair<DWORD, bool>*>(found);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == query->first && IsWindowVisible(w)) {
    query->second = true;
    return FALSE;
  }
  return TRUE;
}

bool Shown(DWORD pid) {
  std::pair<DWORD, bool> query(pid, false);
  EnumWindows(FindShown, reinterpret_cast<LPARAM>(&query));
  return query.second;
}

// Milliseconds from start to shown and idle; negative when that did not happen in 30 s.
double StartUp(const std::wstring& program) {
  Child child;
  const double begin = Now();
  if (!Start(program, L"", child)) return -1;
  double ms = -1;
  if (WaitForInputIdle(child.pi.hProcess, 30000) == 0) {
    while (!Shown(child.pi.dwProcessId) && Now() - begin < 30000) Sleep(1);
    if (Shown(child.pi.dwProcessId)) ms = Now() - begin;
  }
  TerminateProcess(child.pi.hProcess, 0);
  WaitForSingleObject(child.pi.hProcess, 10000);
  return ms;
}

bool Memory(const std::wstring& program, const std::wstring& argument, std::FILE* out) {
  Child child;
  const double begin = Now();
  if (!Start(program, argument, child)) return false;
  SIZE_T peak = 0;
  int samples = 0;
  do {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(child.pi.hProcess, &counters, sizeof counters)) {
      if (counters.PeakWorkingSetSize > peak) peak = counters.PeakWorkingSetSize;
      ++samples;
    }
  } while (WaitForSingleObject(child.pi.hProcess, 2) == WAIT_TIMEOUT);
  std::fprintf(out, "memory %lu %.1f %d\n", static_cast<unsigned long>(peak), Now() - begin,
               samples);
  return samples > 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  std::FILE* out = _wfopen(argv[1], L"w");
  if (!out) return 2;
  const std::wstring mode = argv[2];
  bool ok = false;
  if (mode == L"start" && argc == 6) {
    ok = true;
    const int rounds = _wtoi(argv[3]);
    for (int round = 0; round < rounds; ++round) {
      for (int turn = 0; turn < 2; ++turn) {
        const int which = turn ^ (round % 2);
        const double ms = StartUp(argv[4 + which]);
        ok = ok && ms >= 0;
        std::fprintf(out, "start %c %.1f\n", "AB"[which], ms);
        std::fflush(out);
      }
    }
  } else if (mode == L"memory") {
    ok = Memory(argv[3], argc > 4 ? argv[4] : L"", out);
  }
  std::fclose(out);
  return ok ? 0 : 1;
}
