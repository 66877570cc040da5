#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/log.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// The support log in a file, UTF-8, each line after the local date and time to the
// millisecond. The file is opened when this object is made and held, shared, so that support
// can open and copy it while the program runs. First, a log grown over kTurnoverBytes is moved
// to "<name>.1.log" (replacing an older one), so the pair never grows without bound. When a line
// can't be written, it is lost and the program goes on.
//
// The file is opened as itself, never followed, and only when it is the program's own: a plain
// file with one name, owned by the administrators (standard users can create files in
// %SystemRoot%\Temp, and support would read their lines as the program's). Anything else in the
// log's place (a user's file, a link, a junction, a file with a second hard link) is replaced
// by a new log, made under a name nobody can guess with the protected DACL (administrators
// write it, users may read it) and moved into the place through its handle; its first line
// says what it replaced. When even that fails, the run goes on without a log.
class LogWin32 final : public Log {
 public:
  static constexpr std::int64_t kTurnoverBytes = 1024 * 1024;

  // `path` ends in ".log"; empty: nothing is written. Never throws.
  explicit LogWin32(std::wstring path);
  LogWin32(const LogWin32&) = delete;
  LogWin32& operator=(const LogWin32&) = delete;

  // "vexa_update.log" in %SystemRoot%\Temp, or empty when that can't be found. Never the
  // user's %TEMP%, which the user's unelevated programs can turn into a junction.
  static std::wstring DefaultPath();

  void Write(const Text& line) noexcept override;
  // Empty when there is no log.
  std::wstring Path();

 private:
  void Open();
  void Append(const Text& line);

  const std::wstring path_;
  std::mutex mutex_;      // one line at a time, whole; guards refused_
  bool refused_ = false;  // no log for this run
  UniqueHandle file_;
};

}  // namespace vexa
