// Checks under Wine what only the Windows files, environment and shell implementations decide;
// transfers and processes are checked by the end-to-end suite (tests/e2e). run_probe.sh
// stages this program alone in C:\probe.
//
//   platform_probe                  all checks; exit code 0 when every one holds
//   platform_probe replace <path>   starts replacing the file, then ends the program at once

#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/background_writer.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/log_win32.h"
#include "platform/win32/received_body.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

using namespace vexa;

namespace {

int failures = 0;
#define CHECK(ok) \
  ((ok) ? void() : (++failures, void(std::printf("FAILED line %d: %s\n", __LINE__, #ok))))

const Text kDir = u"C:\\probe\\";

void Put(const Text& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  SetFileAttributesW(ToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  std::ofstream(ToUtf8(path), std::ios::binary) << bytes;
  SetFileAttributesW(ToWide(path).c_str(), attributes);
}

std::string Bytes(const Text& path) {
  std::ifstream in(ToUtf8(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Files matching a pattern such as L"C:\\probe\\*.vexa-tmp".
int CountFiles(const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 1;
  while (FindNextFileW(search, &found)) ++count;
  FindClose(search);
  return count;
}

// Temporary files of replacements left in C:\probe.
int Leftovers() {
  return CountFiles(L"C:\\probe\\*.vexa-tmp");
}

void CheckFiles() {
  FilesWin32 files;
  CreateDirectoryW(ToWide(kDir + u"folder").c_str(), nullptr);
  Put(kDir + u"plain", "x");
  Put(kDir + u"readonly", "x", FILE_ATTRIBUTE_READONLY);
  Put(kDir + u"hidden", "x", FILE_ATTRIBUTE_HIDDEN);
  Put(kDir + u"system", "x", FILE_ATTRIBUTE_SYSTEM);
  for (std::uint32_t mask : {0u, 2u, 4u, 7u}) {
    CHECK(files.Exists(kDir + u"plain", mask));
    CHECK(files.Exists(kDir + u"readonly", mask));
    CHECK(files.Exists(kDir + u"hidden", mask) == ((mask & kAttrHidden) != 0));
    CHECK(files.Exists(kDir + u"system", mask) == ((mask & kAttrSystem) != 0));
    CHECK(!files.Exists(kDir + u"folder", mask));
    CHECK(!files.Exists(kDir + u"missing", mask));
  }

  // First line: up to the first CR; a lone LF stays; GBK read as Chinese; an empty file fails.
  const Text line = kDir + u"line.txt";
  const std::pair<const char*, Text> lines[] = {{"first\r\nsecond", u"first"},
                                                {"a\nb\rc", u"a\nb"},
                                                {"no end", u"no end"},
                                                {"\r\n", u""},
                                                {"\xD6\xD0\xCE\xC4\r\n", u"中文"}};
  for (const auto& [bytes, expected] : lines) {
    Put(line, bytes);
    CHECK(files.ReadFirstLine(line) == expected);
  }
  Put(line, "");
  Text message;
  try {
    files.ReadFirstLine(line);
  } catch (const PlatformError& error) {
    message = error.message();
  }
  CHECK(message.rfind(u"无法读取文件 C:\\probe\\line.txt：", 0) == 0);

  // One line in GBK ("?" for what it lacks), then CR LF; no tail of an older, longer content;
  // a hidden file is rewritten too.
  Put(line, std::string(100, 'z'));
  files.WriteLine(line, u"中文ab\u0E01");
  CHECK(Bytes(line) ==
        "\xD6\xD0\xCE\xC4"
        "ab?\r\n");
  Put(kDir + u"hidden", std::string(100, 'z'), FILE_ATTRIBUTE_HIDDEN);
  files.WriteLine(kDir + u"hidden", u"");
  CHECK(Bytes(kDir + u"hidden") == "\r\n");
}

void CheckReplacement() {
  FilesWin32 files;
  const Text target = kDir + u"target.bin";
  const std::string old(4000000, 'o');
  Put(target, old);
  // Pieces of 1 KB, then one larger than a block, then a small one: the file's blocks are
  // written by another thread and must still arrive in order.
  std::string expected;
  for (int i = 0; i < 3500000; ++i) expected += static_cast<char>(i % 251);
  const auto* data = reinterpret_cast<const std::uint8_t*>(expected.data());
  {
    auto replacement = files.BeginReplace(target);
    CHECK(Leftovers() == 1);
    for (std::size_t at = 0; at < 102400; at += 1024) replacement->Write(data + at, 1024);
    replacement->Write(data + 102400, 3397597);
    replacement->Write(data + 3499997, 3);
    CHECK(Bytes(target) == old);  // untouched until Commit
    replacement->Commit();
  }
  CHECK(Bytes(target) == expected);  // no tail of the longer old file
  CHECK(Leftovers() == 0);

  // Abandoned, or the program ends in the middle: the target stays, the new file goes.
  files.BeginReplace(target)->Write(data, 3);
  files.BeginReplace(target)->Write(data, expected.size());  // blocks still being written
  CHECK(Bytes(target) == expected);
  CHECK(Leftovers() == 0);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  CHECK(_wspawnl(_P_WAIT, self, self, L"replace", ToWide(target).c_str(), nullptr) == 0);
  CHECK(Bytes(target) == expected);
  CHECK(Leftovers() == 0);
}

// A target another program holds open for a moment (a virus scanner looking at it) is
// replaced once it is let go; one held for good is not, and nothing is left.
void CheckHeldTarget() {
  FilesWin32 files;
  const Text target = kDir + u"held.bin";
  for (const DWORD holdMs : {300u, 3000u}) {
    Put(target, "old");
    HANDLE holder = CreateFileW(ToWide(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    std::thread release([holder, holdMs] {
      Sleep(holdMs);
      CloseHandle(holder);
    });
    Text message;
    {
      auto replacement = files.BeginReplace(target);
      replacement->Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
      try {
        replacement->Commit();
      } catch (const PlatformError& error) {
        message = error.message();
      }
    }
    release.join();
    if (holdMs < 1000) {
      CHECK(message.empty() && Bytes(target) == "new");
    } else {
      CHECK(message.rfind(u"无法替换文件 C:\\probe\\held.bin：", 0) == 0);
      CHECK(Bytes(target) == "old");
    }
    CHECK(Leftovers() == 0);
  }
}

// A write that fails on the writer's thread is thrown to the caller, naming the file.
void CheckFailedWrite() {
  const Text path = kDir + u"readonly.bin";
  Put(path, "x");
  UniqueHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  Text message;
  try {
    BackgroundWriter writer(file.Get(), u"无法写入文件 ", path);
    const std::string block(BackgroundWriter::kBlockSize, 'w');
    for (int i = 0; i < 8; ++i) {
      writer.Write(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
    }
    writer.Finish();
  } catch (const PlatformError& error) {
    message = error.message();
  }
  CHECK(message.rfind(u"无法写入文件 C:\\probe\\readonly.bin：", 0) == 0);
}

// Spool files of this process in the temporary folder.
int SpoolFiles() {
  return CountFiles(TemporaryFolder() + L"vexa-" + std::to_wstring(GetCurrentProcessId()) +
                    L"-*.tmp");
}

// A body past the memory part and across spool files comes back whole and in order; each
// spool file goes once it has been read, the rest with the body.
void CheckReceivedBody() {
  const std::size_t size = ReceivedBody::kMemoryLimit + 2 * ReceivedBody::kSegmentSize + 5000;
  std::vector<std::uint8_t> body(size);
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(i % 253);
  {
    ReceivedBody received;
    for (std::size_t at = 0; at < size; at += 65521) {
      received.Append(body.data() + at, std::min<std::size_t>(65521, size - at));
    }
    received.Finish();
    CHECK(received.Size() == static_cast<std::int64_t>(size));
    CHECK(SpoolFiles() == 3);
    std::vector<std::uint8_t> chunk, back;
    do {
      received.Read(1024, chunk);
      back.insert(back.end(), chunk.begin(), chunk.end());
      if (back.size() == ReceivedBody::kMemoryLimit + ReceivedBody::kSegmentSize + 2048) {
        CHECK(SpoolFiles() == 2);  // the first one is read
      }
    } while (!chunk.empty());
    CHECK(back == body);
  }
  CHECK(SpoolFiles() == 0);
  for (std::size_t part : {size, ReceivedBody::kMemoryLimit + 5000000}) {
    {
      ReceivedBody abandoned;  // the second one while its blocks are being written
      abandoned.Append(body.data(), part);
    }
    CHECK(SpoolFiles() == 0);
  }
}

void CheckEnvironmentAndShell() {
  const auto same = [](const Text& a, const wchar_t* b) { return !_wcsicmp(ToWide(a).c_str(), b); };
  CHECK(same(EnvironmentWin32().ProgramFolder(), L"C:\\probe"));
  LogWin32 log(L"");
  ShellWin32 shell(log);
  CHECK(same(shell.SpecialFolderPath(37), L"C:\\windows\\system32"));
  // The system folder comes without the shell: the window shows sooner.
  CHECK(GetModuleHandleW(L"shell32.dll") == nullptr);
  CHECK(!shell.SpecialFolderPath(2).empty());  // the start menu's programs: from the shell
}

// The log: UTF-8 lines after the local time; a log over 1 MB moves to ".1.log" before the
// first line of a run, replacing the older one; a folder that can't be written loses the
// lines and nothing else.
void CheckLog() {
  const Text path = kDir + u"run.log";
  const Text older = kDir + u"run.1.log";
  Put(older, "oldest");
  Put(path, std::string(LogWin32::kTurnoverBytes, 'x'));
  LogWin32{ToWide(path)};  // exactly 1 MB: stays
  CHECK(Bytes(older) == "oldest");
  Put(path, std::string(LogWin32::kTurnoverBytes + 1, 'x'));
  {
    LogWin32 log(ToWide(path));
    log.Write(u"first 中文");
  }
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const std::string line = Bytes(path);
  CHECK(line.size() == 23 + 1 + 12 + 2);  // "YYYY-MM-DD hh:mm:ss.mmm " "first " + 6 UTF-8 + CR LF
  CHECK(line.rfind(std::to_string(now.wYear) + "-", 0) == 0);
  CHECK(line.substr(23) == " first \xE4\xB8\xAD\xE6\x96\x87\r\n");
  CHECK(Bytes(older) == std::string(LogWin32::kTurnoverBytes + 1, 'x'));
  {
    LogWin32 log(ToWide(path));  // small: stays
    log.Write(u"two\r\nlines");
  }
  const std::string both = Bytes(path);
  CHECK(both.rfind(line, 0) == 0 && both.substr(line.size() + 23) == " two lines\r\n");
  LogWin32 nowhere(L"C:\\probe\\missing folder\\run.log");
  nowhere.Write(u"lost");
  CHECK(GetFileAttributesW(L"C:\\probe\\missing folder") == INVALID_FILE_ATTRIBUTES);
  // A reader holding the file open does not stop the next line.
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
    CheckReplacement();
    CheckHeldTarget();
    CheckFailedWrite();
    CheckReceivedBody();
    CheckEnvironmentAndShell();
    CheckLog();
  } catch (const PlatformError& error) {
    std::printf("FAILED: unexpected error %s\n", error.what());
    ++failures;
  }
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
