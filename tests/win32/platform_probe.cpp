// Checks the Windows implementations of the platform interfaces under Wine (run_probe.sh sets
// the stage: C:\probe holds this program, a planted C:\probe\cmd.exe and a copy in place of the
// system's cmd.exe; probe_server.py answers on 127.0.0.1:<port>).
//
//   platform_probe <port>           all checks; exit code 0 when every one holds
//   platform_probe window <title>   a top-level window with that title, until terminated
//   platform_probe replace <path>   starts replacing the file, then ends the program at once
//   (run as cmd.exe)                writes its program path, show state, folder and command
//                                   line to C:\probe\cmd-record.txt

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/transfer_wininet.h"
#include "platform/win32/win_error.h"

using namespace vexa;

namespace {

int failures = 0;
#define CHECK(condition) Check((condition), __LINE__, #condition)
void Check(bool ok, int line, const char* text) {
  if (ok) return;
  ++failures;
  std::printf("FAILED line %d: %s\n", line, text);
}

const Text kDir = u"C:\\probe\\files\\";

bool SameIgnoringCase(TextView a, TextView b) {
  return CompareStringOrdinal(reinterpret_cast<LPCWCH>(a.data()), static_cast<int>(a.size()),
                              reinterpret_cast<LPCWCH>(b.data()), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

void PutBytes(const Text& path, const std::string& bytes, DWORD attributes = 0) {
  SetFileAttributesW(ToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (attributes) SetFileAttributesW(ToWide(path).c_str(), attributes);
}

std::string Bytes(const Text& path) {
  std::string bytes;
  HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  char block[65536];
  DWORD read = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, block, sizeof block, &read, nullptr) &&
         read > 0) {
    bytes.append(block, read);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}

int CountMatching(const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

Text Thrown(void (*action)()) {
  try {
    action();
  } catch (const PlatformError& error) {
    return error.message();
  }
  return u"(nothing thrown)";
}

// Starts this program again with `arguments`; returns the process handle.
HANDLE StartSelf(const std::wstring& arguments) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 &started);
  CloseHandle(started.hThread);
  return started.hProcess;
}

void CheckCodePage() {
  CodePageWin32 codePage;
  CHECK(GetACP() == 936);
  CHECK(codePage.ToAnsi(u"中文a") ==
        "\xD6\xD0\xCE\xC4"
        "a");
  CHECK(codePage.ToAnsi(u"\u0E01") == "?");  // Thai: not in code page 936
  CHECK(codePage.FromAnsi("\xD6\xD0\xCE\xC4"
                          "a") == u"中文a");
}

void CheckFiles() {
  FilesWin32 files;
  CreateDirectoryW(ToWide(kDir).c_str(), nullptr);
  CreateDirectoryW(ToWide(kDir + u"folder").c_str(), nullptr);
  PutBytes(kDir + u"plain", "x");
  PutBytes(kDir + u"readonly", "x", FILE_ATTRIBUTE_READONLY);
  PutBytes(kDir + u"hidden", "x", FILE_ATTRIBUTE_HIDDEN);
  PutBytes(kDir + u"system", "x", FILE_ATTRIBUTE_SYSTEM);
  for (std::uint32_t mask : {0u, 2u, 4u, 7u}) {
    CHECK(files.Exists(kDir + u"plain", mask));
    CHECK(files.Exists(kDir + u"readonly", mask));
    CHECK(files.Exists(kDir + u"hidden", mask) == ((mask & kAttrHidden) != 0));
    CHECK(files.Exists(kDir + u"system", mask) == ((mask & kAttrSystem) != 0));
    CHECK(!files.Exists(kDir + u"folder", mask));
    CHECK(!files.Exists(kDir + u"missing", mask));
  }

  // First line: up to the first CR; a lone LF stays; GBK read as Chinese.
  const Text line = kDir + u"line.txt";
  const std::pair<const char*, Text> lines[] = {{"first\r\nsecond", u"first"},
                                                {"a\nb\rc", u"a\nb"},
                                                {"no end", u"no end"},
                                                {"\r\n", u""},
                                                {"\xD6\xD0\xCE\xC4\r\n", u"中文"}};
  for (const auto& [bytes, expected] : lines) {
    PutBytes(line, bytes);
    CHECK(files.ReadFirstLine(line) == expected);
  }
  PutBytes(line, "");
  static FilesWin32 shared;
  CHECK(Thrown([] {
          shared.ReadFirstLine(kDir + u"line.txt");
        }).rfind(u"无法读取文件 C:\\probe\\files\\line.txt：", 0) == 0);

  // One line in GBK, then CR LF; an older, longer content leaves no tail; hidden files too.
  PutBytes(line, std::string(100, 'z'));
  files.WriteLine(line, u"中文ab");
  CHECK(Bytes(line) ==
        "\xD6\xD0\xCE\xC4"
        "ab\r\n");
  PutBytes(kDir + u"hidden", std::string(100, 'z'), FILE_ATTRIBUTE_HIDDEN);
  files.WriteLine(kDir + u"hidden", u"");
  CHECK(Bytes(kDir + u"hidden") == "\r\n");

  files.Delete(line);
  CHECK(!files.Exists(line, 7));
  const Text message = Thrown([] { shared.Delete(kDir + u"line.txt"); });
  CHECK(message.rfind(u"无法删除文件 C:\\probe\\files\\line.txt：", 0) == 0);
  std::printf("delete error: %s\n", ToUtf8(message).c_str());
}

void CheckReplacement() {
  FilesWin32 files;
  const Text target = kDir + u"target.bin";
  const std::wstring leftovers = ToWide(kDir) + L"*.vexa-tmp";
  PutBytes(target, std::string(300000, 'o'));
  std::string expected;
  {
    auto replacement = files.BeginReplace(target);
    CHECK(CountMatching(leftovers) == 1);
    std::vector<std::uint8_t> piece(1024);
    for (int i = 0; i < 100; ++i) {
      for (auto& byte : piece) byte = static_cast<std::uint8_t>(i + (&byte - piece.data()));
      replacement->Write(piece.data(), piece.size());
      expected.append(piece.begin(), piece.end());
    }
    const std::string big(70000, 'b');  // larger than the write buffer: written directly
    replacement->Write(reinterpret_cast<const std::uint8_t*>(big.data()), big.size());
    expected += big;
    CHECK(Bytes(target) == std::string(300000, 'o'));  // untouched until Commit
    replacement->Commit();
  }
  CHECK(Bytes(target) == expected);  // no tail of the longer old file
  CHECK(CountMatching(leftovers) == 0);

  {  // abandoned: the target stays, the new file goes
    auto replacement = files.BeginReplace(target);
    replacement->Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
  }
  CHECK(Bytes(target) == expected);
  CHECK(CountMatching(leftovers) == 0);

  // The program ends at once in the middle of a replacement.
  HANDLE child = StartSelf(L"replace " + ToWide(target));
  DWORD exitCode = 1;
  CHECK(WaitForSingleObject(child, 10000) == WAIT_OBJECT_0);
  CHECK(GetExitCodeProcess(child, &exitCode) && exitCode == 0);
  CloseHandle(child);
  CHECK(Bytes(target) == expected);
  CHECK(CountMatching(leftovers) == 0);

  static FilesWin32 shared;
  CHECK(Thrown([] {
          shared.BeginReplace(u"C:\\probe\\no such folder\\x.dll");
        }).rfind(u"无法写入文件 C:\\probe\\no such folder\\x.dll：", 0) == 0);
}

void CheckEnvironmentAndShell() {
  CHECK(ArgumentOfCommandLine(u"\"C:\\a b\\x.exe\" REFRESH") == u"REFRESH");
  CHECK(ArgumentOfCommandLine(u"x.exe  \t REFRESH now ") == u"REFRESH now ");
  CHECK(ArgumentOfCommandLine(u"\"x.exe\"REFRESH") == u"REFRESH");
  CHECK(ArgumentOfCommandLine(u"x.exe") == u"");
  EnvironmentWin32 environment;
  CHECK(SameIgnoringCase(environment.ProgramFolder(), u"C:\\probe"));
  CHECK(environment.CommandLineArgument().find(u' ') == Text::npos);  // just the port

  ShellWin32 shell;
  const Text system = shell.SpecialFolderPath(37);
  std::printf("folder 37: %s\n", ToUtf8(system).c_str());
  CHECK(SameIgnoringCase(system, u"C:\\windows\\system32"));
  CHECK(shell.SpecialFolderPath(0x7FFF).empty());
  CHECK(shell.Open(0, u"C:\\probe\\no such file.exe") <= 32);
}

void CheckProcesses() {
  ProcessesWin32 processes;
  HANDLE child = StartSelf(L"window VexaProbeTitle");
  std::uint32_t owner = 0;
  for (int i = 0; i < 100 && owner == 0; ++i, Sleep(50)) {
    owner = processes.FindWindowOwner(u"vexaprobetitle");  // letter case ignored
  }
  CHECK(owner == GetProcessId(child));
  CHECK(processes.Terminate(owner));
  CHECK(processes.FindWindowOwner(u"VexaProbeTitle") == 0);  // gone before we look again
  CHECK(WaitForSingleObject(child, 1000) == WAIT_OBJECT_0);
  CloseHandle(child);
  CHECK(!processes.Terminate(0xFFFFFFF0));

  // The system's cmd.exe (our stand-in) runs, not the one planted beside this program.
  const Text command = u"cmd.exe /c regsvr32/s \"C:\\probe\\a b\\中.dll\"";
  const std::wstring record = L"C:\\probe\\cmd-record.txt";
  DeleteFileW(record.c_str());
  processes.StartHidden(command);
  for (int i = 0; i < 200 && GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(50);
  }
  Sleep(200);
  const std::string recorded = Bytes(FromWide(record));
  std::printf("cmd record: %s\n", recorded.c_str());
  const std::string system = ToUtf8(FromWide(SystemDirectory()));
  CHECK(recorded == system + "\\cmd.exe|1|0|" + system + "|" + ToUtf8(command));
}

struct Outcome {
  std::vector<int> states;
  int stale = 0;
};

// Pumps messages until the current request's final state, for at most `limit` ms.
Outcome Await(TransferWinInet& transfer, DWORD limit = 20000) {
  Outcome outcome;
  const DWORD end = GetTickCount() + limit;
  while (GetTickCount() < end) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      continue;
    }
    if (message.message != TransferWinInet::kStateMessage) {
      DispatchMessageW(&message);
    } else if (!transfer.IsCurrentRequest(message.lParam)) {
      ++outcome.stale;
    } else {
      outcome.states.push_back(static_cast<int>(message.wParam));
      if (message.wParam == icError || message.wParam == icResponseCompleted) break;
    }
  }
  std::printf("states:");
  for (int state : outcome.states) std::printf(" %d", state);
  std::printf(" (stale %d)\n", outcome.stale);
  return outcome;
}

// Progress states strictly rising, then exactly one final state.
bool Ends(const Outcome& outcome, int final) {
  if (outcome.states.empty() || outcome.states.back() != final) return false;
  for (std::size_t i = 1; i + 1 < outcome.states.size(); ++i) {
    if (outcome.states[i] <= outcome.states[i - 1]) return false;
  }
  return outcome.states.size() == 1 || outcome.states[outcome.states.size() - 2] < icError;
}

std::string Body(TransferWinInet& transfer) {
  std::string body;
  std::vector<std::uint8_t> chunk;
  do {
    transfer.GetChunk(1024, chunk);
    body.append(chunk.begin(), chunk.end());
  } while (!chunk.empty());
  return body;
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

void CheckTransfer(const std::wstring& port) {
  const Text base = u"http://127.0.0.1:" + FromWide(port);
  HWND sink = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                              nullptr);
  TransferWinInet transfer;
  transfer.SetNotifyWindow(sink);
  const std::wstring spool = L"vexa-" + std::to_wstring(GetCurrentProcessId()) + L"-*.tmp";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);

  // Larger than what is kept in memory: the rest waits in a spool file.
  transfer.Execute(base + u"/big", u"GET");
  CHECK(Ends(Await(transfer), icResponseCompleted));
  const std::size_t bigSize = 5 * 1024 * 1024 + 123;
  CHECK(transfer.GetHeader(u"content-LENGTH") == u"5243003");
  CHECK(transfer.GetHeader(u"X-Missing").empty());
  CHECK(transfer.BytesReceived() == static_cast<std::int64_t>(bigSize));
  CHECK(CountMatching(temp + spool) == 1);
  CHECK(Body(transfer) == Pattern(bigSize));

  // Started from the handling of state 12, as the download queue does; no Content-length.
  transfer.Execute(base + u"/chunked", u"GET");
  Outcome chunked = Await(transfer);
  CHECK(Ends(chunked, icResponseCompleted));
  CHECK(transfer.GetHeader(u"Content-length").empty());
  CHECK(Body(transfer) == Pattern(70000));
  CHECK(CountMatching(temp + spool) == 0);  // the previous request's spool file is gone

  const std::pair<Text, const char*> failing[] = {{base + u"/missing", "404"},
                                                  {base + u"/drop", "shorter than announced"},
                                                  {u"http://127.0.0.1:1/refused", "refused"}};
  for (const auto& [url, what] : failing) {
    std::printf("%s: ", what);
    transfer.Execute(url, u"GET");
    CHECK(Ends(Await(transfer), icError));
    CHECK(transfer.GetHeader(u"Content-Length").empty());
    std::vector<std::uint8_t> chunk(1);
    transfer.GetChunk(1024, chunk);
    CHECK(chunk.empty());
  }
  transfer.Execute(base + u"/small", u"POST");
  CHECK(Await(transfer).states == std::vector<int>{icError});

  // A request replaced while its body is delayed: its queued states are no longer current,
  // and it posts nothing more once its body comes.
  transfer.Execute(base + u"/slow", u"GET");
  Sleep(500);
  transfer.Execute(base + u"/small", u"GET");
  const Outcome replaced = Await(transfer);
  CHECK(Ends(replaced, icResponseCompleted) && replaced.stale > 0);
  CHECK(Body(transfer) == "0123456789");
  CHECK(Await(transfer, 1500).stale == 0);
  DestroyWindow(sink);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (SameIgnoringCase(FromWide(self).substr(FromWide(self).size() - 7), u"cmd.exe")) {
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    const Text record = FromWide(self) + u"|" +
                        (startup.dwFlags & STARTF_USESHOWWINDOW ? u"1|" : u"0|") +
                        FromWide(std::to_wstring(startup.wShowWindow)) + u"|" + FromWide(folder) +
                        u"|" + FromWide(GetCommandLineW());
    PutBytes(u"C:\\probe\\cmd-record.txt", ToUtf8(record));
    return 0;
  }
  if (argc == 3 && std::wstring(argv[1]) == L"window") {
    CreateWindowExW(0, L"STATIC", argv[2], WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                    nullptr);
    for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) DispatchMessageW(&message);
    return 0;
  }
  if (argc == 3 && std::wstring(argv[1]) == L"replace") {
    FilesWin32 files;
    auto replacement = files.BeginReplace(FromWide(argv[2]));
    replacement->Write(reinterpret_cast<const std::uint8_t*>("partial"), 7);
    ProgramWin32().End();
  }
  if (argc != 2) return 2;
  try {
    CheckCodePage();
    CheckFiles();
    CheckReplacement();
    CheckEnvironmentAndShell();
    CheckProcesses();
    CheckTransfer(argv[1]);
  } catch (const PlatformError& error) {
    std::printf("FAILED: unexpected error %s\n", error.what());
    ++failures;
  }
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
