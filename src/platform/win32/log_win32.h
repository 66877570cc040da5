#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/log.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// The support log in a file, UTF-8, each line after the local date and time to the
// millisecond. The file is opened at the first line and held, shared, so that support can
// open and copy it while the program runs. Before the first line, a log grown over
// kTurnoverBytes is moved to "<name>.1.log" (replacing an older one), so the pair never grows
// without bound. When the file can't be written, the line is lost and the program goes on.
//
// The file is opened as itself, never followed: where a link, a junction or a file with a
// second hard link lies in its place (standard users can create files in %SystemRoot%\Temp),
// the log is refused for the rest of the run, and the program goes on without it. A new log
// gets the protected DACL: administrators write it, users may read it.
class LogWin32 final : public Log {
 public:
  static constexpr std::int64_t kTurnoverBytes = 1024 * 1024;

  // `path` ends in ".log"; empty: nothing is written.
  explicit LogWin32(std::wstring path);
  LogWin32(const LogWin32&) = delete;
  LogWin32& operator=(const LogWin32&) = delete;

  // "vexa_update.log" in %SystemRoot%\Temp, or empty when that can't be found. Never the
  // user's %TEMP%, which the user's unelevated programs can turn into a junction.
  static std::wstring DefaultPath();

  void Write(const Text& line) noexcept override;
  // Empty once the log is refused.
  std::wstring Path();

 private:
  void Append(const Text& line);

  const std::wstring path_;
  std::mutex mutex_;      // one line at a time, whole; guards refused_
  bool refused_ = false;  // something else in the log's place
  UniqueHandle file_;     // from the first line on
};

}  // namespace vexa
