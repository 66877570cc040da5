// Checks under Wine what only the Windows files, log and shell implementations decide; the
// end-to-end suite (tests/e2e) runs the whole program. run_probe.sh stages this program alone
// in C:\probe.
//
//   platform_probe                  all checks; exit code 0 when every one holds (the files of
//                                   make_signed_sample.sh staged beside it)
//   platform_probe replace <path>   starts replacing the file, then ends the program at once

#include <process.h>
#include <windows.h>

#include <aclapi.h>  // after windows.h
#include <sddl.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "import_redirect.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/elevated_files.h"
#include "platform/win32/files/files_win32.h"
#include "platform/win32/files/installer_signature.h"
#include "platform/win32/log_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/program_end_win32.h"
#include "platform/win32/running_copies_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/transfer/partial_store.h"
#include "platform/win32/transfer/received_body.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"
#include "platform/win32/window/taskbar_win32.h"
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

// Shared in every way: a file the program holds after replacing it can still be read.
std::string Bytes(const Text& path) {
  UniqueHandle file(
      CreateFileW(ToWide(path).c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char block[65536];
  DWORD read = 0;
  while (ReadFile(file.Get(), block, sizeof block, &read, nullptr) && read > 0)
    bytes.append(block, read);
  return bytes;
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
  // test_start_button_and_a_stalled_transfer; that an empty file has none: FirstLineOf, which
  // every Files implementation uses, in the brand fuzz target and startup_test.cpp.)
  files.WriteLine(kDir + u"hidden", u"中文ab\u0E01");
  CHECK(Bytes(kDir + u"hidden") == "\326\320\316\304ab?\r\n");

  // An empty folder a user made at a file's name goes, so the file is placed. (One with content
  // stays, and the error names the file: test_update.py, the installer's.)
  const Text encoded = u"C:\\vexaoem.dat";
  DeleteFileW(ToWide(encoded).c_str());  // what an earlier probe run left
  CHECK(CreateDirectoryW(ToWide(encoded).c_str(), nullptr));
  files.WriteLine(encoded, u"code");
  CHECK(Bytes(encoded) == "code\r\n");
}

// A replacement's blocks arrive in order; the target is untouched until Commit, and stays when
// the replacement is abandoned or the program ends in the middle; no new file is left in any
// case.
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
  files = FilesWin32();  // lets go of the target

  // A target another program holds open for a moment (a virus scanner looking at it) is
  // replaced once it is let go. (One that can't be replaced in time, the error and nothing left:
  // test_update.py.)
  Put(target, "old");
  HANDLE holder = CreateFileW(ToWide(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  std::thread release([holder] {
    Sleep(300);
    CloseHandle(holder);
  });
  auto replacement = files.BeginReplace(target);
  replacement->Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
  CHECK(!Fails(u"", [&] { replacement->Commit(); }));
  release.join();
  CHECK(Bytes(target) == "new");
  CHECK(CountFiles(kLeftovers) == 0);
}

// A body of 4 MB in memory and the rest in spool files of 8 MB comes back whole and in order;
// each spool file goes once it has been read, the rest with the body or when it starts over.
// They are in the run's own folder.
void CheckReceivedBody() {
  const std::wstring spools = RunFolder() + L"*.tmp";
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
  ComApartment com;
  ShellWin32 shell(log, com);
  CHECK(!_wcsicmp(ToWide(shell.SpecialFolderPath(37)).c_str(), L"C:\\windows\\system32"));
  CHECK(GetModuleHandleW(L"shell32.dll") == nullptr);
  CHECK(!shell.SpecialFolderPath(2).empty());
}

// The log: UTF-8 lines after the local time, each event on one line; a log over 1 MB moves to
// ".1.log" before the first line of a run, replacing the older one; a reader holding the file
// stops nothing.
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
  HANDLE reader = CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  LogWin32(ToWide(path)).Write(u"while read");
  CloseHandle(reader);
  CHECK(Bytes(path).find("while read") != std::string::npos);
}

// CreateFileW and CreateDirectoryW as this program imports them, redirected to record the DACL
// each new file or folder is given. Wine does not keep a DACL (it maps it onto Unix modes and
// reads back one of its own), so what the program passes is checked, not a read-back.
std::vector<std::pair<std::wstring, std::string>> created;  // path, DACL as SDDL ("": none)
decltype(&CreateFileW) realCreateFile;
decltype(&CreateDirectoryW) realCreateDirectory;

std::string DaclOf(LPSECURITY_ATTRIBUTES attributes) {
  LPWSTR text = nullptr;
  if (!attributes || !ConvertSecurityDescriptorToStringSecurityDescriptorW(
                         attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                         DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return "";
  }
  const std::string dacl = ToUtf8(FromWide(text));
  LocalFree(text);
  return dacl;
}

HANDLE WINAPI RecordedCreateFile(LPCWSTR name, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                                 HANDLE from) {
  created.emplace_back(name, DaclOf(attributes));
  return realCreateFile(name, access, share, attributes, disposition, flags, from);
}

BOOL WINAPI RecordedCreateDirectory(LPCWSTR name, LPSECURITY_ATTRIBUTES attributes) {
  created.emplace_back(name, DaclOf(attributes));
  return realCreateDirectory(name, attributes);
}

decltype(&SetSecurityInfo) realSetSecurity;
std::vector<std::string> daclsSet;  // by SetSecurityInfo, as SDDL

DWORD WINAPI RecordedSetSecurity(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what,
                                 PSID owner, PSID group, PACL dacl, PACL sacl) {
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
  SetSecurityDescriptorControl(
      &descriptor, SE_DACL_PROTECTED,
      (what & PROTECTED_DACL_SECURITY_INFORMATION) ? SE_DACL_PROTECTED : 0);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  daclsSet.push_back(DaclOf(&attributes));
  return realSetSecurity(object, type, what, owner, group, dacl, sacl);
}

// The SDDL of what the program creates: protected from inheritance ("P"), full control for
// Administrators (BA) and SYSTEM (SY), and for Users (BU) only FILE_GENERIC_READ |
// FILE_GENERIC_EXECUTE = 0x120089 | 0x1200A0 = 0x1200A9: no write or delete, and no entry at
// all for Authenticated Users (AU) or Everyone (WD).
const char kProtectedDacl[] = "D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)";
// What a new file has until it has its final name: no entry for Users at all.
const char kPrivateDacl[] = "D:P(A;;FA;;;BA)(A;;FA;;;SY)";

std::string DaclCreated(const std::wstring& start) {
  for (const auto& [path, dacl] : created) {
    if (path.rfind(start, 0) == 0) return dacl;
  }
  return "none created";
}

// The replacement's new file, under a random name, and the run folder get the protected DACL
// at creation; after Commit the file stays held: no one writes or deletes it. (That a held
// file still starts: test_update.py, whose installer is held when it is opened.)
void CheckProtection() {
  CHECK(Redirect(L"kernel32.dll", "CreateFileW", &RecordedCreateFile, realCreateFile));
  CHECK(
      Redirect(L"kernel32.dll", "CreateDirectoryW", &RecordedCreateDirectory, realCreateDirectory));
  CHECK(Redirect(L"advapi32.dll", "SetSecurityInfo", &RecordedSetSecurity, realSetSecurity));
  RemoveRunFolder();  // made again by RunFolder, through the redirected call
  // (Its name, "vexa-" and 32 random characters: the installer's TEMP in test_update.py.)
  const std::wstring folder = RunFolder();
  CHECK(DaclCreated(folder.substr(0, folder.size() - 1)) == kProtectedDacl);

  const Text held = kDir + u"held.exe";
  {
    FilesWin32 files;
    auto replacement = files.BeginReplace(held);
    CHECK(DaclCreated(L"C:\\probe\\held.exe.") == kPrivateDacl);
    CHECK(created.back().first.size() == std::wstring(L"C:\\probe\\held.exe.").size() + 32 + 9);
    replacement->Write(reinterpret_cast<const std::uint8_t*>("held"), 4);
    replacement->Commit();
    CHECK(daclsSet == std::vector<std::string>{kProtectedDacl});  // users read it once in place
    CHECK(!UniqueHandle(CreateFileW(ToWide(held).c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING,
                                    0, nullptr))
               .Valid());
    CHECK(GetLastError() == ERROR_SHARING_VIOLATION);
    CHECK(!DeleteFileW(ToWide(held).c_str()));
  }
  CHECK(DeleteFileW(ToWide(held).c_str()));  // let go with its FilesWin32
}

// What a user can put where the program reads or writes is never followed: a log with a second
// hard link is replaced (the other name keeps its content; C:\vexaoem.dat likewise, written
// through a new file beside it as a replacement is: test_update.py), a brand file read through a
// link or over 1 MB is refused, a marker that is a hard link loses only its name. A marker goes
// whatever its attributes, and one already gone counts as deleted. (Wine gives every file the user
// as its owner and ignores a new owner, so a log of another owner can't be made here; LogWin32
// replaces it as it replaces a link.)
void CheckLinksAndLimits() {
  FilesWin32 files;
  Put(kDir + u"theirs.txt", "theirs\r\n", FILE_ATTRIBUTE_READONLY);
  CHECK(CreateHardLinkW(L"C:\\probe\\link.log", L"C:\\probe\\theirs.txt", nullptr));
  CHECK(Fails(u"无法读取文件 C:\\probe\\link.log：",
              [&] { files.ReadFirstLine(kDir + u"link.log"); }));
  LogWin32 log(L"C:\\probe\\link.log");
  log.Write(u"into their file");
  CHECK(Bytes(kDir + u"theirs.txt") == "theirs\r\n" && log.Path() == L"C:\\probe\\link.log");
  const std::string logged = Bytes(kDir + u"link.log");
  CHECK(logged.find("a link, or a file with another name too: replaced by a new log") !=
            std::string::npos &&
        logged.find("into their file") != std::string::npos);
  CHECK(CreateHardLinkW(L"C:\\probe\\marker", L"C:\\probe\\theirs.txt", nullptr));
  files.Delete(kDir + u"marker");
  CHECK(GetFileAttributesW(L"C:\\probe\\marker") == INVALID_FILE_ATTRIBUTES);
  CHECK(GetFileAttributesW(L"C:\\probe\\theirs.txt") & FILE_ATTRIBUTE_READONLY);
  files.Delete(kDir + u"marker");
  Put(kDir + u"large", "line\r\n" + std::string(kMegabyte - 6, 'x'));
  CHECK(files.ReadFirstLine(kDir + u"large").text == u"line");
  Put(kDir + u"large", "line\r\n" + std::string(kMegabyte - 5, 'x'));
  CHECK(Fails(u"无法读取文件 C:\\probe\\large：", [&] { files.ReadFirstLine(kDir + u"large"); }));
  Put(kDir + u"marker", "m",
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  files.Delete(kDir + u"marker");
  CHECK(GetFileAttributesW(L"C:\\probe\\marker") == INVALID_FILE_ATTRIBUTES);
  // A file in the partials folder's place gives way to the folder. A new partial never writes
  // through a hard link at its name, and one whose bytes have a second name is not continued,
  // though its record fits them.
  const std::wstring partials = L"C:\\windows\\temp\\vexa-partials";
  std::filesystem::remove_all(partials);
  Put(u"C:\\windows\\temp\\vexa-partials", "a file");
  PartialStore store(log);
  store.Prepare();
  CHECK(GetFileAttributesW(partials.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  CHECK(Bytes(kDir + u"link.log").find("partials was not the program's own (a file): replaced") !=
        std::string::npos);
  const Text url = u"http://site/linked";
  const std::wstring part = ToWide(store.BytesPath(url));
  Put(kDir + u"theirs.part", "8 bytes!");
  CHECK(CreateHardLinkW(part.c_str(), L"C:\\probe\\theirs.part", nullptr));
  UniqueHandle begun = store.Begin(url);
  CHECK(WriteFully(begun.Get(), reinterpret_cast<const std::uint8_t*>("new"), 3) == 0);
  begun.Reset();
  CHECK(Bytes(kDir + u"theirs.part") == "8 bytes!");
  CHECK(store.Keep({url, u"\"v\"", 10, 8, PartialStore::Now(), u""}));
  CHECK(DeleteFileW(part.c_str()) &&
        CreateHardLinkW(part.c_str(), L"C:\\probe\\theirs.part", nullptr));
  CHECK(!store.Take(url) && Bytes(kDir + u"theirs.part") == "8 bytes!");
}

// The installer starts as a program with no handle inherited, its TEMP a folder of its own in
// the run folder, made with the protected DACL; only when Windows says it needs elevation and
// the program is not elevated does the shell start it, with "runas". (The real start of a held
// file, its program, command line, working folder and TEMP, no call into the shell:
// test_update.py.)
struct StartRecord {
  std::wstring verb;
  BOOL inherit = TRUE;
  int shellCalls = 0;
  DWORD error = 0;  // what the fake CreateProcessW fails with; 0: it starts
  bool elevated = true;
} startRecord;

BOOL WINAPI FakeCreateProcess(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                              BOOL inherit, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                              LPPROCESS_INFORMATION started) {
  startRecord.inherit = inherit;
  *started = {};
  SetLastError(startRecord.error);
  return startRecord.error == 0;
}

BOOL WINAPI FakeShellExecute(SHELLEXECUTEINFOW* execute) {
  ++startRecord.shellCalls;
  startRecord.verb = execute->lpVerb ? execute->lpVerb : L"";
  execute->hInstApp = reinterpret_cast<HINSTANCE>(42);
  return TRUE;
}

bool FakeElevated() {
  return startRecord.elevated;
}

void CheckInstallerStart() {
  const InstallerStartApi fake{&FakeCreateProcess, &FakeShellExecute, &FakeElevated};
  LogWin32 log(L"");
  ComApartment com;
  ShellWin32 shell(log, com, &fake);
  shell.StartInstaller(u"C:\\vexa_setup_zs.exe");
  CHECK(startRecord.inherit == FALSE);
  CHECK(DaclCreated(RunFolder() + L"installer") == kProtectedDacl);

  startRecord.error = ERROR_BAD_EXE_FORMAT;  // an error (its text: test_update.py), no shell
  CHECK(Fails(u"", [&] { shell.StartInstaller(u"C:\\vexa_setup_zs.exe"); }));
  CHECK(startRecord.shellCalls == 0);
  startRecord.error = 740;  // ERROR_ELEVATION_REQUIRED: elevated, an error all the same
  CHECK(Fails(u"无法启动安装程序 C:\\vexa_setup_zs.exe：",
              [&] { shell.StartInstaller(u"C:\\vexa_setup_zs.exe"); }));
  CHECK(startRecord.shellCalls == 0);
  startRecord.elevated = false;
  shell.StartInstaller(u"C:\\vexa_setup_zs.exe");
  CHECK(startRecord.shellCalls == 1 && startRecord.verb == L"runas");
}

// The log lines a check expects.
struct RecordingLog : Log {
  void Write(const Text& line) noexcept override { lines.push_back(line); }
  std::vector<Text> lines;
};

// Run folders of earlier runs that nothing changed for a day go with all they hold, read-only
// files and folders within included; a newer one, this run's and other names stay.
void CheckOldRunFolders() {
  const std::wstring temp = SystemTemporaryFolder();
  const std::wstring old = temp + L"vexa-0123456789abcdef0123456789abcdef";
  const std::wstring young = temp + L"vexa-00000000000000000000000000000000";
  const std::wstring other = temp + L"vexa-other";
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
  ticks.QuadPart -= 25ULL * 3600 * 10000000;  // 25 hours ago
  const FILETIME before{ticks.LowPart, ticks.HighPart};
  for (const std::wstring& folder : {old, young, other}) {
    std::filesystem::create_directories(folder + L"\\installer");
    Put(FromWide(folder + L"\\installer\\setup.tmp"), "x", FILE_ATTRIBUTE_READONLY);
    if (folder == young) continue;
    const UniqueHandle handle(CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, 7, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    CHECK(SetFileTime(handle.Get(), nullptr, nullptr, &before));
  }
  RecordingLog log;
  RemoveOldRunFolders(log);
  CHECK(GetFileAttributesW(old.c_str()) == INVALID_FILE_ATTRIBUTES);
  CHECK(GetFileAttributesW(RunFolder().c_str()) != INVALID_FILE_ATTRIBUTES);
  // (Earlier probe runs leave their run folders, which go a day later: lines of their own.)
  const Text removed = u"working folder of an earlier run " + FromWide(old) + u": removed";
  CHECK(std::count(log.lines.begin(), log.lines.end(), removed) == 1);
  for (const std::wstring& folder : {young, other}) {
    const std::wstring file = folder + L"\\installer\\setup.tmp";
    CHECK(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL));  // there still
    std::filesystem::remove_all(folder);
  }
}

// The contents of a file staged beside the probe (make_signed_sample.sh).
std::string Staged(const wchar_t* name) {
  return Bytes(kDir + FromWide(name));
}

// Adds the DER certificate `der` to the machine's store `name` (as "certutil -addstore" does),
// or with `remove` deletes its entry, under its SHA-1 thumbprint, from the registry, which holds
// the store (Wine's crypt32 keeps the entry of a certificate deleted from the store).
void MachineStore(const wchar_t* name, const std::string& der, bool remove) {
  PCCERT_CONTEXT certificate = CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
  CHECK(certificate != nullptr);
  if (remove) {
    BYTE thumbprint[20];
    DWORD size = sizeof thumbprint;
    CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumbprint, &size);
    std::wstring key =
        std::wstring(L"Software\\Microsoft\\SystemCertificates\\") + name + L"\\Certificates\\";
    for (DWORD i = 0; i < size; ++i) key += ToWide(HexText(thumbprint[i], 2));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
  } else {
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, name);
    CHECK(store && CertAddCertificateContextToStore(store, certificate,
                                                    CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
    CertCloseStore(store, 0);
  }
  CertFreeCertificateContext(certificate);
}

// The signer named by its key: the SHA-256 of the SubjectPublicKeyInfo of the signer's
// certificate or of its authority's passes, another key (the other publisher's) is refused,
// as is the vendor's certificate once the machine distrusts it. (The name form: the signature
// suite, test_signature.py.)
// The keys were computed by openssl. (Under Wine, WinVerifyTrust accepts an authority nobody
// trusts; the machine's roots here hold the test authority, as on a vendor's test machine.)
void CheckSignerKey() {
  const std::string keys = Staged(L"keys.txt");  // vendor, authority, other: a line each
  CHECK(keys.size() == 3 * 65);
  const auto key = [&](int line) { return u"sha256:" + AsciiText(keys.substr(line * 65, 64)); };
  const std::string vendor = Staged(L"vendor.der");
  MachineStore(L"Root", Staged(L"root.der"), false);
  MachineStore(L"Disallowed", vendor, true);  // a probe run that stopped half-way
  const UniqueHandle file(CreateFileW(L"C:\\probe\\signed.exe", GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  CHECK(file.Valid());
  const Text target = u"C:\\vexa_setup_zs.exe";
  const auto verified = [&](const Text& signer) {
    return !Fails(u"", [&] { VerifySigner(file.Get(), target, signer); });
  };
  CHECK(verified(key(0)));
  CHECK(verified(key(1)));
  const Text refused =
      u"安装程序的签名不是厂商的：C:\\vexa_setup_zs.exe（签名者：Tollumo Test Vendor；";
  CHECK(Fails(refused + u"签名证书的公钥不是厂商的）",
              [&] { VerifySigner(file.Get(), target, key(2)); }));
  MachineStore(L"Disallowed", vendor, false);
  CHECK(Fails(refused + u"签名证书已被标记为不可信）",
              [&] { VerifySigner(file.Get(), target, key(0)); }));
  MachineStore(L"Disallowed", vendor, true);
}

// The kill rule does not end a process that does not own the window it was found by (the
// window here: the desktop's, which another process owns).
void CheckKillRule(const wchar_t* self) {
  LogWin32 log(L"");
  ProcessesWin32 processes(nullptr, log);
  const auto spawned = _wspawnl(_P_NOWAIT, self, self, L"wait", nullptr);
  const UniqueHandle child(reinterpret_cast<HANDLE>(spawned));
  const auto desktop = reinterpret_cast<WindowHandle>(GetDesktopWindow());
  CHECK(desktop != 0);
  CHECK(!processes.Terminate({desktop, GetProcessId(child.Get())}));
  CHECK(WaitForSingleObject(child.Get(), 0) == WAIT_TIMEOUT);
  TerminateProcess(child.Get(), 0);
}
}  // namespace

// Records the progress calls of the taskbar button.
struct FakeTaskbar : TaskbarSink {
  explicit FakeTaskbar(std::vector<std::string>& calls) : calls(calls) {}
  void SetState(HWND, int flag) override { calls.push_back("state " + std::to_string(flag)); }
  void SetValue(HWND, std::uint64_t done, std::uint64_t total) override {
    calls.push_back(std::to_string(done) + "/" + std::to_string(total));
  }
  std::vector<std::string>& calls;
};

// Nothing reaches the taskbar before its button exists; then the last progress set, once, in
// TBPF_* terms (NOPROGRESS 0, INDETERMINATE 1, NORMAL 2, ERROR 4, PAUSED 8), a bar of unknown
// length full in the colour of a pause or an error.
void CheckTaskbar() {
  std::vector<std::string> calls;
  TaskbarButton button(nullptr, [&calls] { return std::make_unique<FakeTaskbar>(calls); });
  CHECK(button.CreatedMessage() == RegisterWindowMessageW(L"TaskbarButtonCreated"));
  // Sets the progress and shows it; whether the button would change.
  const auto show = [&button](TaskbarState state, std::int64_t done, std::int64_t total) {
    const bool changed = button.Set(state, done, total);
    button.Apply();
    return changed;
  };
  show(TaskbarState::Normal, 10, 100);
  CHECK(calls.empty());
  button.Set(TaskbarState::Normal, 25, 100);
  button.OnCreated();
  button.Apply();
  show(TaskbarState::Paused, 30, 0);
  show(TaskbarState::Indeterminate, 0, 0);
  show(TaskbarState::Error, 150, 100);
  show(TaskbarState::None, 0, 0);
  CHECK(calls == std::vector<std::string>({"state 2", "25/100", "state 8", "1/1", "state 1",
                                           "state 4", "100/100", "state 0"}));
  // A save reports every kilobyte; the button hears only of a thousandth more of 256 MB
  // (268435 bytes).
  CHECK(show(TaskbarState::Normal, 0, 268435456));
  CHECK(!show(TaskbarState::Normal, 268434, 268435456) && calls.back() == "0/268435456");
  CHECK(show(TaskbarState::Normal, 268435, 268435456) && calls.back() == "268435/268435456");
}

// One copy at a time: a lock left by a copy that ended without letting go (here: a thread) is
// taken over. (That a running copy's lock can't be taken: test_update.py's second start.)
void CheckOneCopy() {
  LogWin32 log(L"C:\\probe\\copies.log");
  std::thread([&log] { CHECK((new RunningCopiesWin32(log))->TakeLock()); }).join();  // ends
  CHECK(RunningCopiesWin32(log).TakeLock());
  CHECK(Bytes(kDir + u"copies.log").find("taken over from a copy that ended") != std::string::npos);
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"wait") {
    Sleep(20000);
    return 0;
  }
  if (argc == 3 && std::wstring(argv[1]) == L"replace") {
    auto replacement = FilesWin32().BeginReplace(FromWide(argv[2]));
    replacement->Write(reinterpret_cast<const std::uint8_t*>("partial"), 7);
    ProgramEndWin32().Now();
  }
  try {
    CheckFiles();
    CheckReplacement(argv[0]);
    CheckReceivedBody();
    CheckShell();
    CheckLog();
    CheckTaskbar();
    CheckProtection();
    CheckLinksAndLimits();
    CheckInstallerStart();
    CheckOldRunFolders();
    CheckSignerKey();
    CheckKillRule(argv[0]);
    CheckOneCopy();
  } catch (const std::exception& error) {  // a platform failure no check expected
    std::printf("FAILED: unexpected error %s\n", error.what());
    ++failures;
  }
  return ProbeExit("platform probe");
}
