// Drives the WinINet transfer control through a fake of WinINet's function table, under Wine:
// the states it posts, what it reads, cancelling, the failure path and stopping its workers.
// Exit code 0 when every check holds. run_probe.sh stages it in C:\probe.

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/transfer_wininet.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wininet_api.h"

using namespace vexa;

namespace {

int failures = 0;
#define CHECK(ok) \
  ((ok) ? void() : (++failures, void(std::printf("FAILED line %d: %s\n", __LINE__, #ok))))

// --- the fake server: one scripted response per InternetOpenUrlW, in order -----------------

struct Response {
  DWORD status = 200;
  std::string headers;  // after the status line
  std::string body;
  bool silent = false;  // no data ever comes: reads wait until the connection is closed
  DWORD refused = 0;    // no response at all: InternetOpenUrlW fails with this error
};

struct Connection {
  Response response;
  std::size_t sent = 0;
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD_PTR context = 0;
};

std::mutex netMutex;
std::deque<Response> script;
std::map<HINTERNET, Connection*> requests;  // request handle -> its connection
std::map<HINTERNET, HINTERNET> sessionOf;   // request handle -> its session
std::map<HINTERNET, INTERNET_STATUS_CALLBACK> callbacks;
std::map<DWORD, DWORD> options;  // option -> the last value set
std::uintptr_t nextHandle = 0x1000;
std::set<HINTERNET> openHandles;
int closedTwice = 0;

HINTERNET NewHandle() {
  nextHandle += 0x10;
  return *openHandles.insert(reinterpret_cast<HINTERNET>(nextHandle)).first;
}

HINTERNET WINAPI FakeOpen(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) {
  std::lock_guard<std::mutex> lock(netMutex);
  return NewHandle();
}

BOOL WINAPI FakeSetOption(HINTERNET, DWORD option, LPVOID value, DWORD size) {
  std::lock_guard<std::mutex> lock(netMutex);
  if (size == sizeof(DWORD)) options[option] = *static_cast<DWORD*>(value);
  return TRUE;
}

INTERNET_STATUS_CALLBACK WINAPI FakeSetCallback(HINTERNET session, INTERNET_STATUS_CALLBACK cb) {
  std::lock_guard<std::mutex> lock(netMutex);
  callbacks[session] = cb;
  return nullptr;
}

HINTERNET WINAPI FakeOpenUrl(HINTERNET session, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR context) {
  INTERNET_STATUS_CALLBACK callback;
  HINTERNET request;
  {
    std::lock_guard<std::mutex> lock(netMutex);
    callback = callbacks[session];
    if (DWORD error = script.front().refused) {
      script.pop_front();
      SetLastError(error);
      return nullptr;
    }
    request = NewHandle();
    auto* connection = new Connection{script.front()};
    connection->context = context;
    script.pop_front();
    requests[request] = connection;
    sessionOf[request] = session;
  }
  // Each state twice, as WinINet may report it: the control posts it once.
  for (DWORD status : {10, 11, 20, 21, 30, 31, 40, 41, 40, 41}) {
    callback(request, context, status, nullptr, 0);
  }
  return request;
}

Connection* ConnectionOf(HINTERNET request) {
  std::lock_guard<std::mutex> lock(netMutex);
  auto it = requests.find(request);
  return it == requests.end() ? nullptr : it->second;
}

BOOL WINAPI FakeQueryInfo(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD size, LPDWORD) {
  Connection* connection = ConnectionOf(request);
  if (level == (HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER)) {
    *static_cast<DWORD*>(buffer) = connection->response.status;
    return TRUE;
  }
  const std::string raw = "HTTP/1.1 " + std::to_string(connection->response.status) + " X\r\n" +
                          connection->response.headers + "\r\n";
  const std::wstring wide(raw.begin(), raw.end());
  const DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(wide.c_str(), wide.c_str() + wide.size() + 1, static_cast<wchar_t*>(buffer));
  *size = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  return TRUE;
}

BOOL WINAPI FakeRead(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD read) {
  Connection* connection = ConnectionOf(request);
  *read = 0;
  if (connection == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (connection->response.silent) {
    WaitForSingleObject(connection->closed, INFINITE);
    SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return FALSE;
  }
  const std::string& body = connection->response.body;
  const std::size_t count = std::min<std::size_t>(size, body.size() - connection->sent);
  std::copy_n(body.data() + connection->sent, count, static_cast<char*>(buffer));
  connection->sent += count;
  *read = static_cast<DWORD>(count);
  return TRUE;
}

// Closing a session closes its requests, as in WinINet; a read waiting on them returns.
BOOL WINAPI FakeClose(HINTERNET handle) {
  std::lock_guard<std::mutex> lock(netMutex);
  if (openHandles.erase(handle) == 0) {
    ++closedTwice;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (auto& [request, session] : sessionOf) {
    if (request == handle || session == handle) {
      SetEvent(requests[request]->closed);
      openHandles.erase(request);
    }
  }
  return TRUE;
}

const WinInetApi kFakeApi{nullptr,     FakeOpen,      FakeSetOption, FakeSetCallback,
                          FakeOpenUrl, FakeQueryInfo, FakeRead,      FakeClose};

// --- the window the control posts to -----------------------------------------------------

struct Posted {
  int state;
  LPARAM serial;
  bool current;
};
std::vector<Posted> posted;
TransferWinInet* control = nullptr;
void (*onComplete)() = nullptr;  // runs inside the handling of a current state 12

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kTransferStateMessage) return DefWindowProcW(window, message, wParam, lParam);
  const bool current = control->IsCurrentRequest(lParam);
  posted.push_back({static_cast<int>(wParam), lParam, current});
  if (current && wParam == icResponseCompleted && onComplete) std::exchange(onComplete, nullptr)();
  return 0;
}

HWND MakeWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Receive;
  windowClass.lpszClassName = L"TransferProbe";
  RegisterClassW(&windowClass);
  return CreateWindowW(L"TransferProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                       nullptr);
}

// Handles messages until `done` holds or 10 s have passed.
template <class Done>
bool Pump(Done done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 10000) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(1);
  }
  return true;
}

std::vector<int> CurrentStates() {
  std::vector<int> states;
  for (const Posted& p : posted) {
    if (p.current) states.push_back(p.state);
  }
  return states;
}

bool CurrentEnded() {
  for (const Posted& p : posted) {
    if (p.current && (p.state == icError || p.state == icResponseCompleted)) return true;
  }
  return false;
}

std::string Read(Transfer& transfer) {
  std::string all;
  std::vector<std::uint8_t> chunk;
  do {
    transfer.GetChunk(1024, chunk);
    all.append(chunk.begin(), chunk.end());
  } while (!chunk.empty());
  return all;
}

std::string Announced(std::size_t length) {
  return "Content-Length: " + std::to_string(length) + "\r\n";
}

struct RecordingLog : Log {
  void Write(const Text& line) noexcept override {
    std::lock_guard<std::mutex> lock(mutex);
    text += ToUtf8(line) + "\n";
  }
  bool Has(const std::string& part) {
    std::lock_guard<std::mutex> lock(mutex);
    return text.find(part) != std::string::npos;
  }
  std::mutex mutex;
  std::string text;
};

struct Run {
  HWND window;
  std::vector<std::exception_ptr> failures;
  RecordingLog log;
  TransferWinInet transfer{[this](std::exception_ptr f) { failures.push_back(f); }, log, &kFakeApi};
  explicit Run(HWND w) : window(w) {
    transfer.SetNotifyWindow(w);
    control = &transfer;
    posted.clear();
  }
};

void CheckWholeBody(HWND window) {
  Run run(window);
  std::string body(3 * 1024 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 253);
  script.push_back({200, Announced(body.size()), body});
  run.transfer.Execute(u"http://site/a", u"get");
  CHECK(Pump(CurrentEnded));
  const std::vector<int> expected{1, 2, 3, 4, 5, 6, 7, 8, 12};
  CHECK(CurrentStates() == expected);
  CHECK(run.transfer.GetHeader(u"content-length") == u"3145735");
  CHECK(run.transfer.BytesReceived() == static_cast<std::int64_t>(body.size()));
  CHECK(Read(run.transfer) == body);
  CHECK(run.failures.empty());
  CHECK(options[INTERNET_OPTION_CONNECT_TIMEOUT] == 30000);
  CHECK(options[INTERNET_OPTION_SEND_TIMEOUT] == 30000);
  CHECK(options[INTERNET_OPTION_RECEIVE_TIMEOUT] == 60000);
  CHECK(
      run.log.Has("GET http://site/a\nhttp://site/a: HTTP 200, Content-Length 3145735\n"
                  "http://site/a: received 3145735 bytes in "));
}

// An error page and a body shorter than announced end in state 11, with nothing to read.
void CheckNetworkFailures(HWND window) {
  const std::pair<Response, const char*> cases[] = {
      {{404, "Content-Length: 9\r\n", "not found"}, "http://site/a: failed: HTTP status 404"},
      {{200, "Content-Length: 100\r\n", std::string(50, 'x')},
       "http://site/a: failed: body cut short: received 50 of 100 bytes"},
      {{302, "", ""}, "http://site/a: failed: HTTP status 302"},
      {{0, "", "", false, ERROR_INTERNET_CANNOT_CONNECT},
       "http://site/a: failed: no response: error 12029 "}};
  for (const auto& [response, logged] : cases) {
    Run run(window);
    script.push_back(response);
    run.transfer.Execute(u"http://site/a", u"GET");
    CHECK(Pump(CurrentEnded));
    CHECK(CurrentStates().back() == icError);
    CHECK(run.transfer.GetHeader(u"Content-Length").empty());
    CHECK(Read(run.transfer).empty());
    CHECK(run.failures.empty());
    CHECK(run.log.Has(logged));
  }
  Run run(window);
  run.transfer.Execute(u"http://site/a", u"POST");  // only GET is done: no request at all
  CHECK(Pump(CurrentEnded));
  CHECK(CurrentStates() == std::vector<int>{icError});
}

// A replaced request's states never count, and its worker posts nothing once replaced; a new
// request may start while the previous one's state 12 is handled.
void CheckReplacedRequests(HWND window) {
  Run run(window);
  script.push_back({200, "", "", true});  // silent: its worker waits in a read
  script.push_back({200, "Content-Length: 3\r\n", "abc"});
  script.push_back({200, "", "second"});
  run.transfer.Execute(u"http://site/silent", u"GET");
  CHECK(Pump([] { return CurrentStates().size() >= 8; }));
  const LPARAM silentSerial = posted.back().serial;
  run.transfer.Execute(u"http://site/abc", u"GET");
  onComplete = [] { control->Execute(u"http://site/second", u"GET"); };
  CHECK(Pump([] { return CurrentEnded() && onComplete == nullptr; }));
  posted.clear();
  CHECK(Pump(CurrentEnded));
  CHECK(CurrentStates().back() == icResponseCompleted);
  CHECK(Read(run.transfer) == "second");
  CHECK(!run.transfer.IsCurrentRequest(silentSerial));
  const DWORD start = GetTickCount();
  CHECK(run.transfer.Stop());  // the silent request's read returns when its session closes
  CHECK(GetTickCount() - start < TransferWinInet::kStopTimeoutMs);
  Pump([] { return true; });
  for (const Posted& p : posted) CHECK(p.serial != silentSerial);
  CHECK(openHandles.empty());
  CHECK(closedTwice == 0);
}

// A spool that can't be written is no network failure: it goes to the failure sink, naming
// the file operation, and no state ends the request.
void CheckSpoolFailure(HWND window) {
  wchar_t tmp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", L"C:\\probe\\no such folder");
  {
    Run run(window);
    script.push_back({200, "", std::string(6 * 1024 * 1024, 's')});  // more than memory keeps
    run.transfer.Execute(u"http://site/big", u"GET");
    CHECK(Pump([&run] { return !run.failures.empty(); }));
    Pump([] { return true; });
    CHECK(!CurrentEnded());
    Text message;
    try {
      std::rethrow_exception(run.failures.at(0));
    } catch (const PlatformError& error) {
      message = error.message();
    } catch (...) {
    }
    CHECK(message.rfind(u"无法创建临时文件 C:\\probe\\no such folder\\", 0) == 0);
  }
  SetEnvironmentVariableW(L"TMP", tmp[0] ? tmp : nullptr);
}

}  // namespace

int wmain() {
  const HWND window = MakeWindow();
  CheckWholeBody(window);
  CheckNetworkFailures(window);
  CheckReplacedRequests(window);
  CheckSpoolFailure(window);
  std::printf("%s: %d failed\n", failures ? "FAILED" : "transfer probe passed", failures);
  return failures ? 1 : 0;
}
