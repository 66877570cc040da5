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
#include <utility>

#include "platform/download_attempts.h"
#include "platform/win32/received_body.h"
#include "platform/win32/transfer_wininet.h"

namespace vexa {

struct WinInetApi;

// One request of TransferWinInet, shared by the control and the worker thread that runs it:
// the worker makes the attempts DownloadAttempts allows (continuing a cut body where it can),
// reads the body into a ReceivedBody, waits between attempts, logs, and posts the states and
// the progress; the window's thread may cancel or abort it.
class TransferRequest {
 public:
  // `bodyLimit`: the most body bytes the answer may have (0: no limit). `partials`: where a
  // body cut short is kept for a later run, and found again.
  TransferRequest(const WinInetApi& api, TransferWinInet::FailureSink failed, Log& log,
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

  // Window's thread, at the end of the program: cancels, and closes the request (the handle
  // a WinINet call of the worker waits on), then its session, so that the call returns at
  // once. Only once no new request can start: the worker may still hold the
  // closed handles' values, which WinINet could hand out again.
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
  bool FetchWithRetries(HINTERNET session);
  // A body that ends without all its bytes: kept for a later run when it can be continued,
  // else let go of.
  void KeepOrLetGo(const DownloadAttempts& attempts);
  Outcome Attempt(HINTERNET session, DownloadAttempts& attempts);
  // The body into body_: `end` bytes in all when the length is known. Each read takes what has
  // arrived (InternetQueryDataAvailable), so the window hears of the bytes as they come, on a
  // slow line too; they go to the body a block at a time. A body that goes on past its end, or
  // past the limit, is a bad answer: nothing of it is kept.
  Outcome ReadBody(HINTERNET request, std::optional<std::int64_t> end);
  // Counts down the wait before retry number `retry`; false when the request was cancelled.
  bool WaitToRetry(int seconds, int retry);
  // A redirect may never leave https for plain http: the body would come unprotected. Windows'
  // WinINet already fails such a request (12040, final) unless told to ignore it; Wine 8's
  // follows the redirect and asks the plain address, so the final address is checked here.
  bool LeftHttps(HINTERNET request);

  // Logs why the request failed, unless it was abandoned (then that is no news).
  Outcome Failed(DownloadAttempts::Failure failure, const Text& what,
                 std::optional<DWORD> error = std::nullopt);

  // The session with its time-outs, or null when it can't be had or the request was aborted.
  // The requests opened through it inherit them.
  HINTERNET OpenSession();
  void CloseRequest();
  // Closes the request and its session, unless Abort closed the session (and with it the
  // request) already.
  void CloseConnection();

  Text RawHeaders(HINTERNET request);

  // WinINet calls this on the worker's thread.
  static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD);

  void Post(TransferState state, bool final);
  // Tells the window the progress changed: at most every kProgressEveryMs unless `now`, and
  // never while a message it has not read yet is on its way.
  void PostProgress(bool now = false);

  // A line of the log about this request: its address, then `what`.
  void Note(const Text& what);
  bool Canceled();

  const WinInetApi& api_;
  const TransferWinInet::FailureSink failed_;
  Log& log_;
  const std::shared_ptr<PartialStore> partials_;
  const HWND window_;
  const LPARAM serial_;
  const std::wstring url_;
  const bool isGet_;
  const std::int64_t bodyLimit_;
  UniqueHandle wake_;  // set by Cancel: ends a wait between attempts

  std::mutex mutex_;  // guards the three members below
  bool canceled_ = false;
  bool finished_ = false;
  int lastPosted_ = icNone;

  // The connection. Closing it makes WinINet call OnStatus, which takes mutex_: a mutex of
  // its own.
  std::mutex handleMutex_;
  HINTERNET session_ = nullptr;  // guarded by handleMutex_
  HINTERNET request_ = nullptr;  // the worker's; closed with the session

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
