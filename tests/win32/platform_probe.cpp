// Checks under Wine what only the Windows files, log and shell implementations decide; the
// end-to-end suite (tests/e2e) runs the whole program. run_probe.sh stages this program alone
// in C:\probe.
//
//   platform_probe                  all checks; exit code 0 when every one holds
//   platform_probe replace <path>   starts replacing the file, then ends the program at once

#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/background_writer.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/log_win32.h"
#include "platform/win32/received_body.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"
#include "probe_check.h"

using namespace vexa;

namespace {

const Text kDir = u"C:\\probe\\";
const wchar_t kLeftovers[] = L"C:\\probe\\*.vexa-tmp";  // new files of replacements
constexpr std::size_t kMegabyte = 1024 * 1024;

// A new file (or one without attributes) with `bytes` and `attributes`.
void Put(const Text& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  std::ofstream(ToUtf8(path), std::ios::binary) << bytes;
  SetFileAttributesW(ToWide(path).c_str(), attributes);
}

std::string Bytes(const Text& path) {
  std::ifstream in(ToUtf8(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

int CountFiles(const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 1;
  while (FindNextFileW(search, &found)) ++count;
  FindClose(search);
  return count;
}

// Whether `action` throws a PlatformError whose message starts with `start`.
template <class Action>
bool Fails(const Text& start, Action action) {
  try {
    action();
  } catch (const PlatformError& error) {
    return error.message().rfind(start, 0) == 0;
  }
  return false;
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

void CheckFiles() {
  FilesWin32 files;
  CreateDirectoryW(ToWide(kDir + u"folder").c_str(), nullptr);
  Put(kDir + u"plain", "x");
  Put(kDir + u"readonly", "x", FILE_ATTRIBUTE_READONLY);
  Put(kDir + u"hidden", std::string(100, 'z'), FILE_ATTRIBUTE_HIDDEN);
  Put(kDir + u"system", "x", FILE_ATTRIBUTE_SYSTEM);
  for (std::uint32_t mask : {0u, 2u, 4u, 7u}) {
    CHECK(files.Exists(kDir + u"plain", mask) && files.Exists(kDir + u"readonly", mask));
    CHECK(files.Exists(kDir + u"hidden", mask) == ((mask & 2) != 0));
    CHECK(files.Exists(kDir + u"system", mask) == ((mask & 4) != 0));
    CHECK(!files.Exists(kDir + u"folder", mask) && !files.Exists(kDir + u"missing", mask));
  }

  // Text files are in GBK, "?" for what it lacks. A hidden file is rewritten too, without the
  // tail of its longer content. (The end-to-end suite reads a first line in GBK, up to its CR:
  // test_start_button_and_a_stalled_transfer.) An empty file has no first line.
  files.WriteLine(kDir + u"hidden", u"中文ab\u0E01");
  CHECK(Bytes(kDir + u"hidden") == "\326\320\316\304ab?\r\n");
  Put(kDir + u"empty", "");
  CHECK(Fails(u"无法读取文件 C:\\probe\\empty：", [&] { files.ReadFirstLine(kDir + u"empty"); }));
}

// A replacement's blocks are written by another thread and still arrive in order; the target
// is untouched until Commit, and stays when the replacement is abandoned, the program ends in
// the middle or the target is held; no new file is left in any case.
void CheckReplacement(const wchar_t* self) {
  FilesWin32 files;
  const Text target = kDir + u"target.bin";
  const std::string old(4000000, 'o');
  Put(target, old);
  const std::string expected = Pattern(3500000);
  const auto* data = reinterpret_cast<const std::uint8_t*>(expected.data());
  {
    auto replacement = files.BeginReplace(target);
    CHECK(CountFiles(kLeftovers) == 1);
    for (std::size_t at = 0; at < 102400; at += 1024) replacement->Write(data + at, 1024);
    replacement->Write(data + 102400, 3397597);
    replacement->Write(data + 3499997, 3);
    CHECK(Bytes(target) == old);
    replacement->Commit();
  }
  CHECK(Bytes(target) == expected);
  CHECK(CountFiles(kLeftovers) == 0);

  files.BeginReplace(target)->Write(data, 3);
  files.BeginReplace(target)->Write(data, expected.size());  // blocks still being written
  CHECK(_wspawnl(_P_WAIT, self, self, L"replace", ToWide(target).c_str(), nullptr) == 0);
  CHECK(Bytes(target) == expected);
  CHECK(CountFiles(kLeftovers) == 0);

  // A target another program holds open for a moment (a virus scanner looking at it) is
  // replaced once it is let go; one held for good is not.
  for (const DWORD holdMs : {300u, 3000u}) {
    Put(target, "old");
    HANDLE holder = CreateFileW(ToWide(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    std::thread release([holder, holdMs] {
      Sleep(holdMs);
      CloseHandle(holder);
    });
    auto replacement = files.BeginReplace(target);
    replacement->Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
    const bool refused =
        Fails(u"无法替换文件 C:\\probe\\target.bin：", [&] { replacement->Commit(); });
    replacement.reset();
    release.join();
    CHECK(refused == (holdMs > 1000));
    CHECK(Bytes(target) == (refused ? "old" : "new"));
    CHECK(CountFiles(kLeftovers) == 0);
  }
}

// A write that fails on the background writer's thread is thrown to the caller, naming the
// file.
void CheckFailedWrite() {
  const Text path = kDir + u"readonly.bin";
  Put(path, "x");
  UniqueHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  CHECK(Fails(u"无法写入文件 C:\\probe\\readonly.bin：", [&] {
    BackgroundWriter writer(file.Get(), u"无法写入文件 ", path);
    const std::string blocks(8 * kMegabyte, 'w');
    writer.Write(reinterpret_cast<const std::uint8_t*>(blocks.data()), blocks.size());
    writer.Finish();
  }));
}

// A body of 4 MB in memory and the rest in spool files of 8 MB comes back whole and in order;
// each spool file goes once it has been read, the rest with the body or when it starts over.
void CheckReceivedBody() {
  // In C:\probe, which every run starts empty: spool files a faulty build left in the
  // prefix's temporary folder (Wine's process ids repeat) must not count.
  SetEnvironmentVariableW(L"TMP", L"C:\\probe\\");
  const std::wstring spools =
      TemporaryFolder() + L"vexa-" + std::to_wstring(GetCurrentProcessId()) + L"-*.tmp";
  const std::string body = Pattern(20 * kMegabyte + 5000);
  const auto* data = reinterpret_cast<const std::uint8_t*>(body.data());
  {
    ReceivedBody received;
    for (std::size_t at = 0; at < body.size(); at += 65521) {
      received.Append(data + at, std::min<std::size_t>(65521, body.size() - at));
    }
    CHECK(received.Size() == 20 * 1048576 + 5000);
    CHECK(CountFiles(spools) == 3);
    std::vector<std::uint8_t> chunk;
    std::string back;
    do {
      received.Read(1024, chunk);
      back.append(chunk.begin(), chunk.end());
      if (back.size() == 12 * kMegabyte + 2048) CHECK(CountFiles(spools) == 2);
    } while (!chunk.empty());
    CHECK(back == body);
  }
  CHECK(CountFiles(spools) == 0);
  {
    ReceivedBody restarted;  // a download that starts over forgets what it had
    restarted.Append(data, 6 * kMegabyte);
    restarted.Clear();
    CHECK(CountFiles(spools) == 0);
    restarted.Append(data + 1, 5 * kMegabyte);
    std::vector<std::uint8_t> chunk;
    restarted.Read(6 * kMegabyte, chunk);
    CHECK(std::string(chunk.begin(), chunk.end()) == body.substr(1, 5 * kMegabyte));
  }
  for (std::size_t part : {body.size(), 4 * kMegabyte + 5000000}) {
    ReceivedBody().Append(data, part);
    CHECK(CountFiles(spools) == 0);
  }
}

// The system folder comes without loading the shell, so the window shows sooner; other
// folders come from the shell.
void CheckShell() {
  LogWin32 log(L"");
  ShellWin32 shell(log);
  CHECK(!_wcsicmp(ToWide(shell.SpecialFolderPath(37)).c_str(), L"C:\\windows\\system32"));
  CHECK(GetModuleHandleW(L"shell32.dll") == nullptr);
  CHECK(!shell.SpecialFolderPath(2).empty());
}

// The log: UTF-8 lines after the local time, each event on one line; a log over 1 MB moves to
// ".1.log" before the first line of a run, replacing the older one; a folder that can't be
// written loses the lines and nothing else; a reader holding the file stops nothing.
void CheckLog() {
  const Text path = kDir + u"run.log";
  const Text older = kDir + u"run.1.log";
  Put(older, "oldest");
  Put(path, std::string(kMegabyte, 'x'));
  LogWin32{ToWide(path)};
  CHECK(Bytes(older) == "oldest");
  Put(path, std::string(kMegabyte + 1, 'x'));
  LogWin32(ToWide(path)).Write(u"first 中文");
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const std::string line = Bytes(path);
  CHECK(Bytes(older) == std::string(kMegabyte + 1, 'x'));
  CHECK(line.size() == 23 + 1 + 12 + 2);  // "YYYY-MM-DD hh:mm:ss.mmm " "first " + 6 UTF-8 + CR LF
  CHECK(line.rfind(std::to_string(now.wYear) + "-", 0) == 0);
  CHECK(line.substr(23) == " first \xE4\xB8\xAD\xE6\x96\x87\r\n");
  LogWin32(ToWide(path)).Write(u"two\r\nlines");
  const std::string both = Bytes(path);
  CHECK(both.rfind(line, 0) == 0 && both.substr(line.size() + 23) == " two lines\r\n");
  LogWin32(L"C:\\probe\\missing folder\\run.log").Write(u"lost");
  CHECK(GetFileAttributesW(L"C:\\probe\\missing folder") == INVALID_FILE_ATTRIBUTES);
  HANDLE reader = CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  LogWin32(ToWide(path)).Write(u"while read");
  CloseHandle(reader);
  CHECK(Bytes(path).find("while read") != std::string::npos);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"replace") {
    auto replacement = FilesWin32().BeginReplace(FromWide(argv[2]));
    replacement->Write(reinterpret_cast<const std::uint8_t*>("partial"), 7);
    ProgramEndWin32().Now();
  }
  try {
    CheckFiles();
    CheckReplacement(argv[0]);
    CheckFailedWrite();
    CheckReceivedBody();
    CheckShell();
    CheckLog();
  } catch (const std::exception& error) {  // a platform failure no check expected
    std::printf("FAILED: unexpected error %s\n", error.what());
    ++failures;
  }
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
