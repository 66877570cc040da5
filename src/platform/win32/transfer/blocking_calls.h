#pragma once

#include <windows.h>

#include <functional>
#include <memory>

namespace vexa {

// WinINet's calls that wait on the network (a request waiting for its answer, a wait for data,
// a read) run on a thread of their own, the caller, so that the worker can stop waiting for
// one: when no byte has come for too long, when the PC has woken from sleep, or when the
// request is abandoned. Closing the handle a call waits on ends the call on Windows; Wine 8
// lets a read blocked on a silent connection wait on for good, whatever is closed. So a call
// that is given up is left to its thread, which ends when (if ever) the call returns; the next
// call gets a new caller.
//
// What a call uses must be its own (captured by value or shared): a call given up may return
// long after the worker has gone on, and then writes only into what it holds.
class BlockingCalls {
 public:
  enum class Ended {
    kReturned,  // the call returned
    kSilent,    // the deadline passed first
    kWoken,     // `woken` was set first
    kCanceled,  // `cancel` was set first
  };

  // `cancel` (manual-reset) and `woken` (auto-reset: one wake ends one wait) are events the
  // waits end at besides the call; they must outlive this object.
  BlockingCalls(HANDLE cancel, HANDLE woken) : cancel_(cancel), woken_(woken) {}
  ~BlockingCalls();
  BlockingCalls(const BlockingCalls&) = delete;
  BlockingCalls& operator=(const BlockingCalls&) = delete;

  // Runs `call` on the caller and waits until it returns, until `deadline` (GetTickCount64's
  // clock) passes, or until one of the events is set. Throws PlatformError when no thread can
  // be started.
  Ended Run(std::function<void()> call, ULONGLONG deadline);

 private:
  struct Caller;
  static DWORD WINAPI CallerThread(LPVOID parameter);
  // Lets the caller end after its call (at once when it waits for one).
  void Dismiss();

  const HANDLE cancel_;
  const HANDLE woken_;
  std::shared_ptr<Caller> caller_;  // shared with its thread
};

}  // namespace vexa
