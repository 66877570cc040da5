#include "platform/win32/transfer_wininet.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/failure_texts.h"
#include "platform/http_response.h"
#include "platform/win32/received_body.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wininet_api.h"

namespace vexa {
namespace {

constexpr wchar_t kAgent[] = L"Tollumo";
// Always fetched fresh from the site, never kept in the cache, never a dialog box.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
// Large reads: a large body takes far fewer calls into WinINet, each with its status
// callbacks.
constexpr DWORD kReadBlock = 1024 * 1024;

Text Seconds(ULONGLONG milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(milliseconds) / 1000.0);
  return Text(text, text + std::strlen(text));
}

bool IsGet(TextView operation) {
  return EqualIgnoringAsciiCase(operation, u"GET");
}

}  // namespace

// One request, shared by the control and its worker thread.
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

  static DWORD WINAPI Worker(LPVOID parameter) {
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

  // Window's thread: the request is abandoned. Its worker stops after the WinINet call it
  // is in (the time-outs bound that) and posts nothing more.
  void Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    canceled_ = true;
  }

  // Window's thread, at the end of the program: cancels, and closes the request (the handle
  // a WinINet call of the worker waits on), then its session, so that on Windows the call
  // returns at once. (Wine 8 lets a blocked read finish first; Stop's limit bounds the wait.)
  // Only once no new request can start: the worker may still hold the closed handles'
  // values, which WinINet could hand out again.
  void Abort() {
    Cancel();
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (session_ == nullptr) return;
    if (request_ != nullptr) api_.InternetCloseHandle(std::exchange(request_, nullptr));
    api_.InternetCloseHandle(std::exchange(session_, nullptr));
  }

  // Hands a failure that is not the network's to the window, unless the request was abandoned
  // (then nobody waits for it). Under the lock, so that none is on its way once Cancel returns.
  void Report(std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!canceled_ && failed_) failed_(failure);
  }

  bool Complete() const { return complete_.load(std::memory_order_acquire); }
  std::int64_t Received() const { return received_.load(); }
  // Only once Complete().
  const Text& Headers() const { return headers_; }
  ReceivedBody& Body() { return *body_; }

 private:
  void Run() {
    const ULONGLONG start = GetTickCount64();
    log_.Write(u"GET " + FromWide(url_));
    bool ok = false;
    try {
      ok = Fetch();
    } catch (...) {
      // Not the network: the spool's disk or the memory failed. That ends the program through
      // its error box, never in state 11.
      CloseConnection();
      body_.reset();
      Report(std::current_exception());
      return;
    }
    if (ok && !Canceled()) {
      log_.Write(FromWide(url_) + u": received " + DecimalText(received_) + u" bytes in " +
                 Seconds(GetTickCount64() - start));
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

  bool Fetch() {
    if (!isGet_) return Failed(u"only GET is done, not this operation");
    const HINTERNET session = OpenSession();
    if (session == nullptr) return false;
    api_.InternetSetStatusCallbackW(session, &TransferRequest::OnStatus);
    const HINTERNET request = api_.InternetOpenUrlW(
        session, url_.c_str(), nullptr, 0, kRequestFlags, reinterpret_cast<DWORD_PTR>(this));
    if (request == nullptr) return Failed(u"no response", GetLastError());
    {
      std::lock_guard<std::mutex> lock(handleMutex_);
      if (session_ == nullptr) return false;  // aborted: the session closed it already
      request_ = request;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!api_.HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                             &size, nullptr)) {
      return Failed(u"no status", GetLastError());
    }
    headers_ = RawHeaders(request);
    const Text announcedText = HeaderValue(headers_, u"Content-Length");
    if (Canceled()) return false;
    log_.Write(FromWide(url_) + u": HTTP " + DecimalText(status) + u", Content-Length " +
               (announcedText.empty() ? Text(u"none") : announcedText));
    // An error page is never saved.
    if (!IsSuccessStatus(status)) return Failed(u"HTTP status " + DecimalText(status));
    const std::optional<std::int64_t> announced = StrictLength(announcedText);
    std::vector<std::uint8_t> block(kReadBlock);
    for (;;) {
      DWORD read = 0;
      if (!api_.InternetReadFile(request, block.data(), kReadBlock, &read)) {
        return Failed(u"receiving stopped after " + DecimalText(received_) + u" bytes",
                      GetLastError());
      }
      if (Canceled()) return false;
      if (read == 0) break;
      body_->Append(block.data(), read);
      received_ += read;
    }
    body_->Finish();
    if (announced && body_->Size() < *announced) {  // a cut connection is a failure
      return Failed(u"body cut short: received " + DecimalText(body_->Size()) + u" of " +
                    DecimalText(*announced) + u" bytes");
    }
    return true;
  }

  // Logs why the request failed, unless it was abandoned (then that is no news).
  bool Failed(const Text& what, std::optional<DWORD> error = std::nullopt) {
    if (Canceled()) return false;
    Text line = FromWide(url_) + u": failed: " + what;
    if (error)
      line += u": error " + DecimalText(*error) + u" " + SystemMessage(*error, api_.module);
    log_.Write(line);
    return false;
  }

  // The session with its time-outs, or null when it can't be had or the request was aborted.
  // The requests opened through it inherit them. Wine 8 keeps only the connect time-out (its
  // sockets wait for data without limit); Windows honours all three.
  HINTERNET OpenSession() {
    HINTERNET session =
        api_.InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session == nullptr) {
      Failed(u"WinINet did not start", GetLastError());
      return nullptr;
    }
    for (const auto& [option, ms] :
         {std::pair{INTERNET_OPTION_CONNECT_TIMEOUT, TransferWinInet::kConnectTimeoutMs},
          std::pair{INTERNET_OPTION_SEND_TIMEOUT, TransferWinInet::kSendTimeoutMs},
          std::pair{INTERNET_OPTION_RECEIVE_TIMEOUT, TransferWinInet::kReceiveTimeoutMs}}) {
      DWORD value = ms;
      api_.InternetSetOptionW(session, option, &value, sizeof value);
    }
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (Canceled()) {
      api_.InternetCloseHandle(session);
      return nullptr;
    }
    session_ = session;
    return session;
  }

  // Closes the request and its session, unless Abort closed the session (and with it the
  // request) already.
  void CloseConnection() {
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (session_ == nullptr) return;
    if (request_ != nullptr) api_.InternetCloseHandle(std::exchange(request_, nullptr));
    api_.InternetCloseHandle(std::exchange(session_, nullptr));
  }

  Text RawHeaders(HINTERNET request) {
    DWORD bytes = 0;
    api_.HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &bytes, nullptr);
    std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
    if (!api_.HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &bytes, nullptr)) {
      return {};
    }
    raw.resize(bytes / sizeof(wchar_t));
    return FromWide(raw);
  }

  // WinINet calls this on the worker's thread.
  static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    const TransferState state = StateOfInternetStatus(status);
    if (context != 0 && state != icNone) {
      reinterpret_cast<TransferRequest*>(context)->Post(state, false);
    }
  }

  void Post(TransferState state, bool final) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (canceled_ || finished_ || (!final && state <= lastPosted_)) return;
    lastPosted_ = state;
    finished_ = final;
    if (window_ != nullptr) {
      PostMessageW(window_, kTransferStateMessage, static_cast<WPARAM>(state), serial_);
    }
  }

  bool Canceled() {
    std::lock_guard<std::mutex> lock(mutex_);
    return canceled_;
  }

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

TransferWinInet::TransferWinInet(FailureSink failed, Log& log, const WinInetApi* api)
    : failed_(std::move(failed)), log_(log), api_(api) {}

TransferWinInet::~TransferWinInet() {
  Stop();
}

bool TransferWinInet::Stop() {
  for (Worker& worker : workers_) worker.request->Abort();
  const DWORD start = GetTickCount();
  bool allEnded = true;
  for (Worker& worker : workers_) {
    const DWORD spent = GetTickCount() - start;
    const DWORD left = spent < kStopTimeoutMs ? kStopTimeoutMs - spent : 0;
    allEnded = WaitForSingleObject(worker.thread.Get(), left) == WAIT_OBJECT_0 && allEnded;
  }
  workers_.clear();  // a worker still running owns its request; the process ends around it
  return allEnded;
}

bool TransferWinInet::IsCurrentRequest(LPARAM serial) const {
  return current_ && serial == static_cast<LPARAM>(serial_);
}

void TransferWinInet::Execute(const Text& url, const Text& operation) {
  if (api_ == nullptr) api_ = &WinInet();
  if (current_) current_->Cancel();
  // Workers that have ended need no waiting for at the end.
  workers_.erase(std::remove_if(workers_.begin(), workers_.end(),
                                [](const Worker& worker) {
                                  return WaitForSingleObject(worker.thread.Get(), 0) ==
                                         WAIT_OBJECT_0;
                                }),
                 workers_.end());
  ++serial_;
  current_ = std::make_shared<TransferRequest>(
      *api_, failed_, log_, window_, static_cast<LPARAM>(serial_), ToWide(url), IsGet(operation));
  auto owner = std::make_unique<std::shared_ptr<TransferRequest>>(current_);
  UniqueHandle thread(CreateThread(nullptr, 0, &TransferRequest::Worker, owner.get(), 0, nullptr));
  if (!thread.Valid()) throw SystemError(GetLastError(), failure::kCannotStartDownload, url);
  owner.release();  // the worker owns it now
  workers_.push_back(Worker{current_, std::move(thread)});
}

bool TransferWinInet::CurrentIsComplete() const {
  return current_ && current_->Complete();
}

Text TransferWinInet::GetHeader(const Text& name) {
  return CurrentIsComplete() ? HeaderValue(current_->Headers(), name) : Text();
}

void TransferWinInet::GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) {
  chunk.clear();
  if (size > 0 && CurrentIsComplete()) {
    current_->Body().Read(static_cast<std::size_t>(size), chunk);
  }
}

std::int64_t TransferWinInet::BytesReceived() const {
  return current_ ? current_->Received() : 0;
}

}  // namespace vexa
