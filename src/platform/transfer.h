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

// A request that fails for a reason that may pass is tried again this many times at most.
inline constexpr std::int32_t kMostRetries = 3;

// Whose login a request was asked for: the proxy's (HTTP 407) or the download site's (401).
enum class LoginWanted : std::int8_t { kNone, kProxy, kSite };

// How far the current request is, for the window's progress. `total` is the body's announced
// length (0: none that can be believed); `received` counts every body byte in hand, those kept
// from an earlier attempt included. While the control waits to try again after a network
// failure, `retry` is the try it waits for (1 to kMostRetries) and `secondsLeft` the wait left.
// After state 11, `canceledLogin` says whose login the user was asked for and declined, when
// that ended the request.
struct TransferProgress {
  std::int64_t received = 0;
  std::int64_t total = 0;
  std::int32_t attempt = 1;  // the request's attempt the figures belong to, from 1
  std::int32_t retry = 0;
  std::int32_t secondsLeft = 0;
  std::int32_t site = 0;  // the download site fetched from: 0 the first, 1 its first mirror, ...
  LoginWanted canceledLogin = LoginWanted::kNone;
};

// The HTTP transfer control. Execute returns at once; the states of the request arrive
// later, one at a time, on the window's thread, as StateChanged events; between them, Progress
// events (a few dozen a second at most) say that Progress() has news. A request that fails
// for a reason that may pass (no connection, a time-out, a busy server, a cut body) is tried
// again by the control itself, within limits, continuing a cut body where the server allows
// it: the window sees, per Execute, either state 12 or state 11, once. A proxy or site that
// asks for a login is answered by the control too (the system's login dialog, once a run).
// State 12 means the whole body has been received and can be read with GetChunk.
class Transfer {
 public:
  virtual ~Transfer() = default;
  // The most body bytes the requests started from now on may bring; 0: no limit. A body
  // announced or arriving longer is a bad answer, as one longer than its own announcement
  // is: nothing of it is kept, and the request ends in state 11.
  virtual void SetBodyLimit(std::int64_t bytes) = 0;
  // Starts a request; also allowed while the previous one's state 12 is being handled.
  virtual void Execute(const Text& url, const Text& operation) = 0;
  // A response header's value, or the empty text when the response has none.
  virtual Text GetHeader(const Text& name) = 0;
  // Replaces `chunk` with the next bytes of the body: `size` bytes while that many remain,
  // then the rest, then nothing.
  virtual void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) = 0;
  // How many body bytes the finished request received.
  virtual std::int64_t BytesReceived() const = 0;
  // The current request's progress; any time on the window's thread.
  virtual TransferProgress Progress() const = 0;
  // The finished body has been saved and has taken its place, or was `refused` (not the
  // content it must have): the control lets go of it. Until then, a body that could be
  // continued stays on the disk, so that a later run need not fetch it again when it could not
  // be put in place. A refused body's address is asked for next at another site, if there is
  // one.
  virtual void DiscardBody(bool refused) = 0;
};

}  // namespace vexa
