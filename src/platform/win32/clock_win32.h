#pragma once

#include <windows.h>

#include "platform/clock.h"

namespace vexa {

// The milliseconds since the system started: steady, and at millisecond grain enough for a
// rate measured over seconds.
class ClockWin32 final : public Clock {
 public:
  std::int64_t Milliseconds() const override { return static_cast<std::int64_t>(GetTickCount64()); }
};

}  // namespace vexa
