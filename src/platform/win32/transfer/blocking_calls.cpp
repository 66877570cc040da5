#include "platform/win32/transfer/blocking_calls.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// What the waiting side and the caller thread share: the call to make next, and whether the
// thread is to end instead. `ready` says there is news for the thread, `done` that the call
// returned (both auto-reset).
struct BlockingCalls::Caller {
  std::mutex mutex;  // guards call and quit
  std::function<void()> call;
  bool quit = false;
  UniqueHandle ready{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  UniqueHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

BlockingCalls::~BlockingCalls() {
  Dismiss();
}

DWORD WINAPI BlockingCalls::CallerThread(LPVOID parameter) {
  const std::unique_ptr<std::shared_ptr<Caller>> owner(
      static_cast<std::shared_ptr<Caller>*>(parameter));
  Caller& caller = **owner;
  for (;;) {
    WaitForSingleObject(caller.ready.Get(), INFINITE);
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> lock(caller.mutex);
      if (caller.quit) return 0;
      call = std::move(caller.call);
    }
    if (call) call();
    SetEvent(caller.done.Get());
  }
}

BlockingCalls::Ended BlockingCalls::Run(std::function<void()> call, ULONGLONG deadline) {
  if (!caller_) {
    auto caller = std::make_shared<Caller>();
    if (!caller->ready.Valid() || !caller->done.Valid()) {
      throw SystemError(GetLastError(), failure::kCannotCreateEvent, u"");
    }
    auto share = std::make_unique<std::shared_ptr<Caller>>(caller);
    const UniqueHandle thread(CreateThread(nullptr, 0, &CallerThread, share.get(), 0, nullptr));
    if (!thread.Valid()) throw SystemError(GetLastError(), failure::kCannotStartDownload, u"");
    share.release();  // the thread's now
    caller_ = std::move(caller);
  }
  {
    std::lock_guard<std::mutex> lock(caller_->mutex);
    caller_->call = std::move(call);
  }
  SetEvent(caller_->ready.Get());
  const HANDLE events[] = {caller_->done.Get(), cancel_, woken_};
  const ULONGLONG now = GetTickCount64();
  const DWORD wait =
      static_cast<DWORD>(std::min<ULONGLONG>(deadline > now ? deadline - now : 0, INFINITE - 1));
  const DWORD which = WaitForMultipleObjects(3, events, FALSE, wait);
  if (which == WAIT_OBJECT_0) return Ended::kReturned;
  Dismiss();  // the call goes on without anyone waiting for it
  if (which == WAIT_OBJECT_0 + 1) return Ended::kCanceled;
  if (which == WAIT_OBJECT_0 + 2) return Ended::kWoken;
  return Ended::kSilent;
}

void BlockingCalls::Dismiss() {
  if (!caller_) return;
  {
    std::lock_guard<std::mutex> lock(caller_->mutex);
    caller_->quit = true;
  }
  SetEvent(caller_->ready.Get());
  caller_.reset();
}

}  // namespace vexa
