// The handles of a TransferRequest and what it tells the window: the WinINet session and
// request, the answer's headers, the status callback and the messages it posts.

#include <string_view>
#include <utility>

#include "platform/http_response.h"
#include "platform/win32/system_text.h"
#include "platform/win32/transfer_request.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wininet_api.h"

namespace vexa {
namespace {

using Failure = DownloadAttempts::Failure;

constexpr wchar_t kAgent[] = L"Tollumo";
// About as often as the window repaints during a save.
constexpr DWORD kProgressEveryMs = 33;

}  // namespace

HINTERNET TransferRequest::OpenSession() {
  HINTERNET session = api_.InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) {
    const DWORD error = GetLastError();
    Failed(Failure::kFinal, u"WinINet did not start", error);
    return nullptr;
  }
  // Explicit time-outs, the same on every Windows version. Wine 8 keeps only the connect
  // time-out (its sockets wait for data without limit); Windows honours all three.
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

void TransferRequest::CloseRequest() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (session_ != nullptr && request_ != nullptr) {
    api_.InternetCloseHandle(std::exchange(request_, nullptr));
  }
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

void TransferRequest::PostProgress(bool now) {
  const DWORD tick = GetTickCount();
  if (!now && tick - lastProgressPost_ < kProgressEveryMs) return;
  if (progressPosted_.exchange(true)) return;  // the window reads the newest figures anyway
  lastProgressPost_ = tick;
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_ || finished_ || window_ == nullptr) return;
  PostMessageW(window_, kTransferProgressMessage, 0, serial_);
}

bool TransferRequest::LeftHttps(HINTERNET request) {
  constexpr std::wstring_view kHttps = L"https:";
  if (std::wstring_view(url_).substr(0, kHttps.size()) != kHttps) return false;
  // However long the address it led to; unknown (the query failed) counts as left.
  const std::wstring where = GrownText([&](wchar_t* buffer, DWORD size) -> DWORD {
    DWORD bytes = size * sizeof(wchar_t);
    if (api_.InternetQueryOptionW(request, INTERNET_OPTION_URL, buffer, &bytes)) {
      return bytes / sizeof(wchar_t);
    }
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? bytes / sizeof(wchar_t) + 1 : 0;
  });
  return where.empty() ||
         !EqualIgnoringAsciiCase(FromWide(where.substr(0, kHttps.size())), u"https:");
}

}  // namespace vexa
