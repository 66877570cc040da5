#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "platform/win32/transfer/blocking_calls.h"
#include "platform/win32/transfer/run_logins.h"
#include "platform/win32/transfer/wininet_api.h"

namespace vexa {

// The WinINet side of one request of the transfer control: its session, with the program's
// time-outs and a status callback, and the request of the current attempt, always fetched fresh
// (no cache, no dialog box of WinINet's own). The worker opens, asks and reads; any thread may
// Close it, after which nothing opens again. The one call of another thread is LoginDialog.
//
// The calls that wait on the network run through BlockingCalls, watched: a call during which
// no byte has come for the silence limit (counted from the last byte of the answer, or from
// the request when none has come), or during which the PC woke from sleep or the request was
// cancelled, is given up: it returns ERROR_CANCELLED, Cut() says why, and the answer and the
// session are closed (which ends the call on Windows; the next Ask opens a new session). So a
// connection that goes silent ends its attempt whatever WinINet does, and a slow one that keeps
// sending is never cut.
class WinInetConnection {
 public:
  // Explicit time-outs, the same on every Windows version. Wine 8 keeps only the connect
  // time-out (its sockets wait for data without limit, and closing the handle does not end the
  // wait); Windows honours all three. The watch on the bytes bounds every wait below them.
  static constexpr DWORD kConnectTimeoutMs = 30000;
  static constexpr DWORD kSendTimeoutMs = 30000;
  static constexpr DWORD kReceiveTimeoutMs = 60000;

  // Why a call was given up.
  enum class Cut { kNone, kSilent, kWoken, kCanceled };

  // `callback` gets each status of the requests, with the context each Ask names. `silenceMs`:
  // how long a call may go without a byte; `cancel` and `woken`: see BlockingCalls.
  WinInetConnection(const WinInetApi& api, INTERNET_STATUS_CALLBACK callback, DWORD silenceMs,
                    HANDLE cancel, HANDLE woken)
      : api_(api), callback_(callback), silenceMs_(silenceMs), calls_(cancel, woken) {}
  ~WinInetConnection() { Close(); }
  WinInetConnection(const WinInetConnection&) = delete;
  WinInetConnection& operator=(const WinInetConnection&) = delete;

  // Worker: opens the session. ERROR_SUCCESS, or the system's error; ERROR_CANCELLED once
  // closed.
  DWORD Open();
  // Worker: asks for `url`, with the extra `headers` ("" for none), and waits for the answer's
  // headers; the request's status callbacks come with `context`. A session is opened first
  // where a call given up closed it. ERROR_SUCCESS, or why there is no answer.
  DWORD Ask(const std::wstring& url, const std::wstring& headers, DWORD_PTR context);
  // Worker, on an answer: its status; 0, with the reason in GetLastError, when it has none.
  DWORD Status();
  // Worker, on an answer: its raw headers ("HTTP/1.1 200 OK\r\nName: value\r\n...").
  Text RawHeaders();
  // Worker, on an answer to an https address: whether it came from anywhere else than https (a
  // redirect that left it, or an address that can't be told). Windows' WinINet fails such a
  // request itself (12040) unless told to ignore it; Wine 8's follows the redirect and asks
  // the plain address, so the final address is checked here.
  bool LeftHttps();
  // Worker, on an answer: WinINet's InternetQueryDataAvailable, and its InternetReadFile of
  // `size` bytes into `block` from `offset` on (the block is shared: a read given up may still
  // write into it later). ERROR_SUCCESS, or the system's error.
  DWORD DataAvailable(DWORD& available);
  DWORD Read(const std::shared_ptr<std::vector<std::uint8_t>>& block, std::size_t offset,
             DWORD size, DWORD& read);
  // Logins. The requests leave WinINet free to answer a login's challenge itself (no
  // INTERNET_FLAG_NO_AUTH): where a proxy or site offers Negotiate or NTLM, WinINet answers with
  // the user's Windows logon, without asking, as far as the system's Internet settings allow
  // (the security zones' "logon" setting). Only Windows shows that: the test proxy (Debian's
  // tinyproxy) offers Basic alone. An answer that is still a 407 or a 401 wants a login the
  // user gives.
  //
  // Window's thread, while the worker waits for it: the system's login dialog for the answer
  // (a 407 or a 401), owned by `owner`. What the user types goes onto the answer's request
  // (INTERNET_OPTION_PROXY_USERNAME and _PASSWORD, or the site's); ERROR_INTERNET_FORCE_RETRY
  // when the user confirmed it, anything else when not (Windows answers a Cancel with
  // ERROR_CANCELLED, Wine 8 with ERROR_SUCCESS).
  DWORD LoginDialog(HWND owner);
  // Worker, on an answer: the proxy's or the site's login on its request (what the dialog left).
  Login GivenLogin(RunLogins::Kind kind);
  // Worker, on an answer: puts `login` onto its request, for Resend to send.
  void UseLogin(RunLogins::Kind kind, const Login& login);
  // Worker, on an answer: reads what is left of its body (the refusal's page, as far as 64 KB)
  // and sends its request again on the same handle, watched as Ask is, and waits for the new
  // answer's headers. ERROR_SUCCESS, or why there is no answer.
  DWORD Resend();
  // Worker: what the calls from now on keep alive (the context of the requests' status
  // callbacks): a call given up keeps it until it returns.
  void SetContextOwner(std::shared_ptr<void> owner) { contextOwner_ = std::move(owner); }
  // Why the last call that returned ERROR_CANCELLED was given up (kNone: it was not).
  Cut LastCut() const { return cut_; }
  DWORD SilenceMs() const { return silenceMs_; }
  // Worker: the answer is done with; the next attempt asks again.
  void EndAnswer();
  // Worker: the answer and the session are done with; the next Ask opens a new session.
  void Restart() { CloseHandles(false); }
  // Any thread: closes the answer's request and the session; nothing opens from now on. The
  // worker may still hold the closed handles' values, which WinINet could hand out again: only
  // once no new request of this connection can start.
  void Close();
  // WinINet's own messages, for its error numbers (12xxx).
  HMODULE Messages() const { return api_.module; }

 private:
  // The answer's request for a worker's call outside the lock (Close may close it meanwhile:
  // that ends the call on Windows).
  HINTERNET Answer();
  // Runs a call that waits on the network (see above): ERROR_SUCCESS when it returned, else
  // ERROR_CANCELLED with cut_ set and the handles closed.
  DWORD Watched(std::function<void()> call);
  // Watched, for a WinINet call that returns FALSE on failure and gives a count: the count into
  // `count` (0 when the call was given up), the call's error or Watched's. A count above 0
  // is a byte that came.
  DWORD WatchedCount(std::function<BOOL(DWORD*)> call, DWORD& count);
  // A text option of the answer's request, "" when it has none.
  std::wstring OptionText(DWORD option);
  // Closes the answer and the session; `forGood`: nothing opens again.
  void CloseHandles(bool forGood);

  const WinInetApi& api_;
  const INTERNET_STATUS_CALLBACK callback_;
  const DWORD silenceMs_;
  BlockingCalls calls_;     // the worker's
  ULONGLONG lastByte_ = 0;  // the worker's: when the last byte came (or the request went)
  Cut cut_ = Cut::kNone;    // the worker's
  std::shared_ptr<void> contextOwner_;  // the worker's
  // Closing a handle makes WinINet call the status callback, which takes the request's own
  // lock: a lock of its own.
  std::mutex mutex_;  // guards the three members below
  HINTERNET session_ = nullptr;
  HINTERNET answer_ = nullptr;
  bool closed_ = false;
};

}  // namespace vexa
