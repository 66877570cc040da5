#include "platform/win32/transfer/partial_store.h"
#include "platform/win32/code_page_win32.h"

#include <set>
#include <string>

#include "platform/win32/files/protected_files.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"

namespace vexa {
namespace {

constexpr wchar_t kBytes[] = L".part";
constexpr wchar_t kRecord[] = L".rec";
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
  if (!CreateDirectoryW(folder.c_str(), ProtectedAttributes())) {
    const DWORD error = GetLastError();
    // One that is there already is the program's own only when it is a folder, no link, and
    // its owner is (TrustedOwner); its DACL is made the protected one again, whatever it is.
    const UniqueHandle found(
        error == ERROR_ALREADY_EXISTS
            ? CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                          nullptr)
            : INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION about = {};
    Text owner;
    if (!found.Valid() || !GetFileInformationByHandle(found.Get(), &about) ||
        (about.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY ||
        !TrustedOwner(found.Get(), temporary, owner) || GrantUsersRead(found.Get()) != 0) {
      log_.Write(u"partials: " + FromWide(folder) + u" can't be the program's own (error " +
                 DecimalText(error) + u", owner " + owner + u"): nothing is kept for a later run");
      return;
    }
  }
  folder_ = folder + L"\\";

  // Every pair whose bytes can't be continued goes, its record first.
  std::set<std::wstring> names;  // each pair once
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW((folder_ + L"*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      for (const wchar_t* extension : {kBytes, kRecord}) {
        if (EndsWith(name, extension))
          names.insert(name.substr(0, name.size() - wcslen(extension)));
      }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
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
  const Text problem = MadeByUs(file.Get(), folder_)
                           ? PartialProblem(record, url, SizeOf(file.Get()), Now())
                           : u"not a file the program made";
  DeleteFileW(PathOf(url, kRecord).c_str());  // written anew if the body is kept again
  if (!problem.empty()) {
    SetDeleteOnClose(file.Get(), true);
    log_.Write(url + u": discarded the partial kept for it: " + problem);
    return std::nullopt;
  }
  log_.Write(url + u": continued from " + DecimalText(record->length) + u" of " +
             DecimalText(record->total) + u" bytes, kept since " + LocalTimeText(record->keptAt));
  return Found{std::move(file), std::move(*record)};
}

UniqueHandle PartialStore::Begin(const Text& url) {
  if (folder_.empty()) return {};
  DeleteFileW(PathOf(url, kRecord).c_str());
  UniqueHandle file(CreateFileW(PathOf(url, kBytes).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                0, PrivateAttributes(), CREATE_ALWAYS,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) {
    log_.Write(url + u": its body can't be kept for a later run: " + SystemMessage(GetLastError()));
  }
  return file;
}

void PartialStore::Keep(const PartialRecord& record) {
  if (folder_.empty()) return;
  const std::string bytes = RecordBytes(record);
  const UniqueHandle file(CreateFileW(PathOf(record.url, kRecord).c_str(), GENERIC_WRITE, 0,
                                      PrivateAttributes(), CREATE_ALWAYS,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const bool written =
      file.Valid() && WriteFully(file.Get(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                 bytes.size()) == ERROR_SUCCESS;
  log_.Write(record.url + (written ? u": kept " : u": could not keep ") +
             DecimalText(record.length) + u" of " + DecimalText(record.total) +
             u" bytes for a later run");
  if (!written) Discard(record.url);
}

void PartialStore::Discard(const Text& url) {
  if (!folder_.empty()) DeletePair(ToWide(PartialName(url)));
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
