#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/log.h"
#include "platform/win32/win_handle.h"
#include "transfer/partial_download.h"

namespace vexa {

// Where bodies cut short wait for a later run (transfer/partial_download.h):
// "%SystemRoot%\Temp\vexa-partials\", a folder the program owns, with the protected DACL:
// standard users can't put a partial there for the program to continue, nor read one. Per
// address one pair of files, named by PartialName: "<name>.part" the bytes in hand from the
// body's first, "<name>.rec" its record, written only once the bytes are in the file. The
// store only keeps and finds; whether a body is kept or continued is DownloadAttempts' rule,
// and whether a partial is usable PartialProblem's. Everything here is logged, and nothing
// here fails the program: where the store can't be used, nothing is kept.
class PartialStore {
 public:
  // The bytes of a partial that can be continued, and its record.
  struct Found {
    UniqueHandle file;  // read, write and delete access; its whole content is the bytes in hand
    PartialRecord record;
  };

  explicit PartialStore(Log& log) : log_(log) {}
  PartialStore(const PartialStore&) = delete;
  PartialStore& operator=(const PartialStore&) = delete;

  // Window's thread, once, before the first request: makes sure the folder is the program's
  // own, then deletes every partial that can't be continued (PartialProblem), saying why.
  // Afterwards the requests' workers use the store, each for its own address.
  void Prepare();

  // The partial of `url`, when there is one that can be continued; its record is deleted (it is
  // written anew when the body is kept again). One that can't be continued is deleted.
  std::optional<Found> Take(const Text& url);
  // A new, empty file for the body of `url`, replacing an earlier partial of it; an empty
  // handle when the store can't be used.
  UniqueHandle Begin(const Text& url);
  // Writes the record of a partial whose bytes are in its file.
  void Keep(const PartialRecord& record);
  // Deletes the partial of `url`, if there is one.
  void Discard(const Text& url);

  // Where the bytes of `url`'s partial are, for errors.
  Text BytesPath(const Text& url) const;

  // Seconds since 1970-01-01 00:00 UTC, as records count them.
  static std::int64_t Now();
  // A record's time as the local date and time, for the log.
  static Text LocalTimeText(std::int64_t seconds);

 private:
  std::wstring PathOf(const Text& url, const wchar_t* extension) const;
  std::optional<PartialRecord> ReadRecord(const std::wstring& path) const;
  void DeletePair(const std::wstring& name) const;

  Log& log_;
  bool prepared_ = false;
  std::wstring folder_;  // with a trailing separator; empty when the store can't be used
};

}  // namespace vexa
