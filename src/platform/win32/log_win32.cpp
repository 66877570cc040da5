#include "platform/win32/log_win32.h"

#include <cstdio>

#include "platform/platform_error.h"
#include "platform/win32/protected_files.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

LogWin32::LogWin32(std::wstring path) : path_(std::move(path)) {
  if (path_.empty()) return;
  // The move goes through this handle, so it moves the file that was checked; a move replaces
  // whatever has the older log's name without writing into it.
  UniqueHandle log(CreateFileW(path_.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!log.Valid()) return;  // none yet (or held): the first line makes it
  if (!IsPlainFile(log.Get())) {
    refused_ = true;
    return;
  }
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(log.Get(), &size) && size.QuadPart > kTurnoverBytes) {
    RenameByHandle(log.Get(), path_.substr(0, path_.size() - 4) + L".1.log");
  }
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
    // No memory for the line (or for the new log's descriptor): it is lost, and the program
    // goes on.
  }
}

void LogWin32::Append(const Text& line) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  // A text of several lines (an error box's) stays one event: each line break a blank.
  Text oneLine;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const bool lineBreak = line[i] == u'\r' || line[i] == u'\n';
    if (line[i] == u'\r' && i + 1 < line.size() && line[i + 1] == u'\n') ++i;
    oneLine += lineBreak ? u' ' : line[i];
  }
  const std::string bytes = stamp + ToUtf8(oneLine) + "\r\n";
  std::lock_guard<std::mutex> lock(mutex_);
  if (refused_) return;
  if (!file_.Valid()) {
    // Opened at the first line and held to the end, so that every line goes into the file
    // that was checked; shared in every way, so a reader (or an editor saving a copy) never
    // blocks the program, nor the program the reader. Appended lines are whole.
    file_.Reset(CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            ProtectedAttributes(), OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file_.Valid()) return;  // tried again at the next line
    if (!IsPlainFile(file_.Get())) {
      file_.Reset();
      refused_ = true;
      return;
    }
  }
  DWORD written = 0;
  WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace vexa
