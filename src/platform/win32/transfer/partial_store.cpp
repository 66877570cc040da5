#include "platform/win32/transfer/partial_store.h"
#include "platform/win32/code_page_win32.h"

#include <set>
#include <string>

#include "platform/win32/elevated_files.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

constexpr wchar_t kBytes[] = L".part";
constexpr wchar_t kRecord[] = L".rec";
constexpr wchar_t kNewRecord[] = L".new";
// A record is a few lines; a larger file is no record.
constexpr LONGLONG kLargestRecord = 64 * 1024;
// Seconds from 1601-01-01 (FILETIME's start) to 1970-01-01.
constexpr std::int64_t kUnixEpoch = 11644473600;

bool EndsWith(const std::wstring& text, const wchar_t* end) {
  const std::wstring tail(end);
  return text.size() > tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::int64_t SizeOf(HANDLE file) {
  LARGE_INTEGER size = {};
  return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

// Whether the open file (read access) in `folder` is one the program made: one name, no link,
// owned as the folder is. A folder that was there before the program (made by hand, or by a
// tool with the DACL of %SystemRoot%\Temp) may hold files a standard user made and can still
// write, whatever the folder's own DACL is now.
bool MadeByUs(HANDLE file, const std::wstring& folder) {
  Text owner;
  return IsPlainFile(file) && TrustedOwner(file, folder, owner);
}

// Whether `folder` (in `temporary`) is the program's own: a folder, no link, owned as
// TrustedOwner says; its DACL is made the protected one again, whatever it is. `why` gets what
// it is instead.
bool OurFolder(const std::wstring& folder, const std::wstring& temporary, Text& why) {
  const UniqueHandle found(
      CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION about = {};
  Text owner;
  if (!found.Valid() || !GetFileInformationByHandle(found.Get(), &about)) {
    why = u"it can't be opened: " + SystemMessage(GetLastError());
  } else if (about.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    why = u"a link";
  } else if (!(about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    why = u"a file";
  } else if (!TrustedOwner(found.Get(), temporary, owner)) {
    why = u"a folder of " + (owner.empty() ? Text(u"an unknown owner") : owner);
  } else if (const DWORD error = GrantUsersRead(found.Get()); error != ERROR_SUCCESS) {
    why = u"its access can't be set: " + SystemMessage(error);
  } else {
    return true;
  }
  return false;
}

}  // namespace

std::int64_t PartialStore::Now() {
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks / 10000000 - kUnixEpoch;
}

Text PartialStore::LocalTimeText(std::int64_t seconds) {
  const std::int64_t ticks = (seconds + kUnixEpoch) * 10000000;
  const FILETIME utc = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  FILETIME local = {};
  SYSTEMTIME time = {};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) {
    return DecimalText(seconds);
  }
  return SystemTimeText(time);
}

void PartialStore::Prepare() {
  if (prepared_) return;
  prepared_ = true;
  const std::wstring temporary = SystemTemporaryFolderIfAny();
  if (temporary.empty()) return;
  const std::wstring folder = temporary + L"vexa-partials";
  Text why;
  if (!CreateDirectoryW(folder.c_str(), ProtectedAttributes()) &&
      (GetLastError() != ERROR_ALREADY_EXISTS || !OurFolder(folder, temporary, why))) {
    // Made by someone else (a standard user can create folders in %SystemRoot%\Temp), or not a
    // folder: replaced, as the log is. A folder with content may hold a user's files: it is
    // moved aside, not emptied.
    if (why.empty()) why = u"it can't be made: " + SystemMessage(GetLastError());
    if (RemoveName(folder) != ERROR_SUCCESS) {
      const std::wstring aside = folder + L"." + ToWide(DecimalText(GetCurrentProcessId())) + L"-" +
                                 ToWide(DecimalText(GetTickCount())) + L".old";
      MoveFileExW(folder.c_str(), aside.c_str(), 0);
    }
    const bool made = CreateDirectoryW(folder.c_str(), ProtectedAttributes()) != FALSE;
    log_.Write(u"partials: " + FromWide(folder) + u" was not the program's own (" + why +
               (made ? Text(u"): replaced by a new folder")
                     : u"), and can't be replaced: " + SystemMessage(GetLastError()) +
                           u"; nothing is kept for a later run"));
    if (!made) return;
  }
  folder_ = folder + L"\\";

  // Every pair whose bytes can't be continued goes, its record first.
  std::set<std::wstring> names;  // each pair once
  for (FolderSearch search(folder_ + L"*"); const WIN32_FIND_DATAW* entry = search.Next();) {
    const std::wstring name = entry->cFileName;
    // A record that was being written when the program ended is no record.
    if (EndsWith(name, kNewRecord)) DeleteFileW((folder_ + name).c_str());
    for (const wchar_t* extension : {kBytes, kRecord}) {
      if (EndsWith(name, extension)) names.insert(name.substr(0, name.size() - wcslen(extension)));
    }
  }
  for (const std::wstring& name : names) {
    const std::optional<PartialRecord> record = ReadRecord(folder_ + name + kRecord);
    const UniqueHandle bytes(CreateFileW((folder_ + name + kBytes).c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const Text url = record ? record->url : Text();
    Text problem = PartialProblem(record, url, bytes.Valid() ? SizeOf(bytes.Get()) : -1, Now());
    if (problem.empty() && PartialName(url) != FromWide(name)) problem = u"not under its name";
    if (problem.empty()) continue;
    log_.Write(u"partials: discarded " + FromWide(name) + (url.empty() ? u"" : u" of " + url) +
               u": " + problem);
    DeletePair(name);
  }
}

std::optional<PartialStore::Found> PartialStore::Take(const Text& url) {
  if (folder_.empty()) return std::nullopt;
  const std::wstring bytesPath = PathOf(url, kBytes);
  UniqueHandle file(CreateFileW(bytesPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) return std::nullopt;  // nothing kept
  std::optional<PartialRecord> record = ReadRecord(PathOf(url, kRecord));
  Text problem = MadeByUs(file.Get(), folder_)
                     ? PartialProblem(record, url, SizeOf(file.Get()), Now())
                     : u"not a file the program made";
  const bool whole = problem.empty() && record->length == record->total;
  if (problem.empty()) {
    // Only what the record names was on the disk; a whole body keeps all but its last byte.
    LARGE_INTEGER end = {};
    end.QuadPart = whole ? record->total - 1 : record->length;
    if (!SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get())) {
      problem = u"its file can't be cut to its record: " + SystemMessage(GetLastError());
    }
  }
  if (!problem.empty()) {
    DeleteFileW(PathOf(url, kRecord).c_str());
    SetDeleteOnClose(file.Get(), true);
    log_.Write(url + u": discarded the partial kept for it: " + problem);
    return std::nullopt;
  }
  if (whole) {
    log_.Write(url + u": found whole (" + DecimalText(record->total) + u" bytes, kept since " +
               LocalTimeText(record->keptAt) +
               u"): its last byte is asked for again, to see that it is still the same file");
    record->length = record->total - 1;
  } else {
    log_.Write(url + u": continued from " + DecimalText(record->length) + u" of " +
               DecimalText(record->total) + u" bytes, kept since " + LocalTimeText(record->keptAt));
  }
  return Found{std::move(file), std::move(*record)};
}

UniqueHandle PartialStore::Begin(const Text& url) {
  if (folder_.empty()) return {};
  Forget(url);
  // Made anew, never opened as it is: whatever has the name goes first.
  const std::wstring path = PathOf(url, kBytes);
  DeleteFileW(path.c_str());
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                PrivateAttributes(), CREATE_NEW,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) {
    log_.Write(url + u": its body can't be kept for a later run: " + SystemMessage(GetLastError()));
  }
  return file;
}

bool PartialStore::Keep(const PartialRecord& record) {
  if (folder_.empty()) return false;
  const std::string bytes = RecordBytes(record);
  const std::wstring fresh = PathOf(record.url, kNewRecord);
  DeleteFileW(fresh.c_str());
  const UniqueHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE | DELETE, 0, PrivateAttributes(),
                                      CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.Valid()) return false;
  DWORD error =
      WriteFully(file.Get(), reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (error == ERROR_SUCCESS && !FlushFileBuffers(file.Get())) error = GetLastError();
  if (error == ERROR_SUCCESS) error = RenameByHandle(file.Get(), PathOf(record.url, kRecord));
  if (error == ERROR_SUCCESS) return true;
  SetDeleteOnClose(file.Get(), true);
  SetLastError(error);
  return false;
}

void PartialStore::Forget(const Text& url) {
  if (!folder_.empty()) DeleteFileW(PathOf(url, kRecord).c_str());
}

std::wstring PartialStore::PathOf(const Text& url, const wchar_t* extension) const {
  return folder_ + ToWide(PartialName(url)) + extension;
}

Text PartialStore::BytesPath(const Text& url) const {
  return FromWide(PathOf(url, kBytes));
}

std::optional<PartialRecord> PartialStore::ReadRecord(const std::wstring& path) const {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::int64_t size = file.Valid() && MadeByUs(file.Get(), folder_) ? SizeOf(file.Get()) : -1;
  if (size < 0 || size > kLargestRecord) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  DWORD read = 0;
  if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(size), &read, nullptr) ||
      read != size) {
    return std::nullopt;
  }
  return ParseRecord(bytes);
}

void PartialStore::DeletePair(const std::wstring& name) const {
  DeleteFileW((folder_ + name + kRecord).c_str());
  DeleteFileW((folder_ + name + kBytes).c_str());
}

}  // namespace vexa
