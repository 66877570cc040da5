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
#include <vector>

#include "platform/log.h"
#include "platform/transfer.h"
#include "platform/win32/transfer/partial_store.h"
#include "platform/win32/transfer/received_body.h"
#include "platform/win32/transfer/run_logins.h"
#include "platform/win32/transfer/wininet_connection.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"
#include "transfer/download_attempts.h"
#include "transfer/download_sites.h"

namespace vexa {

class TransferRequest;

// Where the status callbacks of one attempt's WinINet request go (its context). WinINet may
// call back with a handle's context long after the attempt, when a call given up on it returns
// at last: so a relay lives as long as the request and every call made with it, and relays
// nothing once its attempt is over.
struct StatusRelay {
  explicit StatusRelay(TransferRequest* to) : request(to) {}
  std::mutex mutex;
  TransferRequest* request;  // null once the attempt is over
};

// One request of TransferWinInet, shared by the control and the worker thread that runs it:
// the worker makes the attempts DownloadAttempts allows (continuing a cut body where it can,
// and one kept from an earlier run), reads the body into a ReceivedBody, waits between
// attempts, logs, and posts the states and the progress; the window's thread may cancel or
// abort it, and tell it that the PC woke from sleep. Its WinINet handles are its
// WinInetConnection's, whose watch ends an attempt on which no byte came for `silenceMs`.
class TransferRequest {
 public:
  // `bodyLimit`: the most body bytes the answer may have (0: no limit). `partials`: where a
  // body that can be continued is kept as it arrives, for a later attempt or run, and found
  // again.
  // `url` is an address under the first of `sites`; the request tries it at each site in
  // turn, from `firstSite` on (DownloadSites).
  TransferRequest(const WinInetApi& api, FailureSink failed, Log& log,
                  std::shared_ptr<PartialStore> partials, HWND window, LPARAM serial, Text url,
                  std::shared_ptr<DownloadSites> sites, std::size_t firstSite, bool isGet,
                  std::int64_t bodyLimit, DWORD silenceMs);
  ~TransferRequest();
  TransferRequest(const TransferRequest&) = delete;
  TransferRequest& operator=(const TransferRequest&) = delete;

  // The thread procedure. Started with CreateThread and a heap-held shared_ptr as its
  // parameter (the worker's share of the request), so that Stop can wait for it with a time
  // limit and abandon it where std::thread could only join or detach.
  static DWORD WINAPI RunWorker(LPVOID parameter);

  // Window's thread: the request is abandoned. Its worker stops after the WinINet call it
  // is in (the time-outs bound that), or at once when it waits to try again or for a login,
  // and posts nothing more.
  void Cancel();
  // Window's thread, at the end of the program: cancels, and closes the connection.
  void Abort();
  // Window's thread: the PC has woken from sleep; a connection made before is likely dead, so
  // the attempt under way (or the wait before the next one) ends and the next starts at once.
  void Resume() { SetEvent(woken_.Get()); }
  // Before the worker starts: the logins of the run, which this request sends when asked to
  // log in and where it keeps a login the user gave.
  void SetLogins(std::shared_ptr<RunLogins> logins) { logins_ = std::move(logins); }
  // Window's thread, on kTransferLoginMessage: the worker waits for a login; shows the system's
  // login dialog, owned by `owner`, and lets the worker go on with the answer.
  void AskLogin(HWND owner);

  // Window's thread, once Complete() and the body has been read: it has taken its place, or
  // was refused; what was kept of it on disk goes.
  void DiscardBody();

  // Hands a failure that is not the network's to the window, unless the request was abandoned
  // (then nobody waits for it). Under the lock, so that none is on its way once Cancel returns.
  void Report(std::exception_ptr failure);

  bool Complete() const { return complete_.load(std::memory_order_acquire); }
  // The address it was asked for, under the first site.
  const Text& RequestUrl() const { return requestUrl_; }
  // The site the request is at now (the one its body came from, once complete).
  std::size_t Site() const { return site_.load(); }
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
    bool atOnce = false;  // the next attempt starts without a wait (the PC woke from sleep)
  };

  void Run();
  // The sites in turn until one brings the whole body; false (and logged) when none did, or
  // the request was abandoned.
  bool FetchFromSites();
  // The attempts at the current site until one brings the whole body; false (and logged) when
  // they failed (`last` says how the last one did), or the request was abandoned.
  bool FetchWithRetries(DownloadAttempts::Failure& last);
  Outcome Attempt(DownloadAttempts& attempts);
  // Right after an answer's status: a 407 with a proxy's challenge (Proxy-Authenticate), or a
  // 401 with the site's (WWW-Authenticate), is answered with the login given earlier in the run,
  // else with one the user gives in the system's dialog, and the request is sent again, as long
  // as the answer asks for one; a login refused is forgotten, and the request (with the extra
  // headers `asked`) is made afresh. `status` becomes the last answer's. The same attempt goes
  // on: a login is not one of the attempts. Nothing when the attempt goes on, else how it ended:
  // the user cancelled (final), the request was abandoned, or the new request failed.
  std::optional<Outcome> SignIn(DWORD& status, const std::wstring& asked);
  // The attempt's request made again, in a new session; `status` becomes its answer's.
  std::optional<Outcome> AskAgain(DWORD& status, const std::wstring& asked);
  // Worker: asks the window to show the login dialog and waits for the answer (or the end of
  // the request). Whether the user gave a login; nothing when the request was abandoned.
  std::optional<bool> WaitForLogin();
  // Sends the attempt's request with the extra `headers` and reads its status: nothing when
  // there is one, else how the attempt ended (no answer, a redirect from https to http).
  std::optional<Outcome> SendRequest(const std::wstring& headers, DWORD& status);
  std::optional<Outcome> ReadStatus(DWORD& status);

  // The body into body_: `end` bytes in all when the length is known. Each read takes what has
  // arrived and what the recent rate brings in a few dozen milliseconds more, so the window
  // hears of the bytes as they come, on a slow line too; they go to the body a block at a time.
  // A body that goes on past its end, or past the limit, is a bad answer: nothing of it is kept.
  // While it arrives, a kept body's bytes are recorded (Checkpoint) every kCheckpointMs.
  Outcome ReadBody(const DownloadAttempts& attempts, std::optional<std::int64_t> end);
  // A body that ends without all its bytes: kept for a later run when it can be continued,
  // else let go of.
  void KeepOrLetGo(const DownloadAttempts& attempts);
  // Records what the kept body holds, `inHand` bytes, once they are on the disk: the record
  // never names more than the disk holds. False when it could not be recorded.
  bool Checkpoint(const DownloadAttempts& attempts, std::int64_t inHand);
  // The kept body's record goes: its bytes are about to change.
  void ForgetRecord();
  // Counts down the wait before retry number `retry`; false when the request was cancelled.
  // A wake from sleep ends the wait at once.
  bool WaitToRetry(int seconds, int retry);
  // An attempt whose WinINet call the connection gave up (no data for the silence limit, a
  // wake from sleep) or that was cancelled.
  Outcome Interrupted();
  // The relay of a new attempt's status callbacks; the last one's stops relaying.
  DWORD_PTR NewRelay();
  void EndRelay();

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
  Text Url() const;

  const FailureSink failed_;
  Log& log_;
  const std::shared_ptr<PartialStore> partials_;
  const HWND window_;
  const LPARAM serial_;
  const Text requestUrl_;  // under the first site
  const std::shared_ptr<DownloadSites> sites_;
  const std::size_t firstSite_;
  std::wstring url_;  // the worker's: the address at the current site
  const bool isGet_;
  const std::int64_t bodyLimit_;
  UniqueHandle cancelEvent_;  // set by Cancel: ends a wait for WinINet or between attempts
  UniqueHandle woken_;        // set by Resume (auto-reset)
  WinInetConnection connection_;
  // The worker's: the relay of the current attempt, and all that WinINet may still call.
  std::shared_ptr<StatusRelay> relay_;
  std::vector<std::shared_ptr<StatusRelay>> relays_;
  ULONGLONG lastCheckpoint_ = 0;
  std::shared_ptr<RunLogins> logins_ = std::make_shared<RunLogins>();
  // The login dialog: set by the window's thread once the user answered it.
  UniqueHandle loginAnswered_;  // auto-reset
  std::atomic<bool> loginGiven_{false};
  std::atomic<bool> loginAsked_{false};  // the worker waits for the answer

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
  std::atomic<std::size_t> site_{0};
  std::atomic<LoginWanted> canceledLogin_{LoginWanted::kNone};
  std::atomic<bool> progressPosted_{false};
  DWORD lastProgressPost_ = 0;  // the worker's
};

}  // namespace vexa
