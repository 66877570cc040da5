#include "platform/win32/files_win32.h"

#include <windows.h>

#include <optional>
#include <string>

#include "platform/failure_texts.h"
#include "platform/text_file_format.h"
#include "platform/win32/background_writer.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

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

// Moves the new file over the target. Right after a file is closed, a virus scanner or the
// search indexer on Windows often holds it for a moment, and the move fails with a sharing
// violation (or access denied while the scanner's handle goes); so it is tried again, for
// about a second in all. Wine has no such scanners and shows none of this.
DWORD MoveIntoPlace(const std::wstring& from, const std::wstring& to) {
  constexpr int kTries = 10;
  constexpr DWORD kPauseMs = 100;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                      error == ERROR_LOCK_VIOLATION;
    if (!held || attempt == kTries) return error;
    Sleep(kPauseMs);
  }
}

// A body is saved in pieces of 1 KB; they reach the file in blocks, written by a thread of
// their own while the next pieces come in.
class FileReplacementWin32 final : public FileReplacement {
 public:
  FileReplacementWin32(Text target, Text temporary, UniqueHandle file,
                       FilesWin32::ReplacementCheck check)
      : target_(std::move(target)),
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

  // The move replaces the target in one step for every program that opens it. The data is
  // not forced onto the disk first (FlushFileBuffers, MOVEFILE_WRITE_THROUGH): that would
  // only matter after a power cut, and would make the installer wait for 256 MB to be
  // written out; the file is left to the system's cache like any other saved file.
  void Commit() override {
    if (!writer_) throw SystemError(ERROR_INVALID_HANDLE, failure::kCannotWriteFile, target_);
    writer_->Finish();
    writer_.reset();  // nothing more goes to the file
    // Refused (PlatformError, or ContentMismatch for a wrong content): the file is still
    // marked for deletion and goes with this object.
    if (check_) check_(file_.Get(), target_);
    if (!SetDeleteOnClose(file_.Get(), false)) {
      throw SystemError(GetLastError(), failure::kCannotWriteFile, target_);
    }
    file_.Reset();
    const std::wstring temporary = ToWide(temporary_);
    const DWORD error = MoveIntoPlace(temporary, ToWide(target_));
    if (error != ERROR_SUCCESS) {
      DeleteFileW(temporary.c_str());
      throw SystemError(error, failure::kCannotReplaceFile, target_);
    }
  }

 private:
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
  UniqueHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw SystemError(GetLastError(), failure::kCannotReadFile, path);
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
  if (!DeleteFileW(ToWide(path).c_str())) {
    throw SystemError(GetLastError(), failure::kCannotDeleteFile, path);
  }
}

std::unique_ptr<FileReplacement> FilesWin32::BeginReplace(const Text& path) {
  Text temporary = path + u"." + DecimalText(GetCurrentProcessId()) + u".vexa-tmp";
  const std::wstring wideTemporary = ToWide(temporary);
  const auto create = [&wideTemporary](DWORD disposition) {
    return UniqueHandle(CreateFileW(wideTemporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  // A new file rather than an emptied one: emptying costs even a file that is new anyway on
  // some systems (Wine on ext4 then writes the whole body out when the file is closed). A
  // file of that name can only be a leftover of a crash; it is overwritten.
  UniqueHandle file = create(CREATE_NEW);
  if (!file.Valid() && GetLastError() == ERROR_FILE_EXISTS) file = create(CREATE_ALWAYS);
  if (!file.Valid()) throw SystemError(GetLastError(), failure::kCannotWriteFile, path);
  if (!SetDeleteOnClose(file.Get(), true)) {
    const DWORD error = GetLastError();
    file.Reset();
    DeleteFileW(wideTemporary.c_str());
    throw SystemError(error, failure::kCannotWriteFile, path);
  }
  return std::make_unique<FileReplacementWin32>(path, std::move(temporary), std::move(file),
                                                checkOf_ ? checkOf_(path) : nullptr);
}

}  // namespace vexa
