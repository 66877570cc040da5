#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace vexa {

// States of a transfer, as its StateChanged event reports them.
enum TransferState : std::int16_t {
  icNone = 0,
  icResolvingHost = 1,
  icHostResolved = 2,
  icConnecting = 3,
  icConnected = 4,
  icRequesting = 5,
  icRequestSent = 6,
  icReceivingResponse = 7,
  icResponseReceived = 8,
  icDisconnecting = 9,
  icDisconnected = 10,
  icError = 11,
  icResponseCompleted = 12,
};

// The HTTP transfer control. Execute returns at once; the states of the request arrive
// later, one at a time, on the window's thread (routed to FrmUpdate::Inet1_StateChanged).
// State 12 means the whole body has been received and can be read with GetChunk.
class Transfer {
 public:
  virtual ~Transfer() = default;
  // Starts a request; also allowed while the previous one's state 12 is being handled.
  virtual void Execute(const Text& url, const Text& operation) = 0;
  // A response header's value, or the empty text when the response has none.
  virtual Text GetHeader(const Text& name) = 0;
  // Replaces `chunk` with the next bytes of the body: `size` bytes while that many remain,
  // then the rest, then nothing.
  virtual void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) = 0;
  // How many body bytes the finished request received.
  virtual std::int64_t BytesReceived() const = 0;
};

}  // namespace vexa
