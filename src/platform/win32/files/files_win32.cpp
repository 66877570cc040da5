#include "platform/win32/files/files_win32.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/text_file_format.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/elevated_files.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/held_files.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// A one-line text file larger than this is not what it claims to be.
constexpr LONGLONG kLargestTextFile = 1024 * 1024;

void WriteAll(HANDLE file, const std::uint8_t* bytes, std::size_t count, const Text& path) {
  const DWORD error = WriteFully(file, bytes, count);
  if (error != ERROR_SUCCESS) throw SystemError(error, failure::kCannotWriteFile, path);
}

// A new file beside `target` ("<target>.<random>.vexa-tmp", so the final move stays on one
// volume) under a name nobody can guess, with the private DACL from its creation on, marked
// for deletion while it is written: if the program ends (or is killed) before it is put in
// place, or the check refuses it, the system removes it. A file of that name can only have
// been planted: never opened, another name is drawn.
UniqueHandle CreateBeside(const Text& target, Text& name) {
  UniqueHandle file;
  for (;;) {
    name = target + u"." + FromWide(RandomName()) + u".vexa-tmp";
    file.Reset(CreateFileW(ToWide(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                           PrivateAttributes(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) break;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) throw SystemError(error, failure::kCannotWriteFile, target);
  }
  if (!SetDeleteOnClose(file.Get(), true)) {
    const DWORD error = GetLastError();
    file.Reset();
    DeleteFileW(ToWide(name).c_str());
    throw SystemError(error, failure::kCannotWriteFile, target);
  }
  return file;
}

// What a user may have put at a target's name that a move can't replace, an empty folder or a
// link or junction of any kind, goes as a name (never what it points at), so that the new file
// takes its place. A folder with content stays (ERROR_DIR_NOT_EMPTY), and the move fails
// naming the target; a plain file stays for the move to replace in one step.
DWORD ClearTargetName(const std::wstring& target) {
  return RemoveName(target, true);
}

// Puts the written file `temporary` (its writing handle `file`) in the place of `target`,
// after `check` (if any) has seen it. With `held`, the handle that holds it from the check on
// is kept there under the target's name, in place of an earlier replacement's.
//
// The file is checked and moved over the target through a handle that reads and may rename
// it, and that lets no one else write or delete it: from the check until the program ends
// (and so until the installer has started) nobody can change what was checked. A process
// start opens its program file asking to share only read and delete, so this handle (read and
// delete access) lets the installer start, where the writing handle would make the start
// fail with a sharing violation. The move goes through the handle: a move by name opens the
// file again asking for delete access, which this handle denies; and a move replaces a link
// or a hard link in the target's place, never writes through it. Until the move, the file's
// private DACL keeps standard users out, so none can hold it open to make the reopening or the
// move fail; they may read it once it has its final name. Wine enforces these sharing rules
// too, but not the DACL (see elevated_files.h).
//
// The move replaces the target in one step for every program that opens it. The data is not
// forced onto the disk first (FlushFileBuffers): that would only matter after a power cut, and
// would make the installer wait for 256 MB to be written out.
void PutInPlace(UniqueHandle file, const Text& temporary, const Text& target,
                const FilesWin32::ReplacementCheck& check, std::map<Text, UniqueHandle>* held,
                const HeldFileNotice& notice) {
  // Kept when the writing handle closes; a crash before the reopening leaves a file that only
  // administrators can open, under a name nobody knows.
  if (!SetDeleteOnClose(file.Get(), false)) {
    throw SystemError(GetLastError(), failure::kCannotWriteFile, target);
  }
  file.Reset();
  const std::wstring name = ToWide(temporary);
  DWORD error = RetriedWhileHeld(
      [&] {
        file.Reset(CreateFileW(name.c_str(), GENERIC_READ | DELETE | WRITE_DAC, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        return file.Valid() ? ERROR_SUCCESS : GetLastError();
      },
      target, notice);
  if (error != ERROR_SUCCESS) {
    // Only an administrator's program (a virus scanner) can hold it this long; if it still
    // does, the file goes when Windows next starts.
    if (!DeleteFileW(name.c_str())) MoveFileExW(name.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    throw SystemError(error, failure::kCannotWriteFile, target);
  }
  // Refused (PlatformError, or ContentMismatch for a wrong content): marked for deletion
  // again, it goes with the handle.
  if (!SetDeleteOnClose(file.Get(), true)) {
    throw SystemError(GetLastError(), failure::kCannotWriteFile, target);
  }
  if (check) check(file.Get(), target);
  if (!SetDeleteOnClose(file.Get(), false)) {
    throw SystemError(GetLastError(), failure::kCannotWriteFile, target);
  }
  if (held) held->erase(target);  // an earlier replacement: this one takes its place
  const std::wstring to = ToWide(target);
  // A folder with content in the target's place stays however long it is waited for: the
  // move is tried once.
  if (ClearTargetName(to) == ERROR_DIR_NOT_EMPTY) {
    error = RenameByHandle(file.Get(), to);
  } else {
    error = RetriedWhileHeld([&] { return RenameByHandle(file.Get(), to); }, target, notice);
  }
  if (error != ERROR_SUCCESS) {
    SetDeleteOnClose(file.Get(), true);
    throw SystemError(error, failure::kCannotReplaceFile, target);
  }
  error = GrantUsersRead(file.Get());
  if (error != ERROR_SUCCESS) throw SystemError(error, failure::kCannotWriteFile, target);
  if (held) (*held)[target] = std::move(file);
}

// A body is saved in pieces of 1 KB; they reach the file a megabyte at a time.
class FileReplacementWin32 final : public FileReplacement {
 public:
  static constexpr std::size_t kBlock = 1024 * 1024;

  FileReplacementWin32(Text target, FilesWin32::ReplacementCheck check,
                       std::map<Text, UniqueHandle>& held, const HeldFileNotice& notice)
      : held_(held),
        notice_(notice),
        target_(std::move(target)),
        file_(CreateBeside(target_, temporary_)),
        check_(check) {
    block_.reserve(kBlock);
  }
  // Without Commit, closing the handle removes the file (it is still marked for deletion).
  ~FileReplacementWin32() override = default;

  void Write(const std::uint8_t* bytes, std::size_t count) override {
    if (!file_.Valid()) throw SystemError(ERROR_INVALID_HANDLE, failure::kCannotWriteFile, target_);
    while (count > 0) {
      const std::size_t part = std::min(count, kBlock - block_.size());
      block_.insert(block_.end(), bytes, bytes + part);
      bytes += part;
      count -= part;
      if (block_.size() == kBlock) WriteBlock();
    }
  }

  void Commit() override {
    if (!file_.Valid()) throw SystemError(ERROR_INVALID_HANDLE, failure::kCannotWriteFile, target_);
    WriteBlock();
    PutInPlace(std::move(file_), temporary_, target_, check_, &held_, notice_);
  }

 private:
  void WriteBlock() {
    WriteAll(file_.Get(), block_.data(), block_.size(), target_);
    block_.clear();
  }

  std::map<Text, UniqueHandle>& held_;
  const HeldFileNotice& notice_;
  Text target_;
  Text temporary_;
  UniqueHandle file_;
  FilesWin32::ReplacementCheck check_;
  std::vector<std::uint8_t> block_;  // what is not in the file yet
};

}  // namespace

bool FilesWin32::Exists(const Text& path, std::uint32_t attributeMask) const {
  const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  if ((attributes & FILE_ATTRIBUTE_HIDDEN) && !(attributeMask & kAttrHidden)) return false;
  if ((attributes & FILE_ATTRIBUTE_SYSTEM) && !(attributeMask & kAttrSystem)) return false;
  return true;
}

FirstLine FilesWin32::ReadFirstLine(const Text& path) {
  // The file itself, never where a link or junction in its place points: the program reads
  // and shows what it finds as administrator, and a user could point it at any file.
  UniqueHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.Valid()) throw SystemError(GetLastError(), failure::kCannotReadFile, path);
  if (!IsPlainFile(file.Get()))
    throw SystemError(ERROR_CANT_ACCESS_FILE, failure::kCannotReadFile, path);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestTextFile) {
    throw SystemError(ERROR_FILE_TOO_LARGE, failure::kCannotReadFile, path);
  }
  // The whole file (1 MB at most): in UTF-16 a CR byte may be half of another character.
  std::string bytes;
  char block[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), block, sizeof(block), &read, nullptr)) {
      throw SystemError(GetLastError(), failure::kCannotReadFile, path);
    }
    if (read == 0) break;
    bytes.append(block, read);
  }
  FirstLine first;
  std::string line;
  if (!FirstLineOf(bytes, first.encoding, line))
    throw SystemError(ERROR_HANDLE_EOF, failure::kCannotReadFile, path);
  first.text = first.encoding == TextEncoding::Ansi ? TextFromAnsi(line)
                                                    : TextOfUnicode(line, first.encoding);
  return first;
}

// Through a new file put in the file's place: whatever lies at the name (a hard link to
// another file, a link a user made beforehand, any user can create files in C:\) is replaced,
// never written through, and the new file has the protected DACL instead of what C:\ would
// hand down (Authenticated Users: Modify). It is not held: the product's installer may
// rewrite it.
void FilesWin32::WriteLine(const Text& path, const Text& line) {
  const std::string bytes = OneLineFile(AnsiFromText(line));
  Text temporary;
  UniqueHandle file = CreateBeside(path, temporary);
  WriteAll(file.Get(), reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), path);
  PutInPlace(std::move(file), temporary, path, nullptr, nullptr, notice_);
}

// As a name (RemoveName): a link or junction there is removed, never what it points at; a hard
// link loses this name only, the other names keeping the file's attributes.
void FilesWin32::Delete(const Text& path) {
  const DWORD error = RemoveName(ToWide(path));
  if (error != ERROR_SUCCESS) throw SystemError(error, failure::kCannotDeleteFile, path);
}

std::unique_ptr<FileReplacement> FilesWin32::BeginReplace(const Text& path) {
  return std::make_unique<FileReplacementWin32>(path, check_, held_, notice_);
}

}  // namespace vexa
