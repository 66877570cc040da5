#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// A body moves in blocks of this size: read from WinINet, handed to the body, read back from
// its files. Large blocks mean far fewer calls into WinINet (each with its status callbacks)
// and into the file system.
constexpr std::size_t kBodyBlock = 1024 * 1024;

// The body of a response as it arrives, written by the thread that receives it (a write only
// copies into the system's cache). Either
// - spooled: its first bytes in memory, the rest in files of the run's own protected folder,
//   kSegmentSize bytes to a file, each opened delete-on-close and closed as soon as it has
//   been read to its end, so a body being saved gives back its cache pages to the copy that is
//   being written, instead of the system holding the body twice; nothing is left when the body
//   is destroyed or the program ends at once; or
// - kept: all of it in one file of the partials' store (partial_store.h), which outlives the
//   run unless the body is let go of without it, so that a body cut short can be continued
//   later. A body is kept from the answer that says it can be continued on.
//
// Not synchronised: one thread appends (and may clear, to start over); reading, on any
// thread, begins only once the appending is over.

class ReceivedBody {
 public:
  static constexpr std::size_t kMemoryLimit = 4 * 1024 * 1024;
  static constexpr std::int64_t kSegmentSize = 8 * 1024 * 1024;

  ReceivedBody() = default;
  ReceivedBody(const ReceivedBody&) = delete;
  ReceivedBody& operator=(const ReceivedBody&) = delete;

  // Throws PlatformError when a spool file (or the kept file) can't be created or written.
  void Append(const std::uint8_t* bytes, std::size_t count);
  // Forgets every byte, as before the first Append; a kept body stays kept, in its file.
  void Clear();
  // From now on the body is kept in `file` (read, write and delete access; `path` names it in
  // errors), which holds exactly the body's bytes: none when it is new, else `held` of them,
  // which become the body. Only on an empty body.
  void KeepIn(UniqueHandle file, std::int64_t held, Text path);
  bool Kept() const { return kept_.Valid(); }
  // Lets go of the kept file: on disk still when `leave`, else deleted; the body goes on
  // spooled, empty. Nothing to do for a spooled body.
  void LetGo(bool leave);
  // Forces the kept file's bytes onto the disk (FlushFileBuffers); true for a spooled body.
  // False, with the system's reason in GetLastError, when the disk did not take them.
  bool Flush();
  std::int64_t Size() const { return size_; }
  // Replaces `chunk` with the next `count` bytes, fewer at the end, none once all are read.
  void Read(std::size_t count, std::vector<std::uint8_t>& chunk);

 private:
  struct Segment {
    UniqueHandle file;
    std::wstring path;
    std::int64_t size = 0;
    std::int64_t read = 0;  // how much of it came into readBuffer_
  };

  void AddSegment();
  void RefillReadBuffer();

  std::vector<std::uint8_t> memory_;
  std::wstring folder_;           // of the spool files, once there is one
  std::deque<Segment> segments_;  // those not yet read to their end, in order
  std::int64_t size_ = 0;
  std::int64_t readPosition_ = 0;
  std::vector<std::uint8_t> readBuffer_;
  std::size_t readBufferPosition_ = 0;
  UniqueHandle kept_;  // the kept body's file, written at its end and read by offset
  Text keptPath_;
  std::int64_t keptRead_ = 0;  // how much of it came into readBuffer_
};

}  // namespace vexa
