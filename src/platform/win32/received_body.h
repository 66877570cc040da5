#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/win32/win_handle.h"

namespace vexa {

// The body of a response as it arrives: its first bytes in memory, the rest spooled to files
// in the user's temporary folder, kSegmentSize bytes to a file, written by the thread that
// receives them (a write only copies into the system's cache). Each file is opened
// delete-on-close and
// closed as soon as it has been read to its end, so a body being saved gives back its cache
// pages to the copy that is being written, instead of the system holding the body twice;
// nothing is left when the body is destroyed or the program ends at once.
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

  // Throws PlatformError when a spool file can't be created or written.
  void Append(const std::uint8_t* bytes, std::size_t count);
  // Forgets every byte, as before the first Append.
  void Clear();
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
  std::wstring folder_;                       // of the spool files, once there is one
  std::deque<Segment> segments_;  // those not yet read to their end, in order
  std::int64_t size_ = 0;
  std::int64_t readPosition_ = 0;
  std::vector<std::uint8_t> readBuffer_;
  std::size_t readBufferPosition_ = 0;
};

}  // namespace vexa
