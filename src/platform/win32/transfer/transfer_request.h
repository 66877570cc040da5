#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/log.h"
#include "platform/transfer.h"
#include "platform/win32/transfer/partial_store.h"
#include "platform/win32/transfer/received_body.h"
#include "platform/win32/transfer/wininet_connection.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"
#include "transfer/download_attempts.h"

namespace vexa {

// One request of TransferWinInet, shared by the control and the worker thread that runs it:
// the worker makes the attempts DownloadAttempts allows (continuing a cut body where it can,
// and one kept from an earlier run), reads the body into a ReceivedBody, waits between
// attempts, logs, and posts the states and the progress; the window's thread may cancel or
// abort it. Its WinINet handles are its WinInetConnection's.
class TransferRequest {
 public:
  // `bodyLimit`: the most body bytes the answer may have (0: no limit). `partials`: where a
  // body cut short is kept for a later run, and found again.
  TransferRequest(const WinInetApi& api, FailureSink failed, Log& log,
                  std::shared_ptr<PartialStore> partials, HWND window, LPARAM serial,
                  std::wstring url, bool isGet, std::int64_t bodyLimit);
  TransferRequest(const TransferRequest&) = delete;
  TransferRequest& operator=(const TransferRequest&) = delete;

  // The thread procedure. Started with CreateThread and a heap-held shared_ptr as its
  // parameter (the worker's share of the request), so that Stop can wait for it with a time
  // limit and abandon it where std::thread could only join or detach.
  static DWORD WINAPI RunWorker(LPVOID parameter);

  // Window's thread: the request is abandoned. Its worker stops after the WinINet call it
  // is in (the time-outs bound that), or at once when it waits to try again, and posts
  // nothing more.
  void Cancel();
  // Window's thread, at the end of the program: cancels, and closes the connection, so that a
  // WinINet call the worker waits in returns at once.
  void Abort();

  // Hands a failure that is not the network's to the window, unless the request was abandoned
  // (then nobody waits for it). Under the lock, so that none is on its way once Cancel returns.
  void Report(std::exception_ptr failure);

  bool Complete() const { return complete_.load(std::memory_order_acquire); }
  std::int64_t Received() const { return received_.load(); }
  // Window's thread: the figures as they are now; a later change posts a new message.
  TransferProgress Progress();
  // Only once Complete(): the headers of the answer that began the body (a continued body
  // keeps those of its first answer: same file, same length).
  const Text& Headers() const { return headers_; }
  ReceivedBody& Body() { return *body_; }

 private:
  // How one attempt ended.
  struct Outcome {
    bool whole = false;
    DownloadAttempts::Failure failure = DownloadAttempts::Failure::kFinal;
    std::optional<std::int64_t> retryAfter;
  };

  void Run();
  // The attempts until one brings the whole body; false (and logged) when they failed, or the
  // request was abandoned.
  bool FetchWithRetries();
  Outcome Attempt(DownloadAttempts& attempts);
  // The body into body_: `end` bytes in all when the length is known. Each read takes what has
  // arrived and what the recent rate brings in a few dozen milliseconds more, so the window
  // hears of the bytes as they come, on a slow line too; they go to the body a block at a time.
  // A body that goes on past its end, or past the limit, is a bad answer: nothing of it is kept.
  Outcome ReadBody(std::optional<std::int64_t> end);
  // A body that ends without all its bytes: kept for a later run when it can be continued,
  // else let go of.
  void KeepOrLetGo(const DownloadAttempts& attempts);
  // Counts down the wait before retry number `retry`; false when the request was cancelled.
  bool WaitToRetry(int seconds, int retry);

  // Logs why the request failed, unless it was abandoned (then that is no news).
  Outcome Failed(DownloadAttempts::Failure failure, const Text& what,
                 std::optional<DWORD> error = std::nullopt);
  // A line of the log about this request: its address, then `what`.
  void Note(const Text& what);
  bool Canceled();

  // WinINet calls this on the worker's thread.
  static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD);
  void Post(TransferState state, bool final);
  // Tells the window the progress changed: at most every kScreenUpdateMs unless `now`, and
  // never while a message it has not read yet is on its way.
  void PostProgress(bool now = false);

  const FailureSink failed_;
  Log& log_;
  const std::shared_ptr<PartialStore> partials_;
  const HWND window_;
  const LPARAM serial_;
  const std::wstring url_;
  const bool isGet_;
  const std::int64_t bodyLimit_;
  UniqueHandle wake_;  // set by Cancel: ends a wait between attempts
  WinInetConnection connection_;

  std::mutex mutex_;  // guards the three members below
  bool canceled_ = false;
  bool finished_ = false;
  int lastPosted_ = icNone;

  // Written by the worker; read by the window's thread once complete_ is set.
  Text headers_;  // of the 200 that began the body
  std::unique_ptr<ReceivedBody> body_ = std::make_unique<ReceivedBody>();
  std::atomic<bool> complete_{false};
  // Progress, written by the worker and read by the window's thread at any time.
  std::atomic<std::int64_t> received_{0};
  std::atomic<std::int64_t> total_{0};
  std::atomic<std::int32_t> attempt_{1};
  std::atomic<std::int32_t> retry_{0};
  std::atomic<std::int32_t> secondsLeft_{0};
  std::atomic<bool> progressPosted_{false};
  DWORD lastProgressPost_ = 0;  // the worker's
};

}  // namespace vexa
