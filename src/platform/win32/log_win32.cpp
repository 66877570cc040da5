#include "platform/win32/log_win32.h"

#include <cstdio>

#include "platform/platform_error.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {

LogWin32::LogWin32(std::wstring path) : path_(std::move(path)) {
  if (path_.empty()) return;
  WIN32_FILE_ATTRIBUTE_DATA about{};
  if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &about)) return;
  const std::int64_t size =
      (static_cast<std::int64_t>(about.nFileSizeHigh) << 32) | about.nFileSizeLow;
  if (size > kTurnoverBytes) {
    const std::wstring older = path_.substr(0, path_.size() - 4) + L".1.log";
    MoveFileExW(path_.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

std::wstring LogWin32::DefaultPath() {
  // No temporary folder: no log, and the run goes on without one.
  const std::wstring folder = TemporaryFolderIfAny();
  return folder.empty() ? folder : folder + L"vexa_update.log";
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
  // Appended in one write; shared in every way, so a reader (or an editor saving a copy)
  // never blocks the program, nor the program the reader.
  UniqueHandle file(CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return;
  DWORD written = 0;
  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace vexa
