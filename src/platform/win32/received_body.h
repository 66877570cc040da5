#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/background_writer.h"
#include "platform/win32/win_handle.h"

namespace vexa {

// The body of a response as it arrives: its first bytes in memory, the rest in a spool file
// in the user's temporary folder. The spool file is opened delete-on-close, so it goes when
// the body is destroyed and also when the program ends at once.
//
// Not synchronised: one thread appends and then calls Finish; reading, on any thread, begins
// only after that.
class ReceivedBody {
 public:
  static constexpr std::size_t kMemoryLimit = 4 * 1024 * 1024;

  ReceivedBody() = default;
  ReceivedBody(const ReceivedBody&) = delete;
  ReceivedBody& operator=(const ReceivedBody&) = delete;

  // Throws PlatformError when the spool file can't be created or written.
  void Append(const std::uint8_t* bytes, std::size_t count);
  // The last bytes appended are in the spool file once this returns; throws as Append.
  void Finish();
  std::int64_t Size() const { return size_; }
  // Replaces `chunk` with the next `count` bytes, fewer at the end, none once all are read.
  void Read(std::size_t count, std::vector<std::uint8_t>& chunk);

 private:
  void CreateSpool();
  void RefillReadBuffer();

  std::vector<std::uint8_t> memory_;
  UniqueHandle spool_;
  std::wstring spoolPath_;
  std::unique_ptr<BackgroundWriter> writer_;  // while appending
  std::int64_t size_ = 0;
  std::int64_t readPosition_ = 0;
  std::int64_t spoolRead_ = 0;  // how much of the spool file came into readBuffer_
  std::vector<std::uint8_t> readBuffer_;
  std::size_t readBufferPosition_ = 0;
};

}  // namespace vexa
