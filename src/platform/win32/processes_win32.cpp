#include "platform/win32/processes_win32.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/command_line.h"
#include "platform/system_environment.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// Only what ending a process and waiting for it takes, and the limited query right (its exit
// status, its number): never the right to write into it or to start threads in it.
constexpr DWORD kEndingAccess = PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kTerminationWaitMs = 100;

// The system's own values for the environment of the processes started here, never the
// user's: the user's unelevated programs set PATH, PATHEXT and the rest in HKCU\Environment,
// and cmd.exe and regsvr32 (its search for the libraries a component loads ends in PATH)
// would otherwise follow them with this program's rights. The architecture is this process's
// view, as Windows gives it to processes of its bitness (a 32-bit process: "x86").
Text SystemEnvironment(const Text& systemFolder) {
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  const char16_t* architecture = u"x86";
  switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      architecture = u"AMD64";
      break;
    case PROCESSOR_ARCHITECTURE_ARM64:
      architecture = u"ARM64";
      break;
    case PROCESSOR_ARCHITECTURE_ARM:
      architecture = u"ARM";
      break;
  }
  return SystemEnvironmentBlock(
      {FromWide(WindowsDirectory()), systemFolder, architecture, system.dwNumberOfProcessors});
}

// Starts one process now, on the calling thread, with the environment `environment` (a
// block of SystemEnvironmentBlock); returns its handle.
UniqueHandle StartHiddenNow(const Text& commandLine, const Text& systemFolder,
                            const Text& environment) {
  std::wstring line = ToWide(commandLine);  // CreateProcessW may write into it
  const std::wstring program = ToWide(ProgramFileOf(commandLine, systemFolder));
  std::wstring block = ToWide(environment);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, block.data(), ToWide(systemFolder).c_str(),
                      &startup, &started)) {
    throw SystemError(GetLastError(), failure::kCannotStartProgram, commandLine);
  }
  UniqueHandle thread(started.hThread);
  return UniqueHandle(started.hProcess);
}

struct Started {
  UniqueHandle process;
  Text commandLine;
};

}  // namespace

ProcessesWin32::ProcessesWin32(FailureSink failed, Log& log)
    : failed_(std::move(failed)), log_(log), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!wake_.Valid()) throw SystemError(GetLastError(), failure::kCannotCreateEvent, u"");
}

ProcessesWin32::~ProcessesWin32() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  SetEvent(wake_.Get());
  if (starter_.joinable()) starter_.join();
}

void ProcessesWin32::StartHidden(const Text& commandLine) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The thread first: a command line is never queued with no thread to start it.
  if (!starter_.joinable()) starter_ = std::thread(&ProcessesWin32::StartQueued, this);
  queue_.push_back(commandLine);
  changed_.notify_all();
  SetEvent(wake_.Get());
}

void ProcessesWin32::FinishStarting() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty(); });
}

void ProcessesWin32::StartQueued() {
  try {
    StartAndWatch();
  } catch (...) {
    // Nothing may leave the thread: the failure goes to the window, and what is still
    // queued is dropped, so that no one waits for it.
    if (failed_) failed_(std::current_exception());
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    changed_.notify_all();
  }
}

void ProcessesWin32::StartAndWatch() {
  const Text systemFolder = FromWide(SystemDirectory());
  const Text environment = SystemEnvironment(systemFolder);
  std::vector<Started> running;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!queue_.empty()) {
        const Text commandLine = queue_.front();
        lock.unlock();
        try {
          running.push_back({StartHiddenNow(commandLine, systemFolder, environment), commandLine});
          log_.Write(u"started (process " +
                     DecimalText(GetProcessId(running.back().process.Get())) + u"): " +
                     commandLine);
        } catch (...) {
          if (failed_) failed_(std::current_exception());
        }
        lock.lock();
        queue_.pop_front();
        changed_.notify_all();
      }
      if (closing_) return;  // and nothing left to start
    }
    // Until more is queued, or one of the started processes ends.
    std::vector<HANDLE> handles{wake_.Get()};
    for (const Started& s : running) {
      if (handles.size() < MAXIMUM_WAIT_OBJECTS) handles.push_back(s.process.Get());
    }
    const DWORD which =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    const std::size_t ended = which - WAIT_OBJECT_0 - 1;
    if (which > WAIT_OBJECT_0 && ended < running.size()) {
      DWORD code = 0;
      GetExitCodeProcess(running[ended].process.Get(), &code);
      log_.Write(u"ended with exit code " + DecimalText(code) + u": " + running[ended].commandLine);
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(ended));
    } else if (which == WAIT_FAILED) {
      running.clear();  // the log loses their exit codes; starting goes on
    }
  }
}

WindowOwner ProcessesWin32::FindWindowOwner(const Text& title, WindowHandle after) {
  HWND window =
      FindWindowExW(nullptr, reinterpret_cast<HWND>(after), nullptr, ToWide(title).c_str());
  if (window == nullptr) return {};
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return {reinterpret_cast<WindowHandle>(window), processId};
}

std::uint32_t ProcessesWin32::ShellProcess() {
  HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (shell != nullptr) GetWindowThreadProcessId(shell, &processId);
  return processId;
}

std::uint32_t ProcessesWin32::CurrentProcess() {
  return GetCurrentProcessId();
}

bool ProcessesWin32::Terminate(const WindowOwner& owner) {
  UniqueHandle process(OpenProcess(kEndingAccess, FALSE, owner.process));
  if (!process.Valid()) return false;
  // The handle pins the process: while it is open, its number can't go to another. So the
  // window, checked now, belongs to the very process the handle ends.
  DWORD windowProcess = 0;
  if (!GetWindowThreadProcessId(reinterpret_cast<HWND>(owner.window), &windowProcess) ||
      windowProcess != owner.process) {
    return false;
  }
  TerminateProcess(process.Get(), 0);
  WaitForSingleObject(process.Get(), kTerminationWaitMs);
  return true;
}

}  // namespace vexa
