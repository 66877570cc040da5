#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/text.h"

namespace vexa {

// Writes a stream of bytes to a file in blocks, on a thread of its own, in the order given.
// The thread that produces the bytes goes on while the system copies the previous blocks:
// where filling new cache pages is slow, that copy is most of the time a large save takes.
//
// Used by one producing thread. A failed write stops the writing; the failure is thrown by
// a later Write or by Finish.
class BackgroundWriter {
 public:
  static constexpr std::size_t kBlock = 1024 * 1024;  // a megabyte a write
  static constexpr std::size_t kMostPending = 3;      // blocks handed over and not yet written

  // `file` stays the caller's and must stay open while the writer writes to it. `action`
  // and `path` name the failure of a write ("无法写入文件 ", the path).
  BackgroundWriter(HANDLE file, Text action, Text path);
  // Without Finish, the blocks not yet written are dropped; the one being written is
  // waited for, so the file can be closed next.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Waits while kMostPending blocks wait to be written.
  void Write(const std::uint8_t* bytes, std::size_t count);
  // Returns once every byte given is in the file.
  void Finish();

 private:
  void HandOver();
  void ThrowIfFailed();
  void WriteBlocks();

  const Text action_;
  const Text path_;
  std::vector<std::uint8_t> filling_;

  const HANDLE file_;
  std::mutex mutex_;  // guards the members below
  std::condition_variable changed_;
  std::deque<std::vector<std::uint8_t>> full_;  // in file order
  std::vector<std::vector<std::uint8_t>> spare_;
  std::size_t pending_ = 0;  // full_ and the block being written
  DWORD error_ = ERROR_SUCCESS;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace vexa
