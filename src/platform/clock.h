#pragma once

#include <cstdint>

namespace vexa {

// A steady clock for rates and waits: milliseconds from some fixed moment, never going back.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t Milliseconds() const = 0;
};

}  // namespace vexa
