#include "platform/win32/elevated_files.h"

#include <aclapi.h>
#include <ntsecapi.h>  // RtlGenRandom
#include <sddl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// A security descriptor made from SDDL text by the system, and its attributes for a new file.
class SddlDescriptor {
 public:
  explicit SddlDescriptor(const wchar_t* sddl) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                              descriptor_.Out(), nullptr)) {
      const DWORD error = GetLastError();
      throw SystemError(error, failure::kCannotUse, u"安全描述符");
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_.Get();
    attributes_.bInheritHandle = FALSE;
  }

  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }
  PACL Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor_.Get(), &present, &dacl, &defaulted);
    return dacl;
  }

 private:
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

// The run folder's path once made, and the installer's folder in it; guarded, as spool files
// are made on transfer threads.
std::mutex runFolderMutex;
std::wstring runFolder;
std::wstring installerFolder;

// A run folder unchanged for this long (100 ns units: one day) belongs to a run long over.
constexpr ULONGLONG kRunFolderLifetime = 24ULL * 60 * 60 * 10000000;
constexpr std::size_t kRunFolderNameLength = 5 + 32;  // "vexa-" and RandomName()

ULONGLONG Ticks(const FILETIME& time) {
  return ULONGLONG{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

bool IsRunFolderName(const std::wstring& name) {
  return name.size() == kRunFolderNameLength && name.rfind(L"vexa-", 0) == 0 &&
         name.find_first_not_of(L"0123456789abcdef", 5) == std::wstring::npos;
}

// Everything in `folder` and then the folder, each as a name: a folder inside is emptied first,
// a link or junction goes itself. The first error met, ERROR_SUCCESS when all went.
DWORD RemoveTree(const std::wstring& folder) {
  DWORD first = ERROR_SUCCESS;
  for (FolderSearch search(folder + L"\\*"); const WIN32_FIND_DATAW* found = search.Next();) {
    const std::wstring name = found->cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const DWORD kind = found->dwFileAttributes;
    DWORD error = ERROR_SUCCESS;
    if ((kind & FILE_ATTRIBUTE_DIRECTORY) && !(kind & FILE_ATTRIBUTE_REPARSE_POINT))
      error = RemoveTree(path);
    else
      error = RemoveName(path);
    if (first == ERROR_SUCCESS) first = error;
  }
  const DWORD error = RemoveName(folder);
  return first != ERROR_SUCCESS ? first : error;
}

SddlDescriptor& Protected() {
  static SddlDescriptor descriptor(kProtectedSddl);
  return descriptor;
}

}  // namespace

SECURITY_ATTRIBUTES* ProtectedAttributes() {
  return Protected().Attributes();
}

SECURITY_ATTRIBUTES* PrivateAttributes() {
  static SddlDescriptor descriptor(kPrivateSddl);
  return descriptor.Attributes();
}

DWORD GrantUsersRead(HANDLE file) {
  return SetSecurityInfo(file, SE_FILE_OBJECT,
                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                         nullptr, Protected().Dacl(), nullptr);
}

std::wstring RandomName() {
  unsigned char bytes[16];
  if (!RtlGenRandom(bytes, sizeof bytes)) {
    throw SystemError(ERROR_INVALID_FUNCTION, failure::kCannotUse, u"RtlGenRandom");
  }
  return ToWide(HexBytesText(bytes, sizeof bytes));
}

std::wstring RunFolder() {
  std::lock_guard<std::mutex> lock(runFolderMutex);
  if (!runFolder.empty()) return runFolder;
  const std::wstring parent = SystemTemporaryFolder();
  for (;;) {
    const std::wstring folder = parent + L"vexa-" + RandomName();
    if (CreateDirectoryW(folder.c_str(), ProtectedAttributes())) {
      runFolder = folder + L"\\";
      return runFolder;
    }
    // A folder of that name exists: planted by someone, so never used; another name.
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
      throw SystemError(error, failure::kCannotCreateSpoolFolder, FromWide(folder));
    }
  }
}

std::wstring InstallerTemporaryFolder() {
  const std::wstring run = RunFolder();
  std::lock_guard<std::mutex> lock(runFolderMutex);
  if (!installerFolder.empty()) return installerFolder;
  const std::wstring folder = run + L"installer";
  // Nobody else can create anything in the run folder.
  if (!CreateDirectoryW(folder.c_str(), ProtectedAttributes())) {
    throw SystemError(GetLastError(), failure::kCannotCreateSpoolFolder, FromWide(folder));
  }
  installerFolder = folder;
  return installerFolder;
}

void RemoveRunFolder() noexcept {
  std::lock_guard<std::mutex> lock(runFolderMutex);
  if (runFolder.empty() || !installerFolder.empty()) return;
  if (RemoveDirectoryW(runFolder.c_str())) {
    runFolder.clear();
    return;
  }
  // A spool file still open (a close in the middle of a transfer ends the program with its
  // body): the file goes when the process ends, and Windows removes the folder, empty by
  // then, when it next starts. Wine removed the folder at once in our runs.
  MoveFileExW(runFolder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void RemoveOldRunFolders(Log& log) noexcept {
  try {
    const std::wstring parent = SystemTemporaryFolderIfAny();
    if (parent.empty()) return;
    std::wstring current;
    {
      std::lock_guard<std::mutex> lock(runFolderMutex);
      current = runFolder;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (FolderSearch search(parent + L"vexa-*", FindExSearchLimitToDirectories);
         const WIN32_FIND_DATAW* found = search.Next();) {
      const std::wstring name = found->cFileName;
      const std::wstring path = parent + name;
      if (!IsRunFolderName(name) || path + L"\\" == current ||
          (found->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
          !(found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
          Ticks(now) - Ticks(found->ftLastWriteTime) < kRunFolderLifetime) {
        continue;
      }
      const UniqueHandle folder(CreateFileW(
          path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
          nullptr));
      Text owner;
      if (!folder.Valid() || !TrustedOwner(folder.Get(), parent, owner)) continue;
      const DWORD error = RemoveTree(path);
      log.Write(u"working folder of an earlier run " + FromWide(path) +
                (error == ERROR_SUCCESS ? Text(u": removed")
                                        : u": not removed: error " + DecimalText(error)));
    }
  } catch (...) {
    // Only tidying: the run goes on whatever stays.
  }
}

DWORD RemoveName(const std::wstring& path, bool foldersAndLinks) {
  const UniqueHandle name(
      CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!name.Valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
  }
  FILE_BASIC_INFO basic = {};  // times left 0: unchanged
  const bool known = GetFileInformationByHandleEx(name.Get(), FileBasicInfo, &basic, sizeof basic);
  constexpr DWORD kFolderOrLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (foldersAndLinks && !(known && (basic.FileAttributes & kFolderOrLink))) return ERROR_SUCCESS;
  // A read-only name can't be deleted: the attribute is cleared first, and put back through the
  // same handle once the name is marked, so another name of the same file keeps it.
  const DWORD attributes = basic.FileAttributes;
  const bool readOnly = known && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly) {
    basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(name.Get(), FileBasicInfo, &basic, sizeof basic);
  }
  const DWORD error = SetDeleteOnClose(name.Get(), true) ? ERROR_SUCCESS : GetLastError();
  if (readOnly) {
    basic.FileAttributes = attributes;
    SetFileInformationByHandle(name.Get(), FileBasicInfo, &basic, sizeof basic);
  }
  return error;
}

bool TrustedOwner(HANDLE object, const std::wstring& folder, Text& owner) {
  // The owner's SID points into the descriptor, which goes with `descriptor`.
  const auto ownerOf = [](HANDLE of, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) -> PSID {
    PSID sid = nullptr;
    if (GetSecurityInfo(of, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                        nullptr, descriptor.Out()) != ERROR_SUCCESS) {
      return nullptr;
    }
    return sid;
  };
  const UniqueHandle parent(CreateFileW(
      folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  LocalMemory<PSECURITY_DESCRIPTOR> objectDescriptor, folderDescriptor;
  const PSID sid = ownerOf(object, objectDescriptor);
  const PSID folderSid = parent.Valid() ? ownerOf(parent.Get(), folderDescriptor) : nullptr;
  if (sid == nullptr) return false;
  LocalMemory<LPWSTR> text;
  if (ConvertSidToStringSidW(sid, text.Out())) owner = FromWide(text.Get());
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsWellKnownSid(sid, WinLocalSystemSid) ||
         (folderSid != nullptr && EqualSid(sid, folderSid));
}

bool IsPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION about = {};
  if (!GetFileInformationByHandle(file, &about)) return false;
  constexpr DWORD kNotPlain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return (about.dwFileAttributes & kNotPlain) == 0 && about.nNumberOfLinks == 1;
}

DWORD WriteFully(HANDLE file, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(count, 0x40000000));
    DWORD written = 0;
    if (!WriteFile(file, bytes, part, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;  // a disk file takes every byte or fails
    bytes += written;
    count -= written;
  }
  return ERROR_SUCCESS;
}

bool SetDeleteOnClose(HANDLE file, bool deleteOnClose) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

DWORD RenameByHandle(HANDLE file, const std::wstring& to) {
  // FILE_RENAME_INFO ends in the new name, of any length, then a NUL (the buffer's zeros).
  const std::size_t nameBytes = to.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), to.data(), nameBytes);
  if (SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())))
    return ERROR_SUCCESS;
  return GetLastError();
}

}  // namespace vexa
