#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/log.h"

namespace vexa {

// The support log in a file, UTF-8, each line after the local date and time to the
// millisecond. The file is opened for each line and closed right after it, so that support
// can open and copy it while the program runs. Before the first line, a log grown over
// kTurnoverBytes is moved to "<name>.1.log" (replacing an older one), so the pair never grows
// without bound. When the file can't be written, the line is lost and the program goes on.
class LogWin32 final : public Log {
 public:
  static constexpr std::int64_t kTurnoverBytes = 1024 * 1024;

  // `path` ends in ".log"; empty: nothing is written.
  explicit LogWin32(std::wstring path);
  LogWin32(const LogWin32&) = delete;
  LogWin32& operator=(const LogWin32&) = delete;

  // "vexa_update.log" in the user's temporary folder, or empty when there is none.
  static std::wstring DefaultPath();

  void Write(const Text& line) noexcept override;
  const std::wstring& Path() const { return path_; }

 private:
  void Append(const Text& line);

  const std::wstring path_;
  std::mutex mutex_;  // one line at a time, whole
};

}  // namespace vexa
