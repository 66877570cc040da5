#include "platform/win32/transfer/wininet_connection.h"

#include <cwchar>
#include <utility>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/system_text.h"

namespace vexa {
namespace {

constexpr wchar_t kAgent[] = L"Tollumo";
// Always fetched fresh from the site, never kept in the cache, never a dialog box.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;

// Options of a login, for the proxy (RunLogins::kProxy) and for the site.
constexpr DWORD kUserOption[] = {INTERNET_OPTION_PROXY_USERNAME, INTERNET_OPTION_USERNAME};
constexpr DWORD kPasswordOption[] = {INTERNET_OPTION_PROXY_PASSWORD, INTERNET_OPTION_PASSWORD};
// What of a refusal's body is read before its request is sent again; a longer one is left
// unread (the connection is then not used again).
constexpr std::size_t kDrainBlock = 4096;
constexpr std::size_t kMostDrained = 64 * 1024;

// What a watched call gives back: a count, and its error.
struct CallResult {
  DWORD value = 0;
  DWORD error = ERROR_SUCCESS;
};

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

DWORD WinInetConnection::Ask(const std::wstring& url, const std::wstring& headers,
                             DWORD_PTR context) {
  HINTERNET session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_CANCELLED;
    session = session_;
  }
  if (session == nullptr) {  // a call given up closed it
    if (const DWORD error = Open(); error != ERROR_SUCCESS) return error;
    std::lock_guard<std::mutex> lock(mutex_);
    session = session_;
  }
  lastByte_ = GetTickCount64();
  struct Asked {
    HINTERNET answer = nullptr;
    DWORD error = ERROR_SUCCESS;
  };
  const auto asked = std::make_shared<Asked>();
  const WinInetApi* api = &api_;
  const DWORD watched = Watched([api, session, url, headers, context, asked] {
    asked->answer =
        api->InternetOpenUrlW(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), kRequestFlags, context);
    asked->error = asked->answer == nullptr ? GetLastError() : ERROR_SUCCESS;
  });
  if (watched != ERROR_SUCCESS) return watched;
  if (asked->answer == nullptr) return asked->error;
  lastByte_ = GetTickCount64();
  std::lock_guard<std::mutex> lock(mutex_);
  if (session_ != session) {  // closed meanwhile: the session closed it already
    return ERROR_CANCELLED;
  }
  answer_ = asked->answer;
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

DWORD WinInetConnection::DataAvailable(DWORD& available) {
  const WinInetApi* api = &api_;
  const HINTERNET answer = Answer();
  return WatchedCount(
      [api, answer](DWORD* count) { return api->InternetQueryDataAvailable(answer, count, 0, 0); },
      available);
}

DWORD WinInetConnection::Read(const std::shared_ptr<std::vector<std::uint8_t>>& block,
                              std::size_t offset, DWORD size, DWORD& read) {
  const WinInetApi* api = &api_;
  const HINTERNET answer = Answer();
  return WatchedCount(
      [api, answer, block, offset, size](DWORD* count) {
        return api->InternetReadFile(answer, block->data() + offset, size, count);
      },
      read);
}

DWORD WinInetConnection::LoginDialog(HWND owner) {
  // The system's own dialog: it reads the challenge from the answer (the proxy's address and
  // realm), offers to remember the password as the user's other logins are, and puts the login
  // onto the request (CHANGE_OPTIONS) for the request to send it again.
  return api_.InternetErrorDlg(owner, Answer(), ERROR_INTERNET_INCORRECT_PASSWORD,
                               FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                   FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                   FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                               nullptr);
}

std::wstring WinInetConnection::OptionText(DWORD option) {
  std::wstring text(256, L'\0');
  for (;;) {
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (api_.InternetQueryOptionW(Answer(), option, text.data(), &bytes)) {
      // The length given back differs between Windows (characters) and Wine; the text ends
      // at its zero.
      text.resize(wcsnlen(text.c_str(), text.size()));
      return text;
    }
    SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes <= text.size() * sizeof(wchar_t)) {
      return {};
    }
    text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
  }
}

Login WinInetConnection::GivenLogin(RunLogins::Kind kind) {
  Login login{OptionText(kUserOption[kind]), OptionText(kPasswordOption[kind])};
  return login;
}

void WinInetConnection::UseLogin(RunLogins::Kind kind, const Login& login) {
  const HINTERNET answer = Answer();
  // A text option's length is counted in characters.
  api_.InternetSetOptionW(answer, kUserOption[kind], const_cast<wchar_t*>(login.user.c_str()),
                          static_cast<DWORD>(login.user.size()));
  api_.InternetSetOptionW(answer, kPasswordOption[kind],
                          const_cast<wchar_t*>(login.password.c_str()),
                          static_cast<DWORD>(login.password.size()));
}

DWORD WinInetConnection::Resend() {
  // The refusal's body is read first, so that the connection can carry the request again.
  // The user may have taken minutes over the dialog: the silence counts from now.
  lastByte_ = GetTickCount64();
  const auto block = std::make_shared<std::vector<std::uint8_t>>(kDrainBlock);
  for (std::size_t drained = 0; drained < kMostDrained;) {
    DWORD read = 0;
    const DWORD error = Read(block, 0, static_cast<DWORD>(block->size()), read);
    if (error == ERROR_CANCELLED) return error;
    if (error != ERROR_SUCCESS || read == 0) break;
    drained += read;
  }
  lastByte_ = GetTickCount64();
  const WinInetApi* api = &api_;
  const HINTERNET answer = Answer();
  DWORD none = 0;
  const DWORD error = WatchedCount(
      [api, answer](DWORD*) { return api->HttpSendRequestW(answer, nullptr, 0, nullptr, 0); },
      none);
  if (cut_ == Cut::kNone) lastByte_ = GetTickCount64();  // it returned: silence counts anew
  return error;
}

DWORD WinInetConnection::WatchedCount(std::function<BOOL(DWORD*)> call, DWORD& count) {
  // Held by the call itself: a call given up may still write into it.
  const auto result = std::make_shared<CallResult>();
  const DWORD watched = Watched([call = std::move(call), result] {
    if (!call(&result->value)) result->error = GetLastError();
  });
  if (watched != ERROR_SUCCESS) return watched;
  count = result->value;
  if (count > 0) lastByte_ = GetTickCount64();
  return result->error;
}

DWORD WinInetConnection::Watched(std::function<void()> call) {
  cut_ = Cut::kNone;
  // The call holds what its status callbacks use for as long as it runs.
  auto held = [owner = contextOwner_, call = std::move(call)] { call(); };
  switch (calls_.Run(std::move(held), lastByte_ + silenceMs_)) {
    case BlockingCalls::Ended::kReturned:
      return ERROR_SUCCESS;
    case BlockingCalls::Ended::kSilent:
      cut_ = Cut::kSilent;
      break;
    case BlockingCalls::Ended::kWoken:
      cut_ = Cut::kWoken;
      break;
    case BlockingCalls::Ended::kCanceled:
      cut_ = Cut::kCanceled;
      break;
  }
  CloseHandles(false);
  return ERROR_CANCELLED;
}

void WinInetConnection::EndAnswer() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (session_ != nullptr && answer_ != nullptr) {
    api_.InternetCloseHandle(std::exchange(answer_, nullptr));
  }
}

void WinInetConnection::Close() {
  CloseHandles(true);
}

void WinInetConnection::CloseHandles(bool forGood) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (forGood) closed_ = true;
  if (session_ == nullptr) return;
  if (answer_ != nullptr) api_.InternetCloseHandle(std::exchange(answer_, nullptr));
  api_.InternetCloseHandle(std::exchange(session_, nullptr));
}

}  // namespace vexa
