#pragma once

#include <windows.h>
#include <wininet.h>

#include <mutex>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/win32/transfer/wininet_api.h"

namespace vexa {

// The WinINet side of one request of the transfer control: its session, with the program's
// time-outs and a status callback, and the request of the current attempt, always fetched fresh
// (no cache, no dialog box). The worker opens, asks and reads; any thread may Close it, after
// which a WinINet call the worker waits in returns (on Windows) and nothing opens again.
class WinInetConnection {
 public:
  // Explicit time-outs, the same on every Windows version: the receive time-out bounds each
  // wait for data, so a slow transfer that keeps receiving is never cut. Wine 8 keeps only the
  // connect time-out (its sockets wait for data without limit); Windows honours all three.
  static constexpr DWORD kConnectTimeoutMs = 30000;
  static constexpr DWORD kSendTimeoutMs = 30000;
  static constexpr DWORD kReceiveTimeoutMs = 60000;

  // `callback` gets each status of the requests, with `context`.
  WinInetConnection(const WinInetApi& api, INTERNET_STATUS_CALLBACK callback, DWORD_PTR context)
      : api_(api), callback_(callback), context_(context) {}
  ~WinInetConnection() { Close(); }
  WinInetConnection(const WinInetConnection&) = delete;
  WinInetConnection& operator=(const WinInetConnection&) = delete;

  // Worker: opens the session. ERROR_SUCCESS, or the system's error; ERROR_CANCELLED once
  // closed.
  DWORD Open();
  // Worker: asks for `url`, with the extra `headers` ("" for none), and waits for the answer's
  // headers. ERROR_SUCCESS, or why there is no answer.
  DWORD Ask(const std::wstring& url, const std::wstring& headers);
  // Worker, on an answer: its status; 0, with the reason in GetLastError, when it has none.
  DWORD Status();
  // Worker, on an answer: its raw headers ("HTTP/1.1 200 OK\r\nName: value\r\n...").
  Text RawHeaders();
  // Worker, on an answer to an https address: whether it came from anywhere else than https (a
  // redirect that left it, or an address that can't be told). Windows' WinINet fails such a
  // request itself (12040) unless told to ignore it; Wine 8's follows the redirect and asks
  // the plain address, so the final address is checked here.
  bool LeftHttps();
  // Worker, on an answer: WinINet's InternetQueryDataAvailable and InternetReadFile.
  bool DataAvailable(DWORD& available);
  bool Read(void* into, DWORD size, DWORD& read);
  // Worker: the answer is done with; the next attempt asks again.
  void EndAnswer();
  // Any thread: closes the answer's request and the session; nothing opens from now on. The
  // worker may still hold the closed handles' values, which WinINet could hand out again: only
  // once no new request of this connection can start.
  void Close();
  // WinINet's own messages, for its error numbers (12xxx).
  HMODULE Messages() const { return api_.module; }

 private:
  // The answer's request for a worker's call outside the lock (Close may close it meanwhile:
  // that ends the call).
  HINTERNET Answer();

  const WinInetApi& api_;
  const INTERNET_STATUS_CALLBACK callback_;
  const DWORD_PTR context_;
  // Closing a handle makes WinINet call the status callback, which takes the request's own
  // lock: a lock of its own.
  std::mutex mutex_;  // guards the three members below
  HINTERNET session_ = nullptr;
  HINTERNET answer_ = nullptr;
  bool closed_ = false;
};

}  // namespace vexa
