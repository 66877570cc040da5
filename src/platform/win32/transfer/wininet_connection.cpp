#include "platform/win32/transfer/wininet_connection.h"

#include <utility>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/system_text.h"

namespace vexa {
namespace {

constexpr wchar_t kAgent[] = L"Tollumo";
// Always fetched fresh from the site, never kept in the cache, never a dialog box.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;

}  // namespace

DWORD WinInetConnection::Open() {
  HINTERNET session = api_.InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) return GetLastError();
  for (const auto& [option, ms] : {std::pair{INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs},
                                   std::pair{INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs},
                                   std::pair{INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs}}) {
    DWORD value = ms;
    api_.InternetSetOptionW(session, option, &value, sizeof value);
  }
  api_.InternetSetStatusCallbackW(session, callback_);  // the requests opened through it too
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) {
    api_.InternetCloseHandle(session);
    return ERROR_CANCELLED;
  }
  session_ = session;
  return ERROR_SUCCESS;
}

DWORD WinInetConnection::Ask(const std::wstring& url, const std::wstring& headers) {
  HINTERNET session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session = session_;
  }
  if (session == nullptr) return ERROR_CANCELLED;
  HINTERNET answer =
      api_.InternetOpenUrlW(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), kRequestFlags, context_);
  if (answer == nullptr) return GetLastError();
  std::lock_guard<std::mutex> lock(mutex_);
  if (session_ == nullptr) return ERROR_CANCELLED;  // closed: the session closed it already
  answer_ = answer;
  return ERROR_SUCCESS;
}

HINTERNET WinInetConnection::Answer() {
  std::lock_guard<std::mutex> lock(mutex_);
  return answer_;
}

DWORD WinInetConnection::Status() {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!api_.HttpQueryInfoW(Answer(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                           &size, nullptr)) {
    return 0;
  }
  return status;
}

Text WinInetConnection::RawHeaders() {
  const HINTERNET answer = Answer();
  DWORD bytes = 0;
  api_.HttpQueryInfoW(answer, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &bytes, nullptr);
  std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
  if (!api_.HttpQueryInfoW(answer, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &bytes, nullptr)) {
    return {};
  }
  raw.resize(bytes / sizeof(wchar_t));
  return FromWide(raw);
}

bool WinInetConnection::LeftHttps() {
  const HINTERNET answer = Answer();
  // However long the address it led to; unknown (the query failed) counts as left.
  const std::wstring where = GrownText([&](wchar_t* buffer, DWORD size) -> DWORD {
    DWORD bytes = size * sizeof(wchar_t);
    if (api_.InternetQueryOptionW(answer, INTERNET_OPTION_URL, buffer, &bytes)) {
      return bytes / sizeof(wchar_t);
    }
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? bytes / sizeof(wchar_t) + 1 : 0;
  });
  return where.empty() || !EqualIgnoringAsciiCase(FromWide(where.substr(0, 6)), u"https:");
}

bool WinInetConnection::DataAvailable(DWORD& available) {
  return api_.InternetQueryDataAvailable(Answer(), &available, 0, 0) != FALSE;
}

bool WinInetConnection::Read(void* into, DWORD size, DWORD& read) {
  return api_.InternetReadFile(Answer(), into, size, &read) != FALSE;
}

void WinInetConnection::EndAnswer() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (session_ != nullptr && answer_ != nullptr) {
    api_.InternetCloseHandle(std::exchange(answer_, nullptr));
  }
}

void WinInetConnection::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  if (session_ == nullptr) return;
  if (answer_ != nullptr) api_.InternetCloseHandle(std::exchange(answer_, nullptr));
  api_.InternetCloseHandle(std::exchange(session_, nullptr));
}

}  // namespace vexa
