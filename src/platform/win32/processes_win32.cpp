#include "platform/win32/processes_win32.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/command_line.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// Access mask for the processes to terminate: all rights, in the value older Windows
// versions define.
constexpr DWORD kAllAccessToProcess = 0x1F0FFF;
constexpr DWORD kTerminationWaitMs = 100;

// Starts one process now, on the calling thread.
void StartHiddenNow(const Text& commandLine) {
  const std::wstring systemFolder = SystemDirectory();
  std::wstring line = ToWide(commandLine);  // CreateProcessW may write into it
  const std::wstring program = ToWide(ProgramFileOf(commandLine, FromWide(systemFolder)));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      systemFolder.c_str(), &startup, &started)) {
    throw SystemError(GetLastError(), u"无法启动程序 ", commandLine);
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
}

}  // namespace

ProcessesWin32::ProcessesWin32(std::function<void(std::exception_ptr)> failed)
    : failed_(std::move(failed)) {}

ProcessesWin32::~ProcessesWin32() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (starter_.joinable()) starter_.join();
}

void ProcessesWin32::StartHidden(const Text& commandLine) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(commandLine);
  if (!starter_.joinable()) starter_ = std::thread(&ProcessesWin32::StartQueued, this);
  changed_.notify_all();
}

void ProcessesWin32::FinishStarting() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty(); });
}

void ProcessesWin32::StartQueued() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;  // closing, and nothing left to start
    const Text commandLine = queue_.front();
    lock.unlock();
    try {
      StartHiddenNow(commandLine);
    } catch (...) {
      if (failed_) failed_(std::current_exception());
    }
    lock.lock();
    queue_.pop_front();
    changed_.notify_all();
  }
}

std::uint32_t ProcessesWin32::FindWindowOwner(const Text& title) {
  HWND window = FindWindowA(nullptr, AnsiFromText(title).c_str());
  if (window == nullptr) return 0;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return processId;
}

bool ProcessesWin32::Terminate(std::uint32_t processId) {
  UniqueHandle process(OpenProcess(kAllAccessToProcess, FALSE, processId));
  if (!process.Valid()) return false;
  TerminateProcess(process.Get(), 0);
  WaitForSingleObject(process.Get(), kTerminationWaitMs);
  return true;
}

}  // namespace vexa
