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

#include "platform/win32/received_body.h"
#include "platform/win32/transfer_wininet.h"

namespace vexa {

struct WinInetApi;

// One request of TransferWinInet, shared by the control and the worker thread that runs it:
// the worker opens the connection, reads the body into a ReceivedBody, logs, and posts the
// states; the window's thread may cancel or abort it.
class TransferRequest {
 public:
  TransferRequest(const WinInetApi& api, TransferWinInet::FailureSink failed, Log& log, HWND window,
                  LPARAM serial, std::wstring url, bool isGet)
      : api_(api),
        failed_(std::move(failed)),
        log_(log),
        window_(window),
        serial_(serial),
        url_(std::move(url)),
        isGet_(isGet) {}
  TransferRequest(const TransferRequest&) = delete;
  TransferRequest& operator=(const TransferRequest&) = delete;

  static DWORD WINAPI Worker(LPVOID parameter);

  // Window's thread: the request is abandoned. Its worker stops after the WinINet call it
  // is in (on Windows the time-outs bound that; under Wine only data or the end do) and posts
  // nothing more.
  void Cancel();

  // Window's thread, at the end of the program: cancels, and closes the request (the handle
  // a WinINet call of the worker waits on), then its session, so that on Windows the call
  // returns at once. (Wine 8 lets a blocked read finish first; Stop's limit bounds the wait.)
  // Only once no new request can start: the worker may still hold the closed handles'
  // values, which WinINet could hand out again.
  void Abort();

  // Hands a failure that is not the network's to the window, unless the request was abandoned
  // (then nobody waits for it). Under the lock, so that none is on its way once Cancel returns.
  void Report(std::exception_ptr failure);

  bool Complete() const { return complete_.load(std::memory_order_acquire); }
  std::int64_t Received() const { return received_.load(); }
  // Only once Complete().
  const Text& Headers() const { return headers_; }
  ReceivedBody& Body() { return *body_; }

 private:
  void Run();

  // The request from its session to its status; false (and logged) when it failed.
  bool Fetch();
  // The body into body_, checked against the announced length.
  bool ReadBody(HINTERNET request, std::optional<std::int64_t> announced);

  // Logs why the request failed, unless it was abandoned (then that is no news).
  bool Failed(const Text& what, std::optional<DWORD> error = std::nullopt);

  // The session with its time-outs, or null when it can't be had or the request was aborted.
  // The requests opened through it inherit them. Wine 8 keeps only the connect time-out (its
  // sockets wait for data without limit); Windows honours all three.
  HINTERNET OpenSession();

  // Closes the request and its session, unless Abort closed the session (and with it the
  // request) already.
  void CloseConnection();

  Text RawHeaders(HINTERNET request);

  // WinINet calls this on the worker's thread.
  static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD);

  void Post(TransferState state, bool final);

  bool Canceled();

  const WinInetApi& api_;
  const TransferWinInet::FailureSink failed_;
  Log& log_;
  const HWND window_;
  const LPARAM serial_;
  const std::wstring url_;
  const bool isGet_;

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
  Text headers_;
  std::unique_ptr<ReceivedBody> body_ = std::make_unique<ReceivedBody>();
  std::atomic<bool> complete_{false};
  std::atomic<std::int64_t> received_{0};
};

}  // namespace vexa
