// Drives the WinINet transfer control through a fake of WinINet's function table, under Wine:
// what only the control's threads and WinINet's handles show (the end-to-end suite runs the
// real WinINet). Exit code 0 when every check holds. run_probe.sh stages it in C:\probe.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/win32/transfer/transfer_wininet.h"
#include "platform/win32/transfer/wininet_api.h"
#include "probe_check.h"

using namespace vexa;

namespace {

// The fake server answers each InternetOpenUrlW with the next scripted response. A request
// nothing was scripted for throws, which the control hands to its failure sink: a request too
// many fails the check of the sink.
struct Response {
  DWORD status = 200;
  std::string headers;  // each line ending in CR LF
  std::string body;
  bool silent = false;  // no data ever comes: a read waits until its handle is closed
  // Once this many bytes are sent, a wait for more never returns, closed or not (as Wine's
  // WinINet on a connection that went silent).
  std::size_t stallAt = std::string::npos;
  DWORD trickleMs = 0;  // each byte comes after this long
};

// A session (no parent) or a request; closing a session closes its requests, as in WinINet.
struct Handle {
  Handle* session;
  Response response;
  std::size_t sent = 0;
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

std::mutex netMutex;           // guards handles and script
std::vector<Handle*> handles;  // every one handed out, never freed
std::deque<Response> script;
std::vector<std::wstring> asked;  // the extra headers of each request
std::vector<DWORD> askedAt;       // and when it was made
const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::atomic<DWORD> options[8];  // the last value set of each
// The proxy's login on the requests, as the login dialog or the control set it.
std::wstring proxyUser, proxyPassword;
std::vector<std::wstring> usersSet;  // by the control
DWORD dialogAnswer = ERROR_CANCELLED;
int dialogs = 0;
std::atomic<INTERNET_STATUS_CALLBACK> callback{nullptr};
int closedTwice = 0;

void Script(const Response& response) {
  std::lock_guard<std::mutex> lock(netMutex);
  script.push_back(response);
}

bool IsOpen(const Handle* handle) {
  return WaitForSingleObject(handle->closed, 0) == WAIT_TIMEOUT;
}

HINTERNET WINAPI FakeOpen(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) {
  std::lock_guard<std::mutex> lock(netMutex);
  return handles.emplace_back(new Handle{nullptr, {}});
}

BOOL WINAPI FakeSetOption(HINTERNET, DWORD option, LPVOID value, DWORD size) {
  if (option < 8 && size == sizeof(DWORD)) options[option] = *static_cast<DWORD*>(value);
  if (option != INTERNET_OPTION_PROXY_USERNAME && option != INTERNET_OPTION_PROXY_PASSWORD) {
    return TRUE;
  }
  std::lock_guard<std::mutex> lock(netMutex);
  const std::wstring text(static_cast<const wchar_t*>(value), size);  // size in characters
  if (option == INTERNET_OPTION_PROXY_USERNAME) usersSet.push_back(proxyUser = text);
  if (option == INTERNET_OPTION_PROXY_PASSWORD) proxyPassword = text;
  return TRUE;
}

INTERNET_STATUS_CALLBACK WINAPI FakeSetCallback(HINTERNET, INTERNET_STATUS_CALLBACK cb) {
  return callback.exchange(cb);
}

// The proxy's login; only https requests ask where redirects led, and the probe makes none.
BOOL WINAPI FakeQueryOption(HINTERNET, DWORD option, LPVOID buffer, LPDWORD size) {
  std::lock_guard<std::mutex> lock(netMutex);
  const std::wstring* text = option == INTERNET_OPTION_PROXY_USERNAME   ? &proxyUser
                             : option == INTERNET_OPTION_PROXY_PASSWORD ? &proxyPassword
                                                                        : nullptr;
  if (text == nullptr || *size <= text->size() * sizeof(wchar_t)) return FALSE;
  std::copy(text->c_str(), text->c_str() + text->size() + 1, static_cast<wchar_t*>(buffer));
  return TRUE;
}

HINTERNET WINAPI FakeOpenUrl(HINTERNET session, LPCWSTR, LPCWSTR headers, DWORD, DWORD,
                             DWORD_PTR context) {
  std::unique_lock<std::mutex> lock(netMutex);
  asked.push_back(headers ? headers : L"");
  askedAt.push_back(GetTickCount());
  Handle* request = handles.emplace_back(new Handle{static_cast<Handle*>(session), script.at(0)});
  script.pop_front();
  lock.unlock();  // the control's callback takes its own locks
  // WinINet's codes of the states 1 to 8, from RESOLVING_NAME 10 to RESPONSE_RECEIVED 41, the
  // last two twice, as WinINet may report them: the control posts each state once, in order.
  for (DWORD code : {10, 11, 20, 21, 30, 31, 40, 41, 40, 41}) {
    callback.load()(request, context, code, nullptr, 0);
  }
  return request;
}

BOOL WINAPI FakeQueryInfo(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD size, LPDWORD) {
  const Response& response = static_cast<Handle*>(request)->response;
  if (level == (HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER)) {
    *static_cast<DWORD*>(buffer) = response.status;
    return TRUE;
  }
  const std::string raw =
      "HTTP/1.1 " + std::to_string(response.status) + " X\r\n" + response.headers + "\r\n";
  const auto bytes = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
  const bool fits = buffer != nullptr && *size > bytes;  // with room for the terminating zero
  if (fits) std::copy(raw.c_str(), raw.c_str() + raw.size() + 1, static_cast<wchar_t*>(buffer));
  *size = fits ? bytes : bytes + sizeof(wchar_t);
  if (!fits) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return fits;
}

// What has "arrived": the rest of the body; a silent connection waits until its handle is
// closed. (A connection reset in the middle of a body: test_update.py.)
BOOL WINAPI FakeAvailable(HINTERNET request, LPDWORD available, DWORD, DWORD_PTR) {
  Handle& connection = *static_cast<Handle*>(request);
  if (connection.response.silent) WaitForSingleObject(connection.closed, INFINITE);
  if (connection.sent == connection.response.stallAt) WaitForSingleObject(never, INFINITE);
  if (connection.response.trickleMs > 0 && connection.sent < connection.response.body.size()) {
    Sleep(connection.response.trickleMs);
    *available = 1;
    return TRUE;
  }
  if (!IsOpen(&connection)) {
    SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return FALSE;
  }
  const std::size_t end = std::min(connection.response.body.size(), connection.response.stallAt);
  *available = static_cast<DWORD>(end - connection.sent);
  return TRUE;
}

// As much of what has arrived as fits.
BOOL WINAPI FakeRead(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD read) {
  Handle& connection = *static_cast<Handle*>(request);
  DWORD available = 0;
  if (!FakeAvailable(request, &available, 0, 0)) return FALSE;
  *read = std::min(size, available);
  std::copy_n(connection.response.body.data() + connection.sent, *read, static_cast<char*>(buffer));
  connection.sent += *read;
  return TRUE;
}

BOOL WINAPI FakeClose(HINTERNET closing) {
  std::lock_guard<std::mutex> lock(netMutex);
  if (!IsOpen(static_cast<Handle*>(closing))) ++closedTwice;
  for (Handle* each : handles) {
    if (each == closing || each->session == closing) SetEvent(each->closed);
  }
  return TRUE;
}

// The request sent again: its answer is the next scripted response.
BOOL WINAPI FakeSendRequest(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD) {
  std::lock_guard<std::mutex> lock(netMutex);
  Handle& handle = *static_cast<Handle*>(request);
  handle.response = script.at(0);
  handle.sent = 0;
  script.pop_front();
  return TRUE;
}

// The user's answer to the login dialog: a login typed and confirmed, or Cancel.
DWORD WINAPI FakeErrorDlg(HWND, HINTERNET, DWORD, DWORD, LPVOID*) {
  std::lock_guard<std::mutex> lock(netMutex);
  ++dialogs;
  if (dialogAnswer == ERROR_INTERNET_FORCE_RETRY) proxyUser = L"alice", proxyPassword = L"pw";
  return dialogAnswer;
}

const WinInetApi kFakeApi{nullptr,         FakeOpen,    FakeSetOption,   FakeQueryOption,
                          FakeSetCallback, FakeOpenUrl, FakeQueryInfo,   FakeAvailable,
                          FakeRead,        FakeClose,   FakeSendRequest, FakeErrorDlg};

// --- the window the control posts to, and one run of the control ---------------------------

std::vector<int> states;      // of the current request, as handled
std::vector<LPARAM> serials;  // of every state posted
TransferWinInet* control = nullptr;
void (*onComplete)() = nullptr;  // runs inside the handling of a current state 12

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kTransferLoginMessage) {
    if (control->IsCurrentRequest(lParam)) control->SignIn(window);
    return 0;
  }
  if (message != kTransferStateMessage) return DefWindowProcW(window, message, wParam, lParam);
  serials.push_back(lParam);
  if (!control->IsCurrentRequest(lParam)) return 0;
  states.push_back(static_cast<int>(wParam));
  if (wParam == 12 && onComplete) std::exchange(onComplete, nullptr)();
  return 0;
}

// Handles the messages that came until `done` holds, for at most 10 s.
template <class Done>
bool Pump(Done done) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(1)) {
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
    if (done()) return true;
  }
  return false;
}

struct Run : Log {
  explicit Run(HWND window, DWORD silenceMs = TransferWinInet::kSilenceMs)
      : transfer{[this](std::exception_ptr) { ++sunk; }, *this, &kFakeApi, silenceMs} {
    transfer.SetNotifyWindow(window);
    control = &transfer;
    states.clear();
    serials.clear();
  }
  void Write(const Text& line) noexcept override {
    std::lock_guard<std::mutex> lock(mutex);
    logged += ToUtf8(line) + "\n";
  }
  bool Logged(const std::string& part) {
    std::lock_guard<std::mutex> lock(mutex);
    return logged.find(part) != std::string::npos;
  }
  // Requests `response` for `url`; an operation other than GET has no response, as it is
  // never requested. Fetch also waits for the request's last state.
  void Start(const Response& response, const Text& url = u"http://site/a",
             const Text& operation = u"GET") {
    if (EqualIgnoringAsciiCase(operation, u"GET")) Script(response);
    asked.clear();
    askedAt.clear();
    transfer.Execute(url, operation);
  }
  void Fetch(const Response& response, const Text& url = u"http://site/a",
             const Text& operation = u"GET") {
    Start(response, url, operation);
    CHECK(Pump([] { return !states.empty() && states.back() >= 11; }));
  }
  // The whole body, which is then let go of, as the window does once it has placed it.
  std::string Read() {
    std::string all;
    std::vector<std::uint8_t> chunk;
    do {
      transfer.GetChunk(1024, chunk);
      all.append(chunk.begin(), chunk.end());
    } while (!chunk.empty());
    transfer.DiscardBody(false);
    return all;
  }

  std::mutex mutex;
  std::string logged;
  std::atomic<int> sunk{0};  // failures that are not the network's
  TransferWinInet transfer;
};

// Stop returns at once, with the closed handles ending a read, not a limit; what was posted
// meanwhile is then handled.
void CheckStopsAtOnce(Run& run) {
  const DWORD start = GetTickCount();
  CHECK(run.transfer.Stop());
  CHECK(GetTickCount() - start < 500);
  Pump([] { return true; });
}

// Requests `response` with `operation`: the window handles `expected`, each state posted once;
// `body` can be read; the log has `logged`; an operation other than GET is never requested.
void CheckRequest(HWND window, const Response& response, const char16_t* operation,
                  const std::vector<int>& expected, const std::string& body, const char* logged) {
  Run run(window);
  run.Fetch(response, u"http://site/a", operation);
  CHECK(states == expected);
  CHECK(run.Read() == body);
  CHECK(run.transfer.GetHeader(u"content-length") == (body.empty() ? u"" : u"3"));
  CHECK(run.sunk == 0);
  CHECK(run.Logged(logged));
}

void CheckRequests(HWND window) {
  const std::vector<int> done{1, 2, 3, 4, 5, 6, 7, 8, 12};
  CheckRequest(window, {200, "Content-Length: 3\r\n", "abc"}, u"get", done, "abc",
               "GET http://site/a\nhttp://site/a: HTTP 200, Content-Length 3\n"
               "http://site/a: received 3 bytes in ");
  CHECK(options[INTERNET_OPTION_CONNECT_TIMEOUT] == 30000);
  CHECK(options[INTERNET_OPTION_SEND_TIMEOUT] == 30000);
  CHECK(options[INTERNET_OPTION_RECEIVE_TIMEOUT] == 60000);
  CheckRequest(window, {}, u"POST", {11}, "", "http://site/a: failed: only GET");
  // A body longer than announced, or than the limit, is a bad answer: final, nothing kept.
  const struct {
    Response response;
    std::int64_t limit;
    const char* logged;
  } tooLong[] = {
      {{200, "Content-Length: 3\r\n", "abcd"}, 0, "failed: body longer than the 3 bytes announced"},
      {{200, "Content-Length: 10\r\n", "0123456789"}, 5, "failed: announced more than the 5"},
      {{200, "", "0123456789"}, 5, "failed: body over the 5 bytes allowed"},
  };
  for (const auto& c : tooLong) {
    Run run(window);
    run.transfer.SetBodyLimit(c.limit);
    run.Fetch(c.response);
    CHECK(states.back() == 11 && run.Read().empty() && asked.size() == 1);
    CHECK(run.Logged(c.logged));
  }
}

// A replaced request's states never count, and its worker posts nothing more, not even when
// Stop ends its read; a new request may start while the previous one's state 12 is handled.
// Stop returns at once, with every handle closed exactly once.
void CheckReplacedRequests(HWND window) {
  Run run(window);
  run.Start({200, "", "", true}, u"http://site/silent");
  CHECK(Pump([] { return states.size() == 8; }));
  const LPARAM silentSerial = serials.back();
  Script({200, "", "abc"});
  onComplete = [] { control->Execute(u"http://site/second", u"GET"); };
  run.Fetch({200, "", "second"});
  CHECK(Pump([] { return states.size() >= 26; }));
  CHECK(states == std::vector<int>({1, 2, 3, 4,  5, 6, 7, 8, 1, 2, 3, 4, 5,
                                    6, 7, 8, 12, 1, 2, 3, 4, 5, 6, 7, 8, 12}));
  CHECK(run.Read() == "second");
  CHECK(!run.transfer.IsCurrentRequest(silentSerial));
  CheckStopsAtOnce(run);
  CHECK(std::count(serials.begin(), serials.end(), silentSerial) == 8);
  CHECK(std::none_of(handles.begin(), handles.end(), IsOpen));
  CHECK(closedTwice == 0);
}

// Closing during the wait before a retry stops at once. (A body cut short with a real server,
// continued with a 206 or taken whole from a 200 to the range: test_nginx.py; a connection
// reset, a body kept for a later run and continued there: test_update.py; a redirect from https
// to http: test_pinned.py.)
void CheckRetries(HWND window) {
  Run run(window);
  run.Start({503, "", ""});
  CHECK(Pump([&run] { return run.Logged("retry 1 of 3 in 2 s"); }));
  CheckStopsAtOnce(run);
  CHECK(std::count(states.begin(), states.end(), 11) == 0);
  CHECK(asked.size() == 1);
}

// The watch on the bytes, with a silence limit of a second: a body that stops for good (the
// blocked WinINet call never returns, as under Wine) ends its attempt after the limit, and the
// next asks for the rest, which is appended: the response then reads as the whole body; a wake
// from sleep does so at once, without the limit or the wait; a body that trickles a byte every
// half limit is never cut.
void CheckSilence(HWND window) {
  const std::string ranges = "Content-Length: 10\r\nAccept-Ranges: bytes\r\nETag: \"v1\"\r\n";
  for (const bool woke : {false, true}) {
    Run run(window, woke ? 10000 : 1000);
    Response stalls{200, ranges, "0123456789"};
    stalls.stallAt = 4;
    Script(stalls);
    run.Start({206, "Content-Length: 6\r\nContent-Range: bytes 4-9/10\r\n", "456789"});
    if (woke) {
      CHECK(Pump([] { return states.size() == 8; }));
      Sleep(200);
      run.transfer.Resume();
    }
    CHECK(Pump([] { return !states.empty() && states.back() >= 11; }));
    CHECK(states.back() == 12 && run.Read() == "0123456789");
    CHECK(asked.size() == 2 && asked[1] == L"Range: bytes=4-\r\nIf-Range: \"v1\"\r\n");
    CHECK(run.transfer.GetHeader(u"Content-Length") == u"10");
    const TransferProgress progress = run.transfer.Progress();
    CHECK(progress.received == 10 && progress.total == 10 && progress.attempt == 2);
    // Woken: at once, not after the 10 s limit; else the 1 s limit, then the first retry's 2 s.
    const DWORD gap = askedAt[1] - askedAt[0];
    CHECK(woke ? gap < 3000 : gap >= 3000 && gap < 6000);
    CHECK(run.Logged(woke ? "failed: the PC woke from sleep\nhttp://site/a: retry 1 of 3 at once, "
                          : "http://site/a: failed: no data for 1 s\n"
                            "http://site/a: retry 1 of 3 in 2 s, 4 bytes in hand\n"));
  }
  Run run(window, 1000);
  Response trickles{200, "Content-Length: 4\r\n", "abcd"};
  trickles.trickleMs = 500;
  run.Fetch(trickles);
  CHECK(states.back() == 12 && run.Read() == "abcd" && asked.size() == 1);
}

// A proxy's 407 shows the login dialog: the login given goes with the same request again (no
// new attempt), and a later request of the run sends it without asking; one that is refused
// asks again, in a new request of the same attempt. A request replaced while it waits for a
// login ends without a dialog. (A Cancel, which ends the request saying whose login it was:
// test_proxy.py.)
void CheckLogins(HWND window) {
  const Response asks{407, "Proxy-Authenticate: Basic realm=\"r\"\r\n", "denied"};
  const Response given{200, "Content-Length: 3\r\n", "abc"};
  {
    Run run(window);
    dialogAnswer = ERROR_INTERNET_FORCE_RETRY;
    Script(asks);
    run.Fetch(given);
    CHECK(states.back() == 12 && run.Read() == "abc" && dialogs == 1);
    CHECK(run.transfer.Progress().attempt == 1);
    proxyUser.clear();  // each request has its own handles
    states.clear();
    Script(asks);
    run.Fetch(given);
    CHECK(states.back() == 12 && run.Read() == "abc" && dialogs == 1);
    CHECK(usersSet.size() == 2 && usersSet.back() == L"alice" && proxyPassword == L"pw");
    CHECK(
        run.Logged("asks for a login (Basic)\nhttp://site/a: sent again with the proxy's login "
                   "given earlier in this run\n"));
    states.clear();
    for (const Response& refused : {asks, asks, asks}) Script(refused);
    run.Fetch(given);
    CHECK(states.back() == 12 && run.Read() == "abc" && dialogs == 2 && asked.size() == 2);
    CHECK(run.Logged("the proxy's login was refused (HTTP 407)"));
  }
  {
    Run run(window);
    dialogAnswer = ERROR_CANCELLED;
    run.Start(asks);
    Sleep(300);  // its worker asks for a login; the next request replaces it unanswered
    states.clear();
    run.Fetch(given);
    CHECK(states.back() == 12 && run.Read() == "abc" && dialogs == 2);
    CHECK(run.transfer.Stop());
  }
}

}  // namespace

int wmain() {
  const HWND window =
      CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Receive));
  CheckRequests(window);
  CheckReplacedRequests(window);
  CheckRetries(window);
  CheckSilence(window);
  CheckLogins(window);
  return ProbeExit("transfer probe");
}
