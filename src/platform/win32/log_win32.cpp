#include "platform/win32/log_win32.h"

#include "platform/platform_error.h"
#include "platform/win32/elevated_files.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// The access the log is written with: appending, telling what it is, being moved into place.
constexpr DWORD kLogAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE;
// Shared in every way, so a reader (or an editor saving a copy) never blocks the program, nor
// the program the reader.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

LogWin32::LogWin32(std::wstring path) : path_(std::move(path)) {
  if (path_.empty()) return;
  try {
    Open();
  } catch (...) {  // no memory, no random name: the run goes on without a log
    file_.Reset();
    refused_ = true;
  }
}

void LogWin32::Open() {
  // The file that has the log's name, as itself: never where a link in its place points.
  UniqueHandle found(CreateFileW(path_.c_str(), DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                 kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
  Text replaced;  // why the file in the log's place is not the log, for its first line
  if (found.Valid()) {
    Text owner;
    const bool trusted =
        TrustedOwner(found.Get(), path_.substr(0, path_.find_last_of(L'\\') + 1), owner);
    if (!IsPlainFile(found.Get())) {
      replaced = u"a link, or a file with another name too";
    } else if (!trusted) {
      replaced = u"a file of " + (owner.empty() ? Text(u"an unknown owner") : owner) +
                 u", not of the administrators";
    } else {
      LARGE_INTEGER size = {};
      if (GetFileSizeEx(found.Get(), &size) && size.QuadPart > kTurnoverBytes) {
        // The move goes through this handle, so it moves the file that was checked; it
        // replaces whatever has the older log's name without writing into it.
        RenameByHandle(found.Get(), path_.substr(0, path_.size() - 4) + L".1.log");
      } else {
        // The same file, opened again to append: if anything else has taken its name in the
        // meantime, it is not the same file.
        BY_HANDLE_FILE_INFORMATION checked = {}, opened = {};
        file_.Reset(CreateFileW(path_.c_str(), kLogAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file_.Valid() && GetFileInformationByHandle(found.Get(), &checked) &&
            GetFileInformationByHandle(file_.Get(), &opened) &&
            checked.nFileIndexHigh == opened.nFileIndexHigh &&
            checked.nFileIndexLow == opened.nFileIndexLow &&
            checked.dwVolumeSerialNumber == opened.dwVolumeSerialNumber) {
          return;
        }
        file_.Reset();
      }
    }
  }
  // A new log under a name nobody can guess, moved into place through its handle: a file or a
  // link in that place is replaced, never written into. Users may read it once it is there.
  // (Windows refuses to move a file over one that is open, so the one found goes first.)
  found.Reset();
  for (;;) {
    const std::wstring fresh = path_ + L"." + RandomName() + L".vexa-tmp";
    file_.Reset(CreateFileW(fresh.c_str(), kLogAccess | WRITE_DAC, kShareAll, PrivateAttributes(),
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_.Valid()) break;
    if (GetLastError() != ERROR_FILE_EXISTS) {
      refused_ = true;
      return;
    }
  }
  if (RenameByHandle(file_.Get(), path_) != ERROR_SUCCESS) {
    SetDeleteOnClose(file_.Get(), true);
    file_.Reset();
    refused_ = true;
    return;
  }
  GrantUsersRead(file_.Get());  // without it, only administrators read the log
  if (!replaced.empty()) Append(u"the log's place held " + replaced + u": replaced by a new log");
}

std::wstring LogWin32::DefaultPath() {
  // No such folder: no log, and the run goes on without one.
  const std::wstring folder = SystemTemporaryFolderIfAny();
  return folder.empty() ? folder : folder + L"vexa_update.log";
}

std::wstring LogWin32::Path() {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_ ? std::wstring() : path_;
}

void LogWin32::Write(const Text& line) noexcept {
  if (path_.empty()) return;
  try {
    Append(line);
  } catch (...) {
    // No memory for the line: it is lost, and the program goes on.
  }
}

void LogWin32::Append(const Text& line) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const Text stamp = SystemTimeText(now) + u"." + PaddedDecimalText(now.wMilliseconds, 3) + u" ";
  // A text of several lines (an error box's) stays one event: each line break a blank.
  Text oneLine;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const bool lineBreak = line[i] == u'\r' || line[i] == u'\n';
    if (line[i] == u'\r' && i + 1 < line.size() && line[i + 1] == u'\n') ++i;
    oneLine += lineBreak ? u' ' : line[i];
  }
  const std::string bytes = ToUtf8(stamp + oneLine) + "\r\n";
  std::lock_guard<std::mutex> lock(mutex_);
  if (refused_ || !file_.Valid()) return;
  DWORD written = 0;
  WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace vexa
