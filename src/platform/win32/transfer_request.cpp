#include "platform/win32/transfer_request.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/failure_texts.h"
#include "platform/http_response.h"
#include "platform/win32/background_writer.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wininet_api.h"

namespace vexa {
namespace {

using Failure = DownloadAttempts::Failure;

// Always fetched fresh from the site, never kept in the cache, never a dialog box.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;

Text Seconds(ULONGLONG milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(milliseconds) / 1000.0);
  return AsciiText(text);
}

}  // namespace

TransferRequest::TransferRequest(const WinInetApi& api, TransferWinInet::FailureSink failed,
                                 Log& log, std::shared_ptr<PartialStore> partials, HWND window,
                                 LPARAM serial, std::wstring url, bool isGet,
                                 std::int64_t bodyLimit)
    : api_(api),
      failed_(std::move(failed)),
      log_(log),
      partials_(std::move(partials)),
      window_(window),
      serial_(serial),
      url_(std::move(url)),
      isGet_(isGet),
      bodyLimit_(bodyLimit),
      wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!wake_.Valid()) throw SystemError(GetLastError(), failure::kCannotCreateEvent, u"");
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
  SetEvent(wake_.Get());
}

void TransferRequest::Abort() {
  Cancel();
  CloseConnection();
}

void TransferRequest::Report(std::exception_ptr failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!canceled_ && failed_) failed_(failure);
}

TransferProgress TransferRequest::Progress() {
  progressPosted_ = false;  // before the figures: a change from now on posts again
  return {received_.load(), total_.load(), attempt_.load(), retry_.load(), secondsLeft_.load()};
}

void TransferRequest::Run() {
  const ULONGLONG start = GetTickCount64();
  log_.Write(u"GET " + FromWide(url_));
  bool ok = false;
  try {
    if (!isGet_) {
      Failed(Failure::kFinal, u"only GET is done, not this operation");
    } else if (const HINTERNET session = OpenSession()) {
      ok = FetchWithRetries(session);
    }
  } catch (...) {
    // Not the network: the spool's disk or the memory failed. That ends the program through
    // its error box, never in state 11.
    CloseConnection();
    body_->LetGo(false);
    body_.reset();
    Report(std::current_exception());
    return;
  }
  if (ok && !Canceled()) {
    Note(u"received " + DecimalText(received_) + u" bytes in " + Seconds(GetTickCount64() - start));
  }
  // Closed before the final state, so the states of closing the connection come first.
  CloseConnection();
  if (ok) {
    complete_.store(true, std::memory_order_release);
  } else {
    body_.reset();
  }
  Post(ok ? icResponseCompleted : icError, true);
}

bool TransferRequest::FetchWithRetries(HINTERNET session) {
  api_.InternetSetStatusCallbackW(session, &TransferRequest::OnStatus);
  DownloadAttempts attempts;
  const Text url = FromWide(url_);
  // A body kept from an earlier run goes on from its last byte (the first request asks for the
  // rest), as a body cut short in this run would.
  if (std::optional<PartialStore::Found> kept = partials_->Take(url)) {
    attempts = DownloadAttempts(kept->record.validator, kept->record.total);
    headers_ = kept->record.headers;
    total_ = kept->record.total;
    body_->KeepIn(std::move(kept->file), kept->record.length, partials_->BytesPath(url));
  }
  for (;;) {
    const Outcome outcome = Attempt(session, attempts);
    CloseRequest();
    if (outcome.whole) {
      body_->DeleteWhenDone();  // read by the save, then gone
      return true;
    }
    const std::optional<int> wait =
        Canceled() ? std::nullopt : attempts.AfterFailure(outcome.failure, outcome.retryAfter);
    if (!wait) {
      if (!Canceled()) {
        Note(u"given up after attempt " + DecimalText(attempts.Attempt()) + u" of " +
             DecimalText(DownloadAttempts::kMostAttempts));
      }
      KeepOrLetGo(attempts);
      return false;
    }
    const int retry = attempts.Attempt() - 1;
    Note(u"retry " + DecimalText(retry) + u" of " +
         DecimalText(DownloadAttempts::kMostAttempts - 1) + u" in " + DecimalText(*wait) + u" s, " +
         DecimalText(body_->Size()) + u" bytes in hand");
    if (!WaitToRetry(*wait, retry)) {
      KeepOrLetGo(attempts);
      return false;
    }
  }
}

void TransferRequest::KeepOrLetGo(const DownloadAttempts& attempts) {
  if (!body_->Kept()) return;
  const std::int64_t inHand = body_->Size();
  const bool keep = attempts.CanContinue(inHand);
  body_->LetGo(keep);  // closed before its record says what it holds
  if (keep) {
    partials_->Keep({FromWide(url_), attempts.Validator(), attempts.Total(), inHand,
                     PartialStore::Now(), headers_});
  }
}

TransferRequest::Outcome TransferRequest::Attempt(HINTERNET session, DownloadAttempts& attempts) {
  const DownloadAttempts::Request asked = attempts.NextRequest(body_->Size());
  if (asked.from == 0 && body_->Size() > 0) body_->Clear();  // what was kept can't be continued
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
  const HINTERNET request = api_.InternetOpenUrlW(
      session, url_.c_str(), range.empty() ? nullptr : range.c_str(),
      static_cast<DWORD>(range.size()), kRequestFlags, reinterpret_cast<DWORD_PTR>(this));
  if (request == nullptr) {
    const DWORD error = GetLastError();
    return Failed(FailureOfInternetError(error), u"no response", error);
  }
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (session_ == nullptr) return {};  // aborted: the session closed it already
    request_ = request;
  }
  if (LeftHttps(request)) return Failed(Failure::kFinal, u"redirected from https to http");
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!api_.HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                           nullptr)) {
    const DWORD error = GetLastError();
    return Failed(Failure::kNetwork, u"no status", error);
  }
  const Text headers = RawHeaders(request);
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
    body_->Clear();
    headers_ = headers;
    total_ = StrictLength(announced).value_or(0);
    if (bodyLimit_ > 0 && total_ > bodyLimit_) {
      return Failed(Failure::kFinal,
                    u"announced more than the " + DecimalText(bodyLimit_) + u" bytes allowed");
    }
    // A body that could be continued later is kept in the partials' store as it comes; any
    // other is spooled, and one kept before goes.
    if (attempts.Resumable() && !body_->Kept()) {
      const Text url = FromWide(url_);
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
  return ReadBody(request, total > 0 ? std::optional<std::int64_t>(total) : std::nullopt);
}

TransferRequest::Outcome TransferRequest::ReadBody(HINTERNET request,
                                                   std::optional<std::int64_t> end) {
  // The most bytes the body may have: its announced length, else the limit; 0: no most.
  const std::int64_t most = end ? *end : bodyLimit_;
  std::vector<std::uint8_t> block(kBodyBlock);
  std::size_t filled = 0;  // bytes of the block not yet handed to the body
  const auto handOver = [&] {
    body_->Append(block.data(), filled);
    filled = 0;
  };
  for (;;) {
    // Waits for bytes to arrive (up to the receive time-out), then takes what has arrived:
    // a read of a whole block would wait until the block is full, a megabyte on a slow line.
    DWORD available = 0;
    DWORD read = 0;
    bool ok = api_.InternetQueryDataAvailable(request, &available, 0, 0) != FALSE;
    if (ok && available > 0) {
      DWORD ask = std::min(available, static_cast<DWORD>(block.size() - filled));
      // One byte more than may come, at most: enough to tell a body that goes on too long.
      const std::int64_t room = most - body_->Size() - static_cast<std::int64_t>(filled) + 1;
      if (most > 0) ask = static_cast<DWORD>(std::min<std::int64_t>(ask, room));
      ok = api_.InternetReadFile(request, block.data() + filled, ask, &read) != FALSE;
    }
    if (!ok) {
      const DWORD error = GetLastError();
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
      body_->Clear();
      received_ = 0;
      return Failed(Failure::kFinal, (end ? u"body longer than the " : u"body over the ") +
                                         DecimalText(most) +
                                         (end ? u" bytes announced" : u" bytes allowed"));
    }
    filled += read;
    received_ = body_->Size() + static_cast<std::int64_t>(filled);
    if (filled == block.size()) handOver();
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
  for (int left = seconds; left > 0; --left) {
    secondsLeft_ = left;
    PostProgress(true);
    if (WaitForSingleObject(wake_.Get(), 1000) != WAIT_TIMEOUT) return false;
  }
  retry_ = 0;
  return !Canceled();
}

TransferRequest::Outcome TransferRequest::Failed(Failure failure, const Text& what,
                                                 std::optional<DWORD> error) {
  if (Canceled()) return {};
  Text line = u"failed: " + what;
  if (error) line += u": error " + DecimalText(*error) + u" " + SystemMessage(*error, api_.module);
  Note(line);
  return {false, failure, std::nullopt};
}

void TransferRequest::Note(const Text& what) {
  log_.Write(FromWide(url_) + u": " + what);
}

bool TransferRequest::Canceled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

}  // namespace vexa
