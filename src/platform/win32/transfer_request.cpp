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
                                 Log& log, HWND window, LPARAM serial, std::wstring url, bool isGet,
                                 std::int64_t bodyLimit)
    : api_(api),
      failed_(std::move(failed)),
      log_(log),
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
  for (;;) {
    const Outcome outcome = Attempt(session, attempts);
    CloseRequest();
    if (outcome.whole) return true;
    if (Canceled()) return false;
    const std::optional<int> wait = attempts.AfterFailure(outcome.failure, outcome.retryAfter);
    if (!wait) {
      Note(u"given up after attempt " + DecimalText(attempts.Attempt()) + u" of " +
           DecimalText(DownloadAttempts::kMostAttempts));
      return false;
    }
    const int retry = attempts.Attempt() - 1;
    Note(u"retry " + DecimalText(retry) + u" of " +
         DecimalText(DownloadAttempts::kMostAttempts - 1) + u" in " + DecimalText(*wait) + u" s, " +
         DecimalText(body_->Size()) + u" bytes in hand");
    if (!WaitToRetry(*wait, retry)) return false;
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
  for (;;) {
    // One byte more than may come, at most: enough to tell a body that goes on too long.
    DWORD ask = static_cast<DWORD>(block.size());
    if (most > 0) ask = static_cast<DWORD>(std::min<std::int64_t>(ask, most - body_->Size() + 1));
    DWORD read = 0;
    if (!api_.InternetReadFile(request, block.data(), ask, &read)) {
      const DWORD error = GetLastError();
      return Failed(Failure::kCutShort,
                    u"receiving stopped after " + DecimalText(body_->Size()) + u" bytes", error);
    }
    if (Canceled()) return {};
    if (read == 0) break;
    if (most > 0 && body_->Size() + read > most) {
      body_->Clear();
      received_ = 0;
      return Failed(Failure::kFinal, (end ? u"body longer than the " : u"body over the ") +
                                         DecimalText(most) +
                                         (end ? u" bytes announced" : u" bytes allowed"));
    }
    body_->Append(block.data(), read);
    received_ = body_->Size();
    PostProgress();
  }
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
