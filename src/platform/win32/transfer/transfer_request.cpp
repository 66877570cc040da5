#include "platform/win32/transfer/transfer_request.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/window/window_messages.h"
#include "transfer/http_response.h"

namespace vexa {
namespace {

using Failure = DownloadAttempts::Failure;

// A read asks for what the recent rate brings in this many milliseconds beyond what has
// arrived: a little more often than the window repaints (kScreenUpdateMs). The rate is measured
// over spans of at least kRateSpanMs (the clock moves in steps of 10 to 16 ms on Windows).
constexpr std::int64_t kReadSpanMs = 25;
constexpr ULONGLONG kRateSpanMs = 20;

// While a body that can be continued arrives, what is on the disk of it is recorded this often,
// so that a crash or a power cut keeps it for the next run.
constexpr ULONGLONG kCheckpointMs = 10000;

// A time in seconds with three decimals ("12.345 s").
Text Seconds(ULONGLONG milliseconds) {
  return DecimalText(static_cast<std::int64_t>(milliseconds / 1000)) + u"." +
         PaddedDecimalText(milliseconds % 1000, 3) + u" s";
}

}  // namespace

TransferRequest::TransferRequest(const WinInetApi& api, FailureSink failed, Log& log,
                                 std::shared_ptr<PartialStore> partials, HWND window, LPARAM serial,
                                 Text url, std::shared_ptr<DownloadSites> sites,
                                 std::size_t firstSite, bool isGet, std::int64_t bodyLimit,
                                 DWORD silenceMs)
    : failed_(std::move(failed)),
      log_(log),
      partials_(std::move(partials)),
      window_(window),
      serial_(serial),
      requestUrl_(std::move(url)),
      sites_(std::move(sites)),
      firstSite_(firstSite),
      url_(ToWide(sites_->AddressAt(requestUrl_, firstSite))),
      isGet_(isGet),
      bodyLimit_(bodyLimit),
      cancelEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      woken_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      connection_(api, &TransferRequest::OnStatus, silenceMs, cancelEvent_.Get(), woken_.Get()),
      loginAnswered_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!cancelEvent_.Valid() || !woken_.Valid() || !loginAnswered_.Valid()) {
    throw SystemError(GetLastError(), failure::kCannotCreateEvent, u"");
  }
}

TransferRequest::~TransferRequest() {
  for (const auto& relay : relays_) {
    std::lock_guard<std::mutex> lock(relay->mutex);
    relay->request = nullptr;
  }
}

DWORD WINAPI TransferRequest::RunWorker(LPVOID parameter) {
  const std::unique_ptr<std::shared_ptr<TransferRequest>> owner(
      static_cast<std::shared_ptr<TransferRequest>*>(parameter));
  TransferRequest& request = **owner;
  try {
    request.Run();
  } catch (...) {  // nothing may leave the thread: the failure goes to the window
    request.Report(std::current_exception());
  }
  return 0;
}

void TransferRequest::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  canceled_ = true;
  SetEvent(cancelEvent_.Get());
}

void TransferRequest::Abort() {
  Cancel();
  connection_.Close();
}

void TransferRequest::DiscardBody() {
  if (body_->Kept()) ForgetRecord();
  body_->LetGo(false);
  body_->Clear();
}

void TransferRequest::Report(std::exception_ptr failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!canceled_ && failed_) failed_(failure);
}

TransferProgress TransferRequest::Progress() {
  progressPosted_ = false;  // before the figures: a change from now on posts again
  return {received_.load(),     total_.load(),       attempt_.load(),
          retry_.load(),        secondsLeft_.load(), static_cast<std::int32_t>(site_.load()),
          canceledLogin_.load()};
}

void TransferRequest::Run() {
  // Replaced before its worker started: nothing is asked, and a partial stays where it is.
  if (Canceled()) return;
  const ULONGLONG start = GetTickCount64();
  log_.Write(u"GET " + FromWide(url_));
  bool ok = false;
  try {
    if (!isGet_) {
      Failed(Failure::kFinal, u"only GET is done, not this operation");
    } else if (const DWORD error = connection_.Open(); error != ERROR_SUCCESS) {
      if (error != ERROR_CANCELLED) Failed(Failure::kFinal, u"WinINet did not start", error);
    } else {
      ok = FetchFromSites();
    }
  } catch (...) {
    // Not the network: the spool's disk or the memory failed. That ends the program through
    // its error box, never in state 11.
    connection_.Close();
    body_->LetGo(false);
    body_.reset();
    Report(std::current_exception());
    return;
  }
  if (ok && !Canceled()) {
    Note(u"received " + DecimalText(received_) + u" bytes in " + Seconds(GetTickCount64() - start));
  }
  // Closed before the final state, so the states of closing the connection come first.
  connection_.Close();
  if (ok) {
    complete_.store(true, std::memory_order_release);
  } else {
    body_.reset();
  }
  Post(ok ? icResponseCompleted : icError, true);
}

bool TransferRequest::FetchFromSites() {
  const std::size_t count = sites_->Count();
  for (std::size_t tried = 0;; ++tried) {
    const std::size_t site = (firstSite_ + tried) % count;
    site_ = site;
    url_ = ToWide(sites_->AddressAt(requestUrl_, site));
    if (tried > 0) {
      log_.Write(u"GET " + Url() + u" (site " + DecimalText(site + 1) + u" of " +
                 DecimalText(count) + u")");
    }
    DownloadAttempts::Failure last = DownloadAttempts::Failure::kFinal;
    if (FetchWithRetries(last)) {
      sites_->Worked(site);
      return true;
    }
    if (Canceled() || !DownloadSites::MovesOn(last) || tried + 1 == count) return false;
    Note(u"left this site: the next is " + sites_->Base(sites_->After(site)));
    // A partial continues only at the address it came from (what was kept of this one waits
    // there for a later run): at the next site the item starts over.
    body_->Clear();
    headers_.clear();
    total_ = 0;
  }
}

bool TransferRequest::FetchWithRetries(DownloadAttempts::Failure& last) {
  DownloadAttempts attempts;
  const Text url = Url();
  // A body kept from an earlier run goes on from its last byte (the first request asks for the
  // rest), as a body cut short in this run would.
  if (std::optional<PartialStore::Found> kept = partials_->Take(url)) {
    attempts = DownloadAttempts(kept->record.validator, kept->record.total);
    headers_ = kept->record.headers;
    total_ = kept->record.total;
    body_->KeepIn(std::move(kept->file), kept->record.length, partials_->BytesPath(url));
  }
  for (;;) {
    const Outcome outcome = Attempt(attempts);
    connection_.EndAnswer();
    EndRelay();
    if (outcome.whole) {
      // Until the window has put it in its place (DiscardBody), a kept body stays on the disk,
      // recorded whole: a file that can't be placed yet (held by a virus scanner, say) is not
      // fetched again by the next run.
      if (body_->Kept() && Checkpoint(attempts, body_->Size())) {
        Note(u"kept whole until it has taken its place");
      }
      return true;
    }
    last = outcome.failure;
    std::optional<int> wait =
        Canceled() ? std::nullopt : attempts.AfterFailure(outcome.failure, outcome.retryAfter);
    if (!wait) {
      if (!Canceled()) {
        Note(u"given up after attempt " + DecimalText(attempts.Attempt()) + u" of " +
             DecimalText(DownloadAttempts::kMostAttempts));
      }
      KeepOrLetGo(attempts);
      return false;
    }
    if (outcome.atOnce) wait = 0;
    const int retry = attempts.Attempt() - 1;
    Note(u"retry " + DecimalText(retry) + u" of " + DecimalText(kMostRetries) +
         (*wait > 0 ? u" in " + DecimalText(*wait) + u" s, " : Text(u" at once, ")) +
         DecimalText(body_->Size()) + u" bytes in hand");
    if (!WaitToRetry(*wait, retry)) {
      KeepOrLetGo(attempts);
      return false;
    }
  }
}

TransferRequest::Outcome TransferRequest::Attempt(DownloadAttempts& attempts) {
  const DownloadAttempts::Request asked = attempts.NextRequest(body_->Size());
  if (asked.from == 0 && body_->Size() > 0) {  // what was kept can't be continued
    if (body_->Kept()) ForgetRecord();
    body_->Clear();
  }
  received_ = body_->Size();
  attempt_ = attempts.Attempt();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastPosted_ = icNone;  // the window sees this attempt's states from the first
  }
  PostProgress(true);
  std::wstring range;
  if (asked.from > 0) {
    range = L"Range: bytes=" + ToWide(DecimalText(asked.from)) + L"-\r\nIf-Range: " +
            ToWide(asked.validator) + L"\r\n";
  }
  if (attempts.Attempt() > 1) {
    Note(u"attempt " + DecimalText(attempts.Attempt()) +
         (range.empty()
              ? Text(u", from byte 0")
              : u", Range: bytes=" + DecimalText(asked.from) + u"-, If-Range: " + asked.validator));
  }
  DWORD status = 0;
  if (std::optional<Outcome> ended = SendRequest(range, status)) return *ended;
  if (std::optional<Outcome> ended = SignIn(status, range)) return *ended;
  const Text headers = connection_.RawHeaders();
  const Text announced = HeaderValue(headers, u"Content-Length");
  if (Canceled()) return {};
  Note(u"HTTP " + DecimalText(status) + u", Content-Length " +
       (announced.empty() ? Text(u"none") : announced));
  const DownloadAttempts::Verdict verdict = attempts.OnAnswer(asked, status, headers);
  if (verdict.kind == DownloadAttempts::Verdict::kFail) {
    Outcome failed = Failed(verdict.failure, verdict.why);
    failed.retryAfter = verdict.retryAfter;
    return failed;
  }
  if (verdict.kind == DownloadAttempts::Verdict::kTakeWhole) {
    if (asked.from > 0) Note(verdict.why);
    if (body_->Kept()) ForgetRecord();
    body_->Clear();
    received_ = 0;  // before the new total, so the window never sees the old bytes against it
    headers_ = headers;
    // Strict, unlike the window's reading of the same header for its bar (AnnouncedLength):
    // the total decides whether the body arrived whole, so only plain digits count.
    total_ = StrictLength(announced).value_or(0);
    if (bodyLimit_ > 0 && total_ > bodyLimit_) {
      return Failed(Failure::kFinal,
                    u"announced more than the " + DecimalText(bodyLimit_) + u" bytes allowed");
    }
    // A body that could be continued later is kept in the partials' store as it comes; any
    // other is spooled, and one kept before goes.
    if (attempts.Resumable() && !body_->Kept()) {
      const Text url = Url();
      if (UniqueHandle file = partials_->Begin(url); file.Valid()) {
        body_->KeepIn(std::move(file), 0, partials_->BytesPath(url));
      }
    } else if (!attempts.Resumable()) {
      body_->LetGo(false);
    }
  } else {
    Note(verdict.why);
  }
  received_ = body_->Size();
  const std::int64_t total = total_;
  return ReadBody(attempts, total > 0 ? std::optional<std::int64_t>(total) : std::nullopt);
}

std::optional<TransferRequest::Outcome> TransferRequest::SignIn(DWORD& status,
                                                                const std::wstring& asked) {
  const auto whose = [](RunLogins::Kind kind) {
    return Text(kind == RunLogins::kProxy ? u"the proxy's" : u"the site's");
  };
  bool sent = false;  // a login went with the request, and no answer to it was read yet
  RunLogins::Kind sentKind = RunLogins::kProxy;
  Login sentLogin;
  Text proxyChallenge;  // the proxy's last Proxy-Authenticate
  for (;;) {
    const bool proxy = status == HTTP_STATUS_PROXY_AUTH_REQ;
    const Text headers = proxy || status == HTTP_STATUS_DENIED ? connection_.RawHeaders() : Text();
    const RunLogins::Kind kind = proxy ? RunLogins::kProxy : RunLogins::kSite;
    const Text schemes = AuthSchemes(headers, proxy ? u"Proxy-Authenticate" : u"WWW-Authenticate");
    if (sent) {
      // Any 407 or 401 refuses the login sent but the other's challenge; a proxy may refuse its
      // login with a 401 that repeats its own challenge as the site's (tinyproxy does).
      const bool refused =
          !headers.empty() && (kind == sentKind || schemes.empty() ||
                               (sentKind == RunLogins::kProxy &&
                                HeaderValue(headers, u"WWW-Authenticate") == proxyChallenge));
      if (!refused) {
        logins_->Keep(sentKind, sentLogin);
      } else {
        Note(whose(sentKind) + u" login was refused (HTTP " + DecimalText(status) + u")");
        logins_->Forget(sentKind);
      }
      sent = false;
      // Asked afresh, in a new session: a handle that was refused a login may send it again
      // whatever is typed next (Wine 8's does), and its 401 would show the site's dialog.
      if (refused) {
        if (std::optional<Outcome> ended = AskAgain(status, asked)) return ended;
        continue;
      }
    }
    // Without a challenge there is nothing to answer: the status is an error like any other.
    if (schemes.empty()) return std::nullopt;
    if (proxy) proxyChallenge = HeaderValue(headers, u"Proxy-Authenticate");
    Note((proxy ? u"the proxy asks for a login (" : u"the site asks for a login (") + schemes +
         u")");
    std::optional<Login> login = logins_->Get(kind);
    if (login) {
      Note(u"sent again with " + whose(kind) + u" login given earlier in this run");
    } else {
      const std::optional<bool> given = WaitForLogin();
      if (!given) return Outcome{};  // abandoned
      if (!*given) {
        canceledLogin_ = proxy ? LoginWanted::kProxy : LoginWanted::kSite;
        return Failed(Failure::kFinal, u"the user cancelled " + whose(kind) + u" login");
      }
      Note(u"the user gave " + whose(kind) + u" login; sent again");
      login = connection_.GivenLogin(kind);
    }
    connection_.UseLogin(kind, *login);
    sent = true;
    sentKind = kind;
    sentLogin = *login;
    if (const DWORD error = connection_.Resend(); error != ERROR_SUCCESS) {
      if (error == ERROR_CANCELLED) return Interrupted();
      return Failed(FailureOfInternetError(error), u"no response to the login", error);
    }
    if (std::optional<Outcome> ended = ReadStatus(status)) return ended;
  }
}

std::optional<TransferRequest::Outcome> TransferRequest::AskAgain(DWORD& status,
                                                                  const std::wstring& asked) {
  connection_.Restart();
  EndRelay();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastPosted_ = icNone;  // the window sees the new request's states from the first
  }
  return SendRequest(asked, status);
}

std::optional<TransferRequest::Outcome> TransferRequest::SendRequest(const std::wstring& headers,
                                                                     DWORD& status) {
  const DWORD error = connection_.Ask(url_, headers, NewRelay());
  if (error == ERROR_CANCELLED) return Interrupted();
  if (error != ERROR_SUCCESS) return Failed(FailureOfInternetError(error), u"no response", error);
  return ReadStatus(status);
}

std::optional<TransferRequest::Outcome> TransferRequest::ReadStatus(DWORD& status) {
  if (url_.compare(0, 6, L"https:") == 0 && connection_.LeftHttps()) {
    return Failed(Failure::kUntrusted, u"redirected from https to http");
  }
  status = connection_.Status();
  if (status != 0) return std::nullopt;
  const DWORD error = GetLastError();
  return Failed(Failure::kNetwork, u"no status", error);
}

std::optional<bool> TransferRequest::WaitForLogin() {
  // Nobody can answer without the window: as if cancelled.
  loginAsked_ = true;
  if (window_ == nullptr || !PostMessageW(window_, kTransferLoginMessage, 0, serial_)) {
    loginAsked_ = false;
    return false;
  }
  const HANDLE events[] = {loginAnswered_.Get(), cancelEvent_.Get()};
  const DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (which != WAIT_OBJECT_0 || Canceled()) {
    loginAsked_ = false;
    return std::nullopt;
  }
  return loginGiven_.load();
}

void TransferRequest::AskLogin(HWND owner) {
  if (!loginAsked_.exchange(false)) return;  // nothing waits for it (a message too many)
  loginGiven_ = connection_.LoginDialog(owner) == ERROR_INTERNET_FORCE_RETRY;
  SetEvent(loginAnswered_.Get());
}

TransferRequest::Outcome TransferRequest::ReadBody(const DownloadAttempts& attempts,
                                                   std::optional<std::int64_t> end) {
  // The most bytes the body may have: its announced length, else the limit; 0: no most.
  const std::int64_t most = end ? *end : bodyLimit_;
  // Shared with the connection's calls: a read given up may still write into it.
  const auto block = std::make_shared<std::vector<std::uint8_t>>(kBodyBlock);
  std::size_t filled = 0;  // bytes of the block not yet handed to the body
  const auto handOver = [&] {
    body_->Append(block->data(), filled);
    filled = 0;
  };
  lastCheckpoint_ = GetTickCount64();
  // The rate bytes arrive at, measured over spans of at least kRateSpanMs (the clock moves in
  // steps of 10 to 16 ms on Windows); 0 until the first span is over.
  ULONGLONG spanStart = GetTickCount64();
  std::int64_t spanBytes = 0;
  std::int64_t perMs = 0;
  for (;;) {
    // Waits for bytes to arrive, then reads what has arrived and what the recent rate brings
    // in kReadSpanMs more. A read waits until all it asks for is there: a whole block each
    // time would hold the window's news back for a megabyte on a slow line, and only what has
    // arrived (Wine's WinINet buffers 8 KB) would make ten times as many reads where bytes are
    // plenty. (A rate that falls a thousandfold at once can leave a read waiting for its last
    // bytes past the silence limit: the next attempt then continues the body.)
    DWORD available = 0;
    DWORD read = 0;
    DWORD error = connection_.DataAvailable(available);
    if (error == ERROR_SUCCESS && available > 0) {
      const std::int64_t wanted = available + perMs * kReadSpanMs;
      std::int64_t ask = std::min<std::int64_t>(wanted, block->size() - filled);
      // One byte more than may come, at most: enough to tell a body that goes on too long.
      if (most > 0) ask = std::min<std::int64_t>(ask, most - body_->Size() - filled + 1);
      error = connection_.Read(block, filled, static_cast<DWORD>(ask), read);
      spanBytes += read;
      if (const ULONGLONG now = GetTickCount64(); now - spanStart >= kRateSpanMs) {
        perMs = spanBytes / static_cast<std::int64_t>(now - spanStart);
        spanStart = now;
        spanBytes = 0;
      }
    }
    if (error == ERROR_CANCELLED) {
      handOver();
      return Interrupted();
    }
    if (error != ERROR_SUCCESS) {
      handOver();
      return Failed(Failure::kCutShort,
                    u"receiving stopped after " + DecimalText(body_->Size()) + u" bytes", error);
    }
    if (Canceled()) {
      handOver();
      return {};
    }
    if (read == 0) break;
    if (most > 0 && body_->Size() + static_cast<std::int64_t>(filled + read) > most) {
      if (body_->Kept()) ForgetRecord();
      body_->Clear();
      received_ = 0;
      return Failed(Failure::kFinal, (end ? u"body longer than the " : u"body over the ") +
                                         DecimalText(most) +
                                         (end ? u" bytes announced" : u" bytes allowed"));
    }
    filled += read;
    received_ = body_->Size() + static_cast<std::int64_t>(filled);
    if (filled == block->size()) handOver();
    if (body_->Kept() && GetTickCount64() - lastCheckpoint_ >= kCheckpointMs) {
      handOver();
      Checkpoint(attempts, body_->Size());
    }
    PostProgress();
  }
  handOver();
  PostProgress(true);
  if (end && body_->Size() < *end) {  // a cut connection is a failure
    return Failed(Failure::kCutShort, u"body cut short: received " + DecimalText(body_->Size()) +
                                          u" of " + DecimalText(*end) + u" bytes");
  }
  return {true, Failure::kFinal, std::nullopt};
}

bool TransferRequest::WaitToRetry(int seconds, int retry) {
  retry_ = retry;
  const HANDLE events[] = {cancelEvent_.Get(), woken_.Get()};
  for (int left = seconds; left > 0; --left) {
    secondsLeft_ = left;
    PostProgress(true);
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, 1000);
    if (which == WAIT_OBJECT_0 + 1) break;  // woken from sleep: the next attempt now
    if (which != WAIT_TIMEOUT) return false;
  }
  retry_ = 0;
  return !Canceled();
}

TransferRequest::Outcome TransferRequest::Interrupted() {
  switch (connection_.LastCut()) {
    case WinInetConnection::Cut::kSilent:
      return Failed(Failure::kNetwork,
                    u"no data for " + DecimalText(connection_.SilenceMs() / 1000) + u" s");
    case WinInetConnection::Cut::kWoken: {
      Outcome woken = Failed(Failure::kNetwork, u"the PC woke from sleep");
      woken.atOnce = true;
      return woken;
    }
    default:
      return {};  // cancelled, or closed at the end
  }
}

void TransferRequest::KeepOrLetGo(const DownloadAttempts& attempts) {
  if (!body_->Kept()) return;
  const std::int64_t inHand = body_->Size();
  if (attempts.CanContinue(inHand) && Checkpoint(attempts, inHand)) {
    body_->LetGo(true);
    Note(u"kept " + DecimalText(inHand) + u" of " + DecimalText(attempts.Total()) +
         u" bytes for a later run");
    return;
  }
  ForgetRecord();
  body_->LetGo(false);
}

bool TransferRequest::Checkpoint(const DownloadAttempts& attempts, std::int64_t inHand) {
  lastCheckpoint_ = GetTickCount64();
  if (!body_->Flush()) {
    Note(u"could not keep the bytes in hand: " + SystemMessage(GetLastError()));
    return false;
  }
  if (!partials_->Keep(
          {Url(), attempts.Validator(), attempts.Total(), inHand, PartialStore::Now(), headers_})) {
    Note(u"could not record the bytes kept: " + SystemMessage(GetLastError()));
    return false;
  }
  return true;
}

void TransferRequest::ForgetRecord() {
  partials_->Forget(Url());
}

DWORD_PTR TransferRequest::NewRelay() {
  relay_ = std::make_shared<StatusRelay>(this);
  relays_.push_back(relay_);
  connection_.SetContextOwner(relay_);
  return reinterpret_cast<DWORD_PTR>(relay_.get());
}

void TransferRequest::EndRelay() {
  if (!relay_) return;
  std::lock_guard<std::mutex> lock(relay_->mutex);
  relay_->request = nullptr;
}

TransferRequest::Outcome TransferRequest::Failed(Failure failure, const Text& what,
                                                 std::optional<DWORD> error) {
  if (Canceled()) return {};
  Text line = u"failed: " + what;
  if (error) {
    line +=
        u": error " + DecimalText(*error) + u" " + SystemMessage(*error, connection_.Messages());
  }
  Note(line);
  return {false, failure, std::nullopt};
}

void TransferRequest::Note(const Text& what) {
  log_.Write(Url() + u": " + what);
}

Text TransferRequest::Url() const {
  return FromWide(url_);
}

bool TransferRequest::Canceled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

void CALLBACK TransferRequest::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  const TransferState state = StateOfInternetStatus(status);
  if (context == 0 || state == icNone) return;
  StatusRelay& relay = *reinterpret_cast<StatusRelay*>(context);
  std::lock_guard<std::mutex> lock(relay.mutex);
  if (relay.request != nullptr) relay.request->Post(state, false);
}

void TransferRequest::Post(TransferState state, bool final) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_ || finished_ || (!final && state <= lastPosted_)) return;
  lastPosted_ = state;
  finished_ = final;
  if (window_ != nullptr) {
    PostMessageW(window_, kTransferStateMessage, static_cast<WPARAM>(state), serial_);
  }
}

void TransferRequest::PostProgress(bool now) {
  const DWORD tick = GetTickCount();
  if (!now && tick - lastProgressPost_ < kScreenUpdateMs) return;
  if (progressPosted_.exchange(true)) return;  // the window reads the newest figures anyway
  lastProgressPost_ = tick;
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_ || finished_ || window_ == nullptr) return;
  PostMessageW(window_, kTransferProgressMessage, 0, serial_);
}

}  // namespace vexa
