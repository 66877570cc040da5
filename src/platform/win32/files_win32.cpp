#include "platform/win32/files_win32.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "platform/failure_texts.h"
#include "platform/text_file_format.h"
#include "platform/win32/background_writer.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/protected_files.h"
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

bool SetDeleteOnClose(HANDLE file, bool deleteOnClose) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) !=
         FALSE;
}

// Runs `attempt` (a system call giving its error code) until it succeeds, or fails for good.
// Right after a file is closed, a virus scanner or the search indexer on Windows often holds
// it for a moment, and opening or moving it fails with a sharing violation (or access denied
// while the scanner's handle goes); so it is tried again, for about a second in all. Wine has
// no such scanners and shows none of this.
template <class Attempt>
DWORD Retried(Attempt attempt) {
  constexpr int kTries = 10;
  constexpr DWORD kPauseMs = 100;
  for (int attempt_number = 1;; ++attempt_number) {
    const DWORD error = attempt();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                      error == ERROR_LOCK_VIOLATION;
    if (!held || attempt_number == kTries) return error;
    Sleep(kPauseMs);
  }
}

// A body is saved in pieces of 1 KB; they reach the file in blocks, written by a thread of
// their own while the next pieces come in.
class FileReplacementWin32 final : public FileReplacement {
 public:
  FileReplacementWin32(Text target, Text temporary, UniqueHandle file,
                       FilesWin32::ReplacementCheck check, std::map<Text, UniqueHandle>& held)
      : held_(held),
        target_(std::move(target)),
        temporary_(std::move(temporary)),
        file_(std::move(file)),
        check_(std::move(check)),
        writer_(std::in_place, file_.Get(), failure::kCannotWriteFile, target_) {}
  // Without Commit, closing the handle removes the file (it is still marked for deletion).
  ~FileReplacementWin32() override = default;

  void Write(const std::uint8_t* bytes, std::size_t count) override {
    if (!writer_) throw SystemError(ERROR_INVALID_HANDLE, failure::kCannotWriteFile, target_);
    writer_->Write(bytes, count);
  }

  // The file is checked and moved over the target through a handle that reads and may rename
  // it, and that lets no one else write or delete it: from the check until the program ends
  // (and so until the shell has started the installer) nobody can change what was checked.
  // A process start opens its program file asking to share only read and delete, so this
  // handle (read and delete access) lets the installer start, where the writing handle would
  // make the start fail with a sharing violation. The move goes through the handle: a move by
  // name opens the file again asking for delete access, which this handle denies. Between the
  // writing handle and this one, the file's own DACL keeps standard users out. Wine enforces
  // these sharing rules too, but not the DACL (see protected_files.h).
  //
  // The move replaces the target in one step for every program that opens it. The data is
  // not forced onto the disk first (FlushFileBuffers): that would only matter after a power
  // cut, and would make the installer wait for 256 MB to be written out.
  void Commit() override {
    if (!writer_) throw SystemError(ERROR_INVALID_HANDLE, failure::kCannotWriteFile, target_);
    writer_->Finish();
    writer_.reset();  // nothing more goes to the file
    // Kept when the writing handle closes; a crash before the next line leaves a file that
    // only administrators can change, under a name nobody knows.
    if (!SetDeleteOnClose(file_.Get(), false)) {
      throw SystemError(GetLastError(), failure::kCannotWriteFile, target_);
    }
    file_.Reset();
    const std::wstring temporary = ToWide(temporary_);
    DWORD error = Retried([&] {
      file_.Reset(CreateFileW(temporary.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      return file_.Valid() ? ERROR_SUCCESS : GetLastError();
    });
    if (error != ERROR_SUCCESS) {
      DeleteFileW(temporary.c_str());
      throw SystemError(error, failure::kCannotWriteFile, target_);
    }
    // Refused (PlatformError, or ContentMismatch for a wrong content): marked for deletion
    // again, it goes with this object.
    if (!SetDeleteOnClose(file_.Get(), true)) {
      throw SystemError(GetLastError(), failure::kCannotWriteFile, target_);
    }
    if (check_) check_(file_.Get(), target_);
    if (!SetDeleteOnClose(file_.Get(), false)) {
      throw SystemError(GetLastError(), failure::kCannotWriteFile, target_);
    }
    held_.erase(target_);  // an earlier replacement of the target: this one takes its place
    const std::wstring target = ToWide(target_);
    error = Retried([&] { return RenameByHandle(file_.Get(), target); });
    if (error != ERROR_SUCCESS) {
      SetDeleteOnClose(file_.Get(), true);
      throw SystemError(error, failure::kCannotReplaceFile, target_);
    }
    held_[target_] = std::move(file_);
  }

 private:
  std::map<Text, UniqueHandle>& held_;
  Text target_;
  Text temporary_;
  UniqueHandle file_;
  FilesWin32::ReplacementCheck check_;
  std::optional<BackgroundWriter> writer_;  // after file_: stops writing before it is closed
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

Text FilesWin32::ReadFirstLine(const Text& path) {
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
  // Read only as far as the first CR.
  std::string bytes;
  char block[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), block, sizeof(block), &read, nullptr)) {
      throw SystemError(GetLastError(), failure::kCannotReadFile, path);
    }
    if (read == 0) break;
    bytes.append(block, read);
    if (std::string_view(block, read).find('\r') != std::string_view::npos) break;
  }
  std::string line;
  if (!FirstLineOf(bytes, line))
    throw SystemError(ERROR_HANDLE_EOF, failure::kCannotReadFile, path);
  return TextFromAnsi(line);
}

void FilesWin32::WriteLine(const Text& path, const Text& line) {
  const std::string bytes = OneLineFile(AnsiFromText(line));
  // OPEN_ALWAYS and cutting after the line, rather than CREATE_ALWAYS, so that an existing
  // hidden or system file is emptied too instead of refusing access.
  UniqueHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw SystemError(GetLastError(), failure::kCannotWriteFile, path);
  WriteAll(file.Get(), reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), path);
  if (!SetEndOfFile(file.Get())) throw SystemError(GetLastError(), failure::kCannotWriteFile, path);
}

void FilesWin32::Delete(const Text& path) {
  const std::wstring name = ToWide(path);
  // DeleteFileW refuses a read-only file; hidden and system go too, so nothing is kept.
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileW(name.c_str())) return;
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND) throw SystemError(error, failure::kCannotDeleteFile, path);
}

std::unique_ptr<FileReplacement> FilesWin32::BeginReplace(const Text& path) {
  // A new file under a name nobody can guess, with the protected DACL from its creation on.
  // A file of that name can only have been planted: never opened, another name is drawn.
  UniqueHandle file;
  Text temporary;
  for (;;) {
    temporary = path + u"." + FromWide(RandomName()) + u".vexa-tmp";
    file.Reset(CreateFileW(ToWide(temporary).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                           ProtectedAttributes(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) break;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) throw SystemError(error, failure::kCannotWriteFile, path);
  }
  if (!SetDeleteOnClose(file.Get(), true)) {
    const DWORD error = GetLastError();
    file.Reset();
    DeleteFileW(ToWide(temporary).c_str());
    throw SystemError(error, failure::kCannotWriteFile, path);
  }
  return std::make_unique<FileReplacementWin32>(path, std::move(temporary), std::move(file),
                                                checkOf_ ? checkOf_(path) : nullptr, held_);
}

}  // namespace vexa
