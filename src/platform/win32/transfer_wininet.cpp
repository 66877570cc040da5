#include "platform/win32/transfer_wininet.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

TransferState StateOfStatus(DWORD status) {
  switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
      return icResolvingHost;
    case INTERNET_STATUS_NAME_RESOLVED:
      return icHostResolved;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
      return icConnecting;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      return icConnected;
    case INTERNET_STATUS_SENDING_REQUEST:
      return icRequesting;
    case INTERNET_STATUS_REQUEST_SENT:
      return icRequestSent;
    case INTERNET_STATUS_RECEIVING_RESPONSE:
      return icReceivingResponse;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
      return icResponseReceived;
    case INTERNET_STATUS_CLOSING_CONNECTION:
      return icDisconnecting;
    case INTERNET_STATUS_CONNECTION_CLOSED:
      return icDisconnected;
    default:
      return icNone;
  }
}

char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

TextView TrimBlanks(TextView text) {
  const std::size_t first = text.find_first_not_of(u" \t");
  if (first == TextView::npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

bool SameName(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The value of the first header called `name` (letter case ignored) in raw response headers
// ("HTTP/1.1 200 OK\r\nName: value\r\n..."), or the empty text.
Text HeaderValue(TextView headers, TextView name) {
  std::size_t start = headers.find(u"\r\n");  // past the status line
  while (start != TextView::npos) {
    start += 2;
    const std::size_t end = headers.find(u"\r\n", start);
    const TextView line = headers.substr(start, end == TextView::npos ? end : end - start);
    const std::size_t colon = line.find(u':');
    if (colon != TextView::npos && SameName(TrimBlanks(line.substr(0, colon)), name)) {
      return Text(TrimBlanks(line.substr(colon + 1)));
    }
    start = end;
  }
  return {};
}

std::optional<std::int64_t> DecimalOf(TextView text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

bool IsGet(TextView operation) {
  return SameName(operation, u"GET");
}

// Owns a WinINet handle.
class InternetHandle {
 public:
  InternetHandle(const WinInetApi& api, HINTERNET handle) : api_(api), handle_(handle) {}
  ~InternetHandle() {
    if (handle_ != nullptr) api_.InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET Get() const { return handle_; }

 private:
  const WinInetApi& api_;
  HINTERNET handle_;
};

}  // namespace

// One request, shared by the control and its worker thread.
class TransferRequest {
 public:
  TransferRequest(const WinInetApi& api, HWND window, LPARAM serial, std::wstring url, bool isGet)
      : api_(api), window_(window), serial_(serial), url_(std::move(url)), isGet_(isGet) {}
  TransferRequest(const TransferRequest&) = delete;
  TransferRequest& operator=(const TransferRequest&) = delete;

  static DWORD WINAPI Worker(LPVOID parameter) {
    const std::unique_ptr<std::shared_ptr<TransferRequest>> owner(
        static_cast<std::shared_ptr<TransferRequest>*>(parameter));
    (*owner)->Run();
    return 0;
  }

  // Window's thread: the request is abandoned. Its worker stops after the WinINet call it
  // is in (WinINet's own time-outs bound that) and posts nothing more.
  void Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    canceled_ = true;
  }

  bool Complete() const { return complete_.load(std::memory_order_acquire); }
  std::int64_t Received() const { return received_.load(); }
  // Only once Complete().
  const Text& Headers() const { return headers_; }
  ReceivedBody& Body() { return *body_; }

 private:
  void Run() {
    bool ok = false;
    try {
      ok = Fetch();
    } catch (...) {  // no memory, no spool file, a failed write: the request failed
      ok = false;
    }
    if (ok) {
      complete_.store(true, std::memory_order_release);
    } else {
      body_.reset();
    }
    Post(ok ? icResponseCompleted : icError, true);
  }

  bool Fetch() {
    if (!isGet_) return false;
    // Both handles are closed when this returns, so the states of closing the connection are
    // posted before the final one.
    InternetHandle session(
        api_, api_.InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.Get() == nullptr) return false;
    api_.InternetSetStatusCallbackW(session.Get(), &TransferRequest::OnStatus);
    InternetHandle request(
        api_, api_.InternetOpenUrlW(session.Get(), url_.c_str(), nullptr, 0, kRequestFlags,
                                    reinterpret_cast<DWORD_PTR>(this)));
    if (request.Get() == nullptr) return false;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!api_.HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                             &status, &size, nullptr) ||
        status < 200 || status > 299) {
      return false;  // an error page is never saved
    }
    headers_ = RawHeaders(request.Get());
    const std::optional<std::int64_t> announced =
        DecimalOf(HeaderValue(headers_, u"Content-Length"));
    std::vector<std::uint8_t> block(kReadBlock);
    for (;;) {
      DWORD read = 0;
      if (!api_.InternetReadFile(request.Get(), block.data(), kReadBlock, &read)) return false;
      if (Canceled()) return false;
      if (read == 0) break;
      body_->Append(block.data(), read);
      received_ += read;
    }
    body_->Finish();
    return !announced || body_->Size() >= *announced;  // a cut connection is a failure
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
    const TransferState state = StateOfStatus(status);
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
      PostMessageW(window_, TransferWinInet::kStateMessage, static_cast<WPARAM>(state), serial_);
    }
  }

  bool Canceled() {
    std::lock_guard<std::mutex> lock(mutex_);
    return canceled_;
  }

  const WinInetApi& api_;
  const HWND window_;
  const LPARAM serial_;
  const std::wstring url_;
  const bool isGet_;

  std::mutex mutex_;  // guards the three members below
  bool canceled_ = false;
  bool finished_ = false;
  int lastPosted_ = icNone;

  // Written by the worker; read by the window's thread once complete_ is set.
  Text headers_;
  std::unique_ptr<ReceivedBody> body_ = std::make_unique<ReceivedBody>();
  std::atomic<bool> complete_{false};
  std::atomic<std::int64_t> received_{0};
};

TransferWinInet::~TransferWinInet() {
  if (current_) current_->Cancel();
}

bool TransferWinInet::IsCurrentRequest(LPARAM serial) const {
  return current_ && serial == static_cast<LPARAM>(serial_);
}

void TransferWinInet::Execute(const Text& url, const Text& operation) {
  const WinInetApi& api = WinInet();
  if (current_) current_->Cancel();
  ++serial_;
  current_ = std::make_shared<TransferRequest>(api, window_, static_cast<LPARAM>(serial_),
                                               ToWide(url), IsGet(operation));
  auto owner = std::make_unique<std::shared_ptr<TransferRequest>>(current_);
  HANDLE thread = CreateThread(nullptr, 0, &TransferRequest::Worker, owner.get(), 0, nullptr);
  if (thread == nullptr) throw SystemError(GetLastError(), u"无法开始下载 ", url);
  owner.release();  // the worker owns it now
  CloseHandle(thread);
}

bool TransferWinInet::CurrentComplete() const {
  return current_ && current_->Complete();
}

Text TransferWinInet::GetHeader(const Text& name) {
  return CurrentComplete() ? HeaderValue(current_->Headers(), name) : Text();
}

void TransferWinInet::GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) {
  chunk.clear();
  if (size > 0 && CurrentComplete()) current_->Body().Read(static_cast<std::size_t>(size), chunk);
}

std::int64_t TransferWinInet::BytesReceived() const {
  return current_ ? current_->Received() : 0;
}

}  // namespace vexa
