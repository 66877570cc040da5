#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/log.h"
#include "platform/processes.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

class ProcessesWin32 final : public Processes {
 public:
  // `failed` receives, on the starter thread, the error of a process that could not be
  // started; the program is expected to end with it as with any unexpected failure. The log
  // gets each command line started and, when the process ends before this object goes, its
  // exit code.
  ProcessesWin32(FailureSink failed, Log& log);
  // Waits until every process asked for has been started.
  ~ProcessesWin32() override;
  ProcessesWin32(const ProcessesWin32&) = delete;
  ProcessesWin32& operator=(const ProcessesWin32&) = delete;

  // The command line is passed on exactly as given. The program it names is taken from the
  // system folder when it is a bare name ("cmd.exe"), and it runs with the system folder as
  // its working folder, so no cmd.exe or regsvr32 planted beside this program can run in its
  // place. Hidden window, no inherited handles, not waited for.
  //
  // Creating a process takes the system a dozen milliseconds or more, and the download queue
  // registers up to eight components before its request goes out: the window's thread only
  // queues the command line, and a starter thread of this object starts the processes one
  // after the other, in the order asked. Between starts, it waits for the started ones to
  // end, for the log; never for the window.
  void StartHidden(const Text& commandLine) override;
  // Returns once every process asked for so far has been started (or has failed to start):
  // before the program ends at once, so that no registration asked for is lost.
  void FinishStarting();
  WindowOwner FindWindowOwner(const Text& title, WindowHandle after) override;
  std::uint32_t ShellProcess() override;
  std::uint32_t CurrentProcess() override;
  // Waits up to 100 ms for the process to go, so that its window is gone before the caller
  // looks for the next one.
  bool Terminate(const WindowOwner& owner) override;

 private:
  void StartQueued();  // the starter thread
  void StartAndWatch();

  FailureSink failed_;
  Log& log_;
  UniqueHandle wake_;  // set when a command line is queued or the object goes
  std::mutex mutex_;   // guards the three members below
  std::condition_variable changed_;
  std::deque<Text> queue_;  // in front: the one being started, removed once it has been
  bool closing_ = false;
  std::thread starter_;  // begun with the first command line
};

}  // namespace vexa
