#include "platform/win32/transfer_request.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/http_response.h"
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
  return AsciiText(text);
}

}  // namespace

DWORD WINAPI TransferRequest::Worker(LPVOID parameter) {
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
}

void TransferRequest::Abort() {
  Cancel();
  CloseConnection();
}

void TransferRequest::Report(std::exception_ptr failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!canceled_ && failed_) failed_(failure);
}

void TransferRequest::Run() {
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

bool TransferRequest::Fetch() {
  if (!isGet_) return Failed(u"only GET is done, not this operation");
  const HINTERNET session = OpenSession();
  if (session == nullptr) return false;
  api_.InternetSetStatusCallbackW(session, &TransferRequest::OnStatus);
  const HINTERNET request = api_.InternetOpenUrlW(session, url_.c_str(), nullptr, 0, kRequestFlags,
                                                  reinterpret_cast<DWORD_PTR>(this));
  if (request == nullptr) {
    const DWORD error = GetLastError();
    return Failed(u"no response", error);
  }
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (session_ == nullptr) return false;  // aborted: the session closed it already
    request_ = request;
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!api_.HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                           nullptr)) {
    const DWORD error = GetLastError();
    return Failed(u"no status", error);
  }
  headers_ = RawHeaders(request);
  const Text announcedText = HeaderValue(headers_, u"Content-Length");
  if (Canceled()) return false;
  log_.Write(FromWide(url_) + u": HTTP " + DecimalText(status) + u", Content-Length " +
             (announcedText.empty() ? Text(u"none") : announcedText));
  // An error page is never saved.
  if (!IsSuccessStatus(status)) return Failed(u"HTTP status " + DecimalText(status));
  return ReadBody(request, StrictLength(announcedText));
}

bool TransferRequest::ReadBody(HINTERNET request, std::optional<std::int64_t> announced) {
  std::vector<std::uint8_t> block(kReadBlock);
  for (;;) {
    DWORD read = 0;
    if (!api_.InternetReadFile(request, block.data(), kReadBlock, &read)) {
      const DWORD error = GetLastError();
      return Failed(u"receiving stopped after " + DecimalText(received_) + u" bytes", error);
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

bool TransferRequest::Failed(const Text& what, std::optional<DWORD> error) {
  if (Canceled()) return false;
  Text line = FromWide(url_) + u": failed: " + what;
  if (error) line += u": error " + DecimalText(*error) + u" " + SystemMessage(*error, api_.module);
  log_.Write(line);
  return false;
}

HINTERNET TransferRequest::OpenSession() {
  HINTERNET session = api_.InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) {
    const DWORD error = GetLastError();
    Failed(u"WinINet did not start", error);
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

void TransferRequest::CloseConnection() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (session_ == nullptr) return;
  if (request_ != nullptr) api_.InternetCloseHandle(std::exchange(request_, nullptr));
  api_.InternetCloseHandle(std::exchange(session_, nullptr));
}

Text TransferRequest::RawHeaders(HINTERNET request) {
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

void CALLBACK TransferRequest::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  const TransferState state = StateOfInternetStatus(status);
  if (context != 0 && state != icNone) {
    reinterpret_cast<TransferRequest*>(context)->Post(state, false);
  }
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

bool TransferRequest::Canceled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

}  // namespace vexa
